// Any bytes as the program-group service's "Groups" reply in a buffer of
// exactly their length: the split reads nothing beyond it and takes the
// same names as the plain walk over a copy that ends in a zero; and the
// bytes up to their first zero, as a group name, make a command that is
// either complete and exact or refused with an empty buffer.
#include "FuzzCheck.h"
#include "GroupCommand.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// The options page's walk, on a copy with one zero behind the Len bytes:
// j never passes Len when a name is taken, so a name that would run on
// stops at that zero, which is where the bounded split stops it.
std::vector<std::string> PlainWalk(const uint8_t* data, size_t Len)
{
    std::vector<char> list(data, data + Len);
    list.push_back('\0');
    std::vector<std::string> names;
    size_t j = 0;
    for (size_t i = 0; i < Len; ++i) {
        if (list[i] == '\r') {
            list[i] = '\0';
            names.emplace_back(&list[j]);
            j = i + 2;
        }
    }
    return names;
}

void CheckCommand(const std::string& name)
{
    groupcommand::CommandBuffer buffer;
    const std::string expected = "[DeleteGroup(" + name + ")]";
    if (groupcommand::DeleteGroup(buffer, name.c_str()))
        Check(expected.size() <= groupcommand::kMaxCommandLength && expected == buffer);
    else
        Check(expected.size() > groupcommand::kMaxCommandLength && buffer[0] == '\0');
    const std::string item = "[AddItem(\"" + name + "\", " + name + ")]";
    if (groupcommand::AddItem(buffer, name.c_str(), name.c_str()))
        Check(item.size() <= groupcommand::kMaxCommandLength && item == buffer);
    else
        Check(item.size() > groupcommand::kMaxCommandLength && buffer[0] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A buffer of exactly size bytes, so that ASan sees any read past it.
    std::vector<char> list(data, data + size);
    const std::vector<std::string> names = groupcommand::SplitGroups(list.data(), list.size());
    Check(names == PlainWalk(data, size));
    size_t returns = 0;
    for (size_t i = 0; i < size; ++i)
        returns += data[i] == '\r';
    Check(names.size() == returns);
    for (const std::string& name : names)
        Check(name.find('\0') == std::string::npos && name.size() < size);

    CheckCommand(size ? std::string(list.data(), strnlen(list.data(), size)) : std::string());
    return 0;
}
