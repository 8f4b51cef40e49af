#include "WorkingFiles.h"

#include "File.h"
#include "Platform.h"
#include "SetupLayout.h"

namespace working {

bool Write(const char* name, const std::string& text)
{
    File file(name, "wb");
    if (!file.IsOpen())
        return false;
    const bool written = file.Write(text.data(), text.size());
    return file.Close() && written;
}

bool ReadAll(const char* name, std::string* text, size_t max)
{
    text->clear();
    File file(name, "rb");
    return file.IsOpen() && file.ReadRest(text, max);
}

bool ReadLine(const char* name, std::string* line, size_t max)
{
    line->clear();
    File file(name, "rb");
    if (!file.IsOpen())
        return false;
    for (int c = file.GetChar(); c != EOF && c != '\n'; c = file.GetChar()) {
        if (line->size() == max + 1)
            return false;
        line->push_back(static_cast<char>(c));
    }
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return !file.Failed() && line->size() <= max;
}

void RemoveAll(bool uninstalling, const std::string& program)
{
    // What the uninstaller's copy is given lies only where it runs.
    for (const layout::RelaunchFile& file : layout::kRelaunchFiles) {
        if (file.fromPackage || uninstalling)
            platform::RemoveFile(file.name);
    }
    platform::RemoveFile(layout::kStartFolder);
    platform::RemoveFile(layout::kProgramName);
    if (uninstalling && !program.empty())
        platform::RemoveFile(program.c_str());
}

}  // namespace working
