// The rules of start-up that need no window: the run's mode, the window
// titles and bounded path joins. Portable, so that they are tested natively.
#pragma once

#include "SetupLayout.h"
#include "Status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TListaDado;

namespace startup {

constexpr int kInstallMode = 1;
constexpr int kUninstallMode = 2;
constexpr size_t kCaptionSize = 128;

// The mode from the file `modo.se`: uninstall when its first character after
// leading white space is an upper-case "U"; install otherwise, also when the
// file is missing or empty.
int ModeFromFile(const char* path);

// "Kelvo ® - \"Let The Kelvo Do The Work For You!\"", 46 characters; with
// the application's name (as the script gives it) in the place of "Kelvo ®".
void InstallCaption(char (&caption)[kCaptionSize], const std::string& appName = std::string());
// "Kelvo ® - Uninstalling application: <group>", the application's name in
// the place of "Kelvo ®" when there is one; a group name too long for the
// 127 characters ends in "..." instead.
void UninstallCaption(char (&caption)[kCaptionSize], const char* group, const std::string& appName = std::string());
// The name the setup shows for itself in its captions and messages: the
// application's (at most kShownNameMax characters, longer ones cut with
// "..."), or "Kelvo ®" when the script names none.
constexpr size_t kShownNameMax = 60;
std::string ShownName(const std::string& appName);
// The question of the wizard's Cancel button, naming the application.
std::string CancelQuestion(const std::string& appName);

// first + second (+ third) into a 512-byte path buffer. A result longer than
// kPathMax characters is never cut: a failure (kRefused) naming it, and
// dest stays as it was.
Status JoinPath(char* dest, const char* first, const char* second, const char* third = nullptr);
// A text the platform gave into a 512-byte path buffer, or the same failure.
Status CopyPath(char* dest, const char* text);

// The integrity check of the setup at `package` before anything is written:
// a failure ("damaged or incomplete: download it again") when its integrity
// record does not match; success when it matches, when it has none, or
// when the file cannot be read at all (reading it reports that).
Status CheckSetupIntegrity(const char* package);

// The script's own program group, before anything is extracted: none, or
// one the setup can use (NameRules.h). A failure (kDamaged) naming the
// reason otherwise: kelvopack writes no such script.
Status CheckScriptGroup(const std::string& group);

// The records as the display-file plan (SetupLayout.h) sees them.
std::vector<layout::PlanRecord> PlanRecords(const TListaDado& list);

}  // namespace startup
