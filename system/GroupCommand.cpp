#include "GroupCommand.h"

#include "BoundedText.h"

#include <algorithm>

namespace groupcommand {

namespace {

// Only a complete command stays in the buffer.
bool Format(CommandBuffer& buffer, std::initializer_list<const char*> pieces)
{
    return text::JoinWhole(buffer, kCommandSize, pieces);
}

}  // namespace

bool CreateGroup(CommandBuffer& buffer, const char* nome)
{
    return Format(buffer, {"[CreateGroup(", nome, ")]"});
}

bool AddItem(CommandBuffer& buffer, const char* arq, const char* nome)
{
    return Format(buffer, {"[AddItem(\"", arq, "\", ", nome, ")]"});
}

bool DeleteGroup(CommandBuffer& buffer, const char* nome)
{
    return Format(buffer, {"[DeleteGroup(", nome, ")]"});
}

bool DeleteItem(CommandBuffer& buffer, const char* nome)
{
    return Format(buffer, {"[DeleteItem(", nome, ")]"});
}

bool ExitProgman(CommandBuffer& buffer)
{
    return Format(buffer, {"[ExitProgman(1)]"});
}

std::vector<std::string> SplitGroups(const char* list, std::size_t Len)
{
    std::vector<std::string> names;
    if (!list)
        return names;
    // The walk turns each carriage return into a zero as it passes, and a
    // name is read up to the first zero: work on a copy, as the list box
    // filler worked on its own buffer.
    std::string text(list, Len);
    std::size_t j = 0;
    for (std::size_t i = 0; i < Len; ++i) {
        if (text[i] != '\r')
            continue;
        text[i] = '\0';
        const std::size_t start = std::min(j, Len);
        const std::size_t end = std::min(text.find('\0', start), Len);
        names.emplace_back(text, start, end - start);
        j = i + 2;
    }
    return names;
}

}  // namespace groupcommand
