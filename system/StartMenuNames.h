// The names of program groups made without the shell's service: a group is
// a folder below the Start Menu's programs folder and each item a shortcut
// file in it, as the service makes them. Portable, so that they are tested
// natively; the folders and shortcuts themselves are TStartMenuGroup's.
#pragma once

#include <string>

namespace startmenu {

// What an AddItem names: the item, and the icon that further arguments
// after the name give ("Uninstall, C:\Windows\SYSTEM\shell32.dll, 58"),
// each field without the blanks around it. An item without a name is
// called after its command's file, without the extension, as the service
// calls it; an index that is not a number is 0.
struct Item {
    std::string name;
    std::string icon;
    int iconIndex = 0;
};
Item ParseItem(const std::string& arq, const std::string& nome);

// The group's folder (full form, with a backslash at the end) below
// `programs`, or empty when the name would lead anywhere else (a drive, a
// share, "..") or name the programs folder itself.
std::string GroupFolder(const std::string& programs, const std::string& group);

// The shortcut file of an item in `groupFolder` (which ends with a
// backslash): the item's name with each character a file name cannot hold
// written as "_", and ".lnk".
std::string ShortcutFile(const std::string& groupFolder, const std::string& itemName);

// Whether a shortcut's target is one an installation into `destination`
// (full form) made: a file inside it, letter case aside. Removal takes only
// those, never what the user or another program put into the group.
bool IsOurs(const std::string& target, const std::string& destination);

// Whether a top-level window of class `windowClass` is one of the shell's
// folder windows, which the service opens on a group it makes: Windows'
// ("CabinetWClass") or Wine's ("ExplorerWClass").
bool IsFolderWindowClass(const std::string& windowClass);

// Whether a folder window's title shows the folder of group `group`: its
// last name, or a full path ending with it, letter case aside. An empty
// name shows nothing.
bool ShowsGroup(const std::string& title, const std::string& group);

}  // namespace startmenu
