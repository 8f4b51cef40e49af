// The rules of start-up that need no window: the run's mode, the window
// titles, bounded path joins and which package members hold the display
// files. Portable, so that they are tested natively.
#pragma once

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

// "Kelvo ® - \"Let The Kelvo Do The Work For You!\"", 46 characters.
void InstallCaption(char (&caption)[kCaptionSize]);
// "Kelvo ® - Uninstalling application: <group>"; a group name too long for
// the 127 characters ends in "..." instead.
void UninstallCaption(char (&caption)[kCaptionSize], const char* group);

// first + second (+ third) into a 512-byte path buffer. A result longer than
// 511 characters is never cut: it ends the program with a message naming it.
void JoinPath(char* dest, const char* first, const char* second, const char* third = nullptr);
// A text the platform gave into a 512-byte path buffer, or the same message.
void CopyPath(char* dest, const char* text);

// One registration of the display-file walk: register `member` with
// `size`; when `extract`, write it out and copy it to each of `copies`.
struct DisplayStep {
    std::string member;
    uint32_t size = 0;
    bool extract = false;
    std::vector<std::string> copies;
};

// The fixed names of the three display roles.
extern const char* const kBitmapFile;        // "kelvo.bmp"
extern const char* const kPresentationFile;  // "pres.txt"
extern const char* const kAgreementFile;     // "licen.txt"

// Walks the records from the last to the first and plans one registration
// for each record without flags, so that every member lies where the
// package puts it. A record that is the bitmap, presentation or agreement
// file (compared exactly, in that order) is registered under the first of
// its roles' fixed names and extracted; further roles of the same record
// get a copy of that file. A flag-less record that serves no role still
// takes its place in the package, under a name no file can have, and is not
// extracted.
std::vector<DisplayStep> PlanDisplayFiles(const TListaDado& list, const char* bitmap,
                                          const char* presentation, const char* agreement);

}  // namespace startup
