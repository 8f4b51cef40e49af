#include "ProgramImage.h"

#include "File.h"
#include "Platform.h"
#include "SetupLayout.h"

#include <algorithm>
#include <string>
#include <vector>

Status CopyProgramImage(const char* from, const char* to, uint64_t* size)
{
    File source(from, "rb");
    const int64_t fileSize = source.IsOpen() ? source.Size() : -1;
    if (fileSize < 0)
        return Status::Failure(Fault::kUnreadable, std::string("Can't read \"") + from + "\".", "CopyExe");
    const layout::PackageBounds bounds = layout::FindPackageBounds(source, static_cast<uint64_t>(fileSize));
    if (bounds.imageEnd == 0 || bounds.imageEnd > static_cast<uint64_t>(fileSize))
        return Status::Failure(Fault::kDamaged, std::string("\"") + from + "\" is no program image.", "CopyExe");
    if (!source.Seek(0, SEEK_SET))
        return Status::Failure(Fault::kUnreadable, std::string("Can't read \"") + from + "\".", "CopyExe");

    File dest(to, "wb");
    if (!dest.IsOpen())
        return Status::Failure(Fault::kCannotCreate, std::string("Can't write \"") + to + "\".", "CopyExe");
    std::vector<char> block(size_t{64} * 1024);
    uint64_t left = bounds.imageEnd;
    bool written = true;
    bool read = true;
    while (left > 0 && written && read) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        const size_t got = source.Read(block.data(), want);
        read = got == want;
        written = dest.Write(block.data(), got);
        left -= got;
    }
    const bool closed = dest.Close();
    if (!read || !written || !closed) {
        platform::RemoveFile(to);
        if (!read)
            return Status::Failure(Fault::kUnreadable, std::string("Can't read \"") + from + "\".", "CopyExe");
        return Status::Failure(Fault::kCannotWrite, std::string("Can't write \"") + to + "\".", "CopyExe");
    }
    if (size != nullptr)
        *size = bounds.imageEnd;
    return Status();
}
