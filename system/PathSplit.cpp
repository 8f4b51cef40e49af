#include "PathSplit.h"

namespace pathsplit {

bool NoLeadBytes(unsigned char)
{
    return false;
}

size_t LastSeparator(const std::string& path, LeadByteTest isLead)
{
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '\\')
            last = i;
        else if (isLead(c) && i + 1 < path.size())
            ++i;  // its trail byte, whatever its value
    }
    return last;
}

std::string FileName(const std::string& path, LeadByteTest isLead)
{
    const size_t at = LastSeparator(path, isLead);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string FolderName(const std::string& path, LeadByteTest isLead)
{
    const size_t at = LastSeparator(path, isLead);
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

}  // namespace pathsplit
