#include "StartupRules.h"

#include "File.h"
#include "Limits.h"
#include "Report.h"
#include "TListaDado.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace startup {

const char* const kBitmapFile = "kelvo.bmp";
const char* const kPresentationFile = "pres.txt";
const char* const kAgreementFile = "licen.txt";

namespace {

const char kCaptionPrefix[] = "Kelvo \xAE - ";
const char kSlogan[] = "\"Let The Kelvo Do The Work For You!\"";
const char kUninstallPrefix[] = "Kelvo \xAE - Uninstalling application: ";
const char kEllipsis[] = "...";

[[noreturn]] void PathTooLong(const std::string& path)
{
    std::string text = "A path is longer than 511 characters:\n";
    text += path.substr(0, 200);
    if (path.size() > 200)
        text += kEllipsis;
    FatalMessage(text.c_str(), "Error!");
}

}  // namespace

int ModeFromFile(const char* path)
{
    File file(path, "rb");
    if (!file.IsOpen())
        return kInstallMode;
    int c;
    do {
        c = file.GetChar();
    } while (c != EOF && std::isspace(static_cast<unsigned char>(c)));
    return c == 'U' ? kUninstallMode : kInstallMode;
}

void InstallCaption(char (&caption)[kCaptionSize])
{
    std::snprintf(caption, sizeof caption, "%s%s", kCaptionPrefix, kSlogan);
}

void UninstallCaption(char (&caption)[kCaptionSize], const char* group)
{
    const size_t prefix = sizeof kUninstallPrefix - 1;
    const size_t room = sizeof caption - 1 - prefix;  // 91 characters for the name
    const size_t length = std::strlen(group);
    if (length <= room) {
        std::snprintf(caption, sizeof caption, "%s%s", kUninstallPrefix, group);
        return;
    }
    const size_t kept = room - (sizeof kEllipsis - 1);
    std::snprintf(caption, sizeof caption, "%s%.*s%s", kUninstallPrefix, static_cast<int>(kept),
                  group, kEllipsis);
}

void JoinPath(char* dest, const char* first, const char* second, const char* third)
{
    std::string path(first);
    path += second;
    if (third != nullptr)
        path += third;
    CopyPath(dest, path.c_str());
}

void CopyPath(char* dest, const char* text)
{
    const size_t length = std::strlen(text);
    if (length > kPathMax)
        PathTooLong(text);
    std::memcpy(dest, text, length + 1);
}

std::vector<DisplayStep> PlanDisplayFiles(const TListaDado& list, const char* bitmap,
                                          const char* presentation, const char* agreement)
{
    struct Role {
        const char* source;
        const char* fixed;
        bool served;
    };
    Role roles[] = {{bitmap, kBitmapFile, false},
                    {presentation, kPresentationFile, false},
                    {agreement, kAgreementFile, false}};

    std::vector<DisplayStep> steps;
    for (int i = list.NDados() - 1; i >= 0; --i) {
        if (list.Grupo(i) || list.Ful(i) || list.Typ(i) || list.Min(i))
            continue;
        DisplayStep step;
        step.size = list.TamComp(i);
        for (Role& role : roles) {
            if (role.served || *role.source == '\0' || std::strcmp(list.Arq(i), role.source) != 0)
                continue;
            if (step.member.empty()) {
                step.member = role.fixed;
                step.extract = true;
            } else {
                step.copies.push_back(role.fixed);
            }
            role.served = true;
        }
        if (step.member.empty())
            step.member = "?record " + std::to_string(i);  // '?' is in no file name
        steps.push_back(step);
    }
    return steps;
}

}  // namespace startup
