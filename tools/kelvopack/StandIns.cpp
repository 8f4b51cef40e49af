#include "StandIns.h"

#include "File.h"
#include "PlaceholderBitmap.h"
#include "Platform.h"
#include "ProjectTemplate.h"
#include "ToolError.h"

namespace {

constexpr char kWelcome[] = "Welcome to the setup of ";
constexpr char kTerms[] = ": licence agreement";

// The first paragraph of a stand-in text, its lines joined again.
std::string FirstParagraph(const std::string& text)
{
    std::string paragraph = text.substr(0, text.find("\r\n\r\n"));
    for (size_t at; (at = paragraph.find("\r\n")) != std::string::npos;)
        paragraph.replace(at, 2, " ");
    return paragraph;
}

std::string Read(const std::string& path)
{
    File file(path.c_str(), "rb");
    std::string bytes;
    char buffer[65536];
    for (size_t got; file.IsOpen() && (got = file.Read(buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, got);
    return file.IsOpen() && !file.Failed() ? bytes : std::string();
}

bool Write(const std::string& path, const std::string& bytes)
{
    File file(path.c_str(), "wb");
    return file.IsOpen() && file.Write(bytes.data(), bytes.size()) && file.Close();
}

}  // namespace

std::string StandIns::Make(int role, const std::string& ansiName)
{
    if (role == 1)
        return ProjectTemplate::Presentation(ansiName);
    if (role == 2)
        return ProjectTemplate::Agreement(ansiName);
    const std::vector<uint8_t> bmp = PlaceholderBitmap::Make(ansiName);
    return std::string(bmp.begin(), bmp.end());
}

std::string StandIns::MadeFor(int role, const std::string& bytes)
{
    // The name each says it was made for, then whether it is exactly that.
    std::string name;
    if (role == 0) {
        name = PlaceholderBitmap::NameOf(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    } else {
        const std::string first = FirstParagraph(bytes);
        const std::string head = role == 1 ? kWelcome : "";
        const std::string tail = role == 1 ? "." : kTerms;
        if (first.size() > head.size() + tail.size() && first.compare(0, head.size(), head) == 0 &&
            first.compare(first.size() - tail.size(), tail.size(), tail) == 0)
            name = first.substr(head.size(), first.size() - head.size() - tail.size());
    }
    return !name.empty() && Make(role, name) == bytes ? name : std::string();
}

std::string StandIns::NameFor(const Project& project)
{
    return project.nameAnsi.empty() ? project.group : project.nameAnsi;
}

std::vector<std::string> StandIns::Refresh(Project* project)
{
    const std::string name = NameFor(*project);
    DisplayFile* display[3] = {&project->bitmap, &project->presentation, &project->agreement};
    std::vector<std::string> made;
    for (int role = 0; role < 3; ++role) {
        DisplayFile& file = *display[role];
        const std::string madeFor = MadeFor(role, Read(file.source));
        if (madeFor.empty() || madeFor == name)
            continue;
        // Written beside it and renamed: an interrupted build leaves the old one.
        const std::string bytes = Make(role, name);
        const std::string part = file.source + ".part";
        bool written = Write(part, bytes);
        written = written && platform::RenameFile(part.c_str(), file.source.c_str());
        if (!written) {
            platform::RemoveFile(part.c_str());
            throw ToolError(file.source + ": cannot write the stand-in made for the project's name");
        }
        file.size = bytes.size();
        // A project may install the file too: measured again there as well.
        for (InstallFile& installed : project->files) {
            if (platform::SameFile(installed.source.c_str(), file.source.c_str())) {
                installed.size = bytes.size();
                installed.stamped = false;
            }
        }
        made.push_back(file.source);
    }
    return made;
}
