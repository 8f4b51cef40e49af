// What each kind of name the setup stores may hold: a name that cannot be
// written into the script or "uninstall.s_" and read back unchanged, or
// that Windows or the program-group service would take as another name, is
// refused. One function per kind; the setup program (options page,
// arguments, start-up, the procedures) and kelvopack call the same ones.
//
// Each answers why a name cannot be used, as words that follow the name
// ("cannot hold "@": ..."), so that every caller says it in its own
// sentence; empty when the name can be used. Names are 8-bit text (the
// setup's ANSI code page), paths with backslashes.
#pragma once

#include <cstddef>
#include <string>

namespace names {

// The longest program group name: "[CreateGroup(name)]" fits the group
// command's 255 characters.
extern const size_t kGroupNameMax;

// Whether `name` (one name of a path) is one Windows keeps for a device:
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9, LPT1 to LPT9 (and with
// the superscript digits 1 to 3), in any letter case, with or without an
// extension, blanks before the extension aside.
bool IsDeviceName(const std::string& name);

// A program group's name: not empty, no blank in front (the service drops
// it), no "@" (its stored form writes blanks as "@", so "My@Apps" would be
// read back as the user's "My Apps"), nothing that splits the group
// command, nothing a folder's name cannot hold (the group is a folder of
// the Start Menu): "\/:*?<>|", a dot or blank at the end, a device name;
// and at most kGroupNameMax characters.
std::string WhyNotGroupName(const std::string& group);

// A program item's title: as a group's name (it names the item's shortcut
// file in the group's folder), a dot or blank at the end aside (".lnk"
// follows it), and at most 63 characters (the script's limit).
std::string WhyNotItemTitle(const std::string& title);

// A record's path inside the destination folder, as it is installed:
// relative, no drive, no empty, "." or ".." name (each would lead outside
// the destination folder), no "@", and every name of it one Windows keeps
// as it is written: none of the characters Windows refuses ("/" included:
// the script separates with backslashes), no dot or blank at the end, no
// device name; at most 255 characters (the package's file table).
std::string WhyNotRecordPath(const std::string& path);

// A destination folder in full form ("X:\...\" or "\\server\share\...\",
// ending with a backslash): every name below its root one Windows keeps as
// it is written (as above; "@" is fine: the destination is stored as it
// is), and at most 511 characters.
std::string WhyNotDestination(const std::string& folder);

}  // namespace names
