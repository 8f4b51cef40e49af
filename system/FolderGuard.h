// Which folders the setup may install into and its uninstaller may delete.
// Paths are compared the way Windows resolves them, not as they are
// written: "C:\.\", "C:\X\..\", "C:\Windows.\" and ".\" are a drive root,
// the Windows folder and the current folder in disguise. Portable: the
// program gathers the folders to protect from the system.
#pragma once

#include <string>
#include <vector>

namespace guard {

// `path` made absolute against `current` (an absolute folder) and
// normalised: backslashes only, no empty, "." or ".." components, trailing
// dots and blanks of a component dropped (as Windows drops them), "\\?\"
// taken off, and a backslash at the end. Empty when it names nothing that
// can be made absolute (a device path, another drive's relative path).
std::string FullFolder(const std::string& path, const std::string& current);

// Whether `inner` (a full folder) is `outer` or lies below it, letter case aside.
bool IsWithin(const std::string& inner, const std::string& outer);

struct ProtectedFolders {
    // Nothing in them or above them may be deleted (the Windows folder).
    std::vector<std::string> trees;
    // Neither they nor anything above them may be deleted (a profile, the
    // program files folder, the temporary folder); below them is fine.
    std::vector<std::string> folders;
};

// The access an elevated setup makes the folders of a destination outside
// the program files folders with, the access Windows gives Program Files:
// administrators and the system full control, users read and execute, the
// creator of anything below full control of it; inherited by what is made
// below, and nothing inherited from above (where any user may write). Else
// any user could replace the copy that the machine's uninstall entry runs
// elevated, or edit its uninstall data to aim it at another tree. In the
// security descriptor language.
extern const char kProgramFilesAccess[];

// What the setup makes the folders of `destination` (full form) with that
// do not exist yet: kProgramFilesAccess when it runs elevated and the
// destination lies outside every one of `programFiles` (full folders, which
// pass on their own protection); else null, for the parent's.
const char* DestinationAccess(bool elevated, const std::string& destination,
                              const std::vector<std::string>& programFiles);

// Why the tree at `fullFolder` (as FullFolder gives it) must not be deleted
// as a whole, as a sentence naming it: a drive or share root, inside a
// protected tree, a protected folder or one of its parents. Empty when it
// may be.
std::string WhyProtected(const std::string& fullFolder, const ProtectedFolders& protectedFolders);

}  // namespace guard
