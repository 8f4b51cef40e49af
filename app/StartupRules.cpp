#include "StartupRules.h"

#include "BoundedText.h"
#include "File.h"
#include "Limits.h"
#include "NameRules.h"
#include "PackageIntegrity.h"
#include "PackageReader.h"
#include "Report.h"
#include "TListaDado.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace startup {

namespace {

const char kOwnName[] = "Kelvo \xAE";
const char kSlogan[] = "\"Let The Kelvo Do The Work For You!\"";
const char kUninstalling[] = " - Uninstalling application: ";
const char kEllipsis[] = "...";

Status PathTooLong(const std::string& path)
{
    std::string text = "A path is longer than " + std::to_string(kPathMax) + " characters:\n";
    text += path.substr(0, 200);
    if (path.size() > 200)
        text += kEllipsis;
    return Status::Failure(Fault::kRefused, text, "Error!");
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

std::string ShownName(const std::string& appName)
{
    if (appName.empty())
        return kOwnName;
    if (appName.size() <= kShownNameMax)
        return appName;
    return appName.substr(0, kShownNameMax - (sizeof kEllipsis - 1)) + kEllipsis;
}

std::string CancelQuestion(const std::string& appName)
{
    const std::string name = appName.empty() ? std::string("Kelvo") : ShownName(appName);
    return "\"" + name + "\" has been canceled.\nPress \"Yes\" for closing or\n\"No\" for returning.";
}

void InstallCaption(char (&caption)[kCaptionSize], const std::string& appName)
{
    const std::string whole = ShownName(appName) + " - " + kSlogan;
    text::CopyBounded(caption, sizeof caption, whole.c_str());
}

void UninstallCaption(char (&caption)[kCaptionSize], const char* group, const std::string& appName)
{
    const std::string prefix = ShownName(appName) + kUninstalling;
    const size_t room = sizeof caption - 1 - prefix.size();  // 91 characters for the group without a name
    const size_t length = std::strlen(group);
    if (length <= room) {
        const std::string whole = prefix + group;
        text::CopyBounded(caption, sizeof caption, whole.c_str());
        return;
    }
    const size_t kept = room - (sizeof kEllipsis - 1);
    const std::string shortened = prefix + std::string(group, kept) + kEllipsis;
    text::CopyBounded(caption, sizeof caption, shortened.c_str());
}

Status JoinPath(char* dest, const char* first, const char* second, const char* third)
{
    std::string path(first);
    path += second;
    if (third != nullptr)
        path += third;
    return CopyPath(dest, path.c_str());
}

Status CopyPath(char* dest, const char* text)
{
    const size_t length = std::strlen(text);
    if (length > kPathMax)
        return PathTooLong(text);
    std::memcpy(dest, text, length + 1);
    return Status();
}

Status CheckSetupIntegrity(const char* package)
{
    PackageReader reader;
    if (!reader.Open(package))
        return Status();
    if (CheckIntegrity(reader).state != IntegrityReport::State::kDamaged)
        return Status();
    std::string name = package;
    name.erase(0, name.find_last_of('\\') + 1);
    return Status::Failure(Fault::kDamaged,
                           "The setup \"" + name +
                               "\" is damaged or incomplete: nothing has been installed.\n"
                               "Please download it again.",
                           "Error!");
}

Status CheckScriptGroup(const std::string& group)
{
    const std::string why = group.empty() ? std::string() : names::WhyNotGroupName(group);
    if (why.empty())
        return Status();
    return Status::Failure(Fault::kDamaged,
                           "The setup is damaged: the name of its program group \"" + group + "\" " + why +
                               ".\nNothing has been installed.",
                           "Error!");
}

std::vector<layout::PlanRecord> PlanRecords(const TListaDado& list)
{
    std::vector<layout::PlanRecord> records(static_cast<size_t>(list.NDados()));
    for (int i = 0; i < list.NDados(); ++i) {
        layout::PlanRecord& record = records[static_cast<size_t>(i)];
        record.arq = list.Arq(i);
        record.flagged = list.Grupo(i) || list.Ful(i) || list.Typ(i) || list.Min(i);
        record.TamComp = list.TamComp(i);
    }
    return records;
}

}  // namespace startup
