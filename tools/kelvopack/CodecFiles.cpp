#include "CodecFiles.h"

#include "Platform.h"
#include "ToolError.h"

#include <filesystem>

namespace {

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().generic_string();
}

}  // namespace

CodecFiles::CodecFiles(const std::string& input, const std::string& output) : input_(input), output_(output)
{
    if (platform::FolderExists(input.c_str()))
        throw ToolError("\"" + input + "\": is a folder");
    in_ = File(input.c_str(), "rb");
    if (!in_.IsOpen())
        throw ToolError("\"" + input + "\": cannot open it for reading");
    if (Absolute(input) == Absolute(output) || platform::SameFile(input.c_str(), output.c_str()))
        throw ToolError("\"" + output + "\": the output is the input");
    out_ = File(output.c_str(), "wb");
    if (!out_.IsOpen())
        throw ToolError("\"" + output + "\": cannot create it");
}

CodecFiles::~CodecFiles()
{
    if (!done_) {
        out_.Close();
        platform::RemoveFile(output_.c_str());
    }
}

void CodecFiles::Finish()
{
    if (in_.Failed())
        ReadFailed();
    if (!out_.Close())
        WriteFailed();
    done_ = true;
}

void CodecFiles::WriteFailed() const
{
    throw ToolError("\"" + output_ + "\": write error (disk full?)");
}

void CodecFiles::ReadFailed() const
{
    throw ToolError("\"" + input_ + "\": read error");
}
