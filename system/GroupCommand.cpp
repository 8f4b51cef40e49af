#include "GroupCommand.h"

#include <algorithm>
#include <cstdio>

namespace groupcommand {

namespace {

const char* OrEmpty(const char* text)
{
    return text ? text : "";
}

// snprintf tells the length the whole command needs; only a complete one
// stays in the buffer.
template <typename... Args>
bool Format(CommandBuffer& buffer, const char* format, Args... args)
{
    const int needed = std::snprintf(buffer, kCommandSize, format, args...);
    if (needed < 0 || static_cast<std::size_t>(needed) > kMaxCommandLength) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace

bool CreateGroup(CommandBuffer& buffer, const char* nome)
{
    return Format(buffer, "[CreateGroup(%s)]", OrEmpty(nome));
}

bool AddItem(CommandBuffer& buffer, const char* arq, const char* nome)
{
    return Format(buffer, "[AddItem(\"%s\", %s)]", OrEmpty(arq), OrEmpty(nome));
}

bool DeleteGroup(CommandBuffer& buffer, const char* nome)
{
    return Format(buffer, "[DeleteGroup(%s)]", OrEmpty(nome));
}

bool DeleteItem(CommandBuffer& buffer, const char* nome)
{
    return Format(buffer, "[DeleteItem(%s)]", OrEmpty(nome));
}

bool ExitProgman(CommandBuffer& buffer)
{
    return Format(buffer, "%s", "[ExitProgman(1)]");
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
