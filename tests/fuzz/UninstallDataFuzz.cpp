// Any bytes as "uninstall.s_", the file the uninstaller deletes a folder
// tree on: the reader either refuses them with a reason, or takes two lines
// that the installer could have written, and writing those again gives the
// same two lines back. The bytes split in two, written as the installer
// writes them, come back as they went in whenever both are lines the reader
// accepts.
#include "FuzzCheck.h"
#include "Limits.h"
#include "SetupLayout.h"

#include <cstdint>
#include <string>

namespace {

// A line the file can hold: not empty, no CR, LF or zero inside, no longer
// than a path buffer takes.
bool IsLine(const std::string& line)
{
    return !line.empty() && line.size() <= kPathMax &&
           line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

void CheckReadBack(const std::string& group, const std::string& destination)
{
    std::string againGroup;
    std::string againDestination;
    const Status parsed = layout::ParseUninstallData(layout::FormatUninstallData(group, destination), &againGroup,
                                                     &againDestination);
    Check(parsed.Ok() && againGroup == group && againDestination == destination && parsed.Text().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string group;
    std::string destination;
    const Status parsed = layout::ParseUninstallData(bytes, &group, &destination);
    if (parsed) {
        Check(IsLine(group) && IsLine(destination));
        // Both lines are the file's own bytes, in order.
        Check(bytes.compare(0, group.size(), group) == 0);
        Check(bytes.find(destination, group.size()) != std::string::npos);
        CheckReadBack(group, destination);
    } else {
        Check(!parsed.Text().empty());  // a refusal always says why
    }

    // The other way: two lines written as the installer writes them.
    if (size > 0) {
        const size_t cut = 1 + data[0] % size;
        const std::string first = bytes.substr(1, cut - 1);
        const std::string second = bytes.substr(cut);
        if (IsLine(first) && IsLine(second))
            CheckReadBack(first, second);
    }
    return 0;
}
