// The record of what an installation wrote into its destination folder,
// kept there as kInstallRecord beside the uninstall data (older
// uninstallers never look at it). It is written as the installation goes,
// each entry before the thing it names is made, so that a cancelled or
// failed installation leaves a record of everything it may have written.
//
//   Kelvo installed 1          the first line
//   P <folder>                 a folder above the destination made by it,
//                              in full with a backslash, the outermost first
//   R                          the destination folder was made by it
//   D <name>                   a folder made by it, inside the destination
//   S <name>                   the copy of the setup, the uninstaller
//   F <name>                   an installed file
//   G <group>                  a program group made by it
//
// Other names are relative to the destination folder; lines end with CR
// LF. Readers skip the lines of kinds they do not know. An
// installation over an earlier one carries the earlier record over, so
// that the uninstallation removes both.
#pragma once

#include "Status.h"

#include <string>
#include <vector>

namespace layout {

enum class Written : char {
    kParent = 'P',
    kDestination = 'R',
    kFolder = 'D',
    kSetupCopy = 'S',
    kFile = 'F',
    kGroup = 'G',
};

struct WrittenEntry {
    Written kind = Written::kFile;
    std::string name;  // empty for kDestination
};

inline constexpr char kRecordHeader[] = "Kelvo installed 1";

// The first line, with its line break.
std::string RecordHeader();
// One entry as its line, with its line break.
std::string RecordLine(const WrittenEntry& entry);
// The entries of a record. A failure (kDamaged) when the first line is not
// kRecordHeader; lines of an unknown kind, or whose name cannot be one
// (empty, a control character), are skipped and counted in *skipped.
Status ParseRecord(const std::string& bytes, std::vector<WrittenEntry>* entries, size_t* skipped = nullptr);

// What an entry is known by: two entries with the same key name the same
// thing (kind, and the name as Windows compares names).
std::string EntryKey(const WrittenEntry& entry);

// What the uninstaller may do with what a record names.
enum class Removal {
    kDelete,       // a file of the installation: delete it
    kIfEmpty,      // a folder it made: remove it once nothing else is in it
    kDeleteGroup,  // a program group it made
    kKeep,         // anything else: leave it
};
// The one rule of what may be deleted: files and folders only by names
// that stay inside the destination folder; the destination folder only when
// the installation made it, and only when empty; the folders above it that
// it made, only when they lie above `destination` (full form; none when
// empty) and are empty; the groups it made.
Removal MayDelete(const WrittenEntry& entry, const std::string& destination = std::string());

// The folders above `destination` (full form, with a backslash), from the
// outermost, the drive or share root excepted: those an installation makes
// when they are not there. Empty for a root or a name not in full form.
std::vector<std::string> FoldersAbove(const std::string& destination);

// What the uninstaller removes, from the entries of a record, in the order
// it removes them.
struct RemovalPlan {
    std::vector<std::string> files;
    std::vector<std::string> folders;  // the deepest first
    std::vector<std::string> groups;
    bool destination = false;          // remove the destination folder if it is empty
    std::vector<std::string> parents;  // then the folders above it, the innermost first
    std::vector<WrittenEntry> kept;    // entries the rule refused
};
// Each name once (letter case aside). `destination` as for MayDelete.
RemovalPlan PlanRemoval(const std::vector<WrittenEntry>& entries, const std::string& destination = std::string());

// The files the setup keeps in the destination for itself (mode file,
// uninstall data, this record, transient names): what every installation
// wrote there, recorded or not.
std::vector<WrittenEntry> OwnEntries();

// For an installation without a record (made before records were kept):
// the entries its script says it may have written, `names` being the
// installed names of the script's records, `program` the setup copy's
// name. Their folders count as made by it, the destination too: the
// uninstaller of that time deleted the whole tree.
std::vector<WrittenEntry> EntriesOfScript(const std::vector<std::string>& names, const std::string& program);

// What an installation over an earlier one removes once it is done: the
// earlier record's files and setup copies that the new one did not write,
// and its groups other than the new one's. `written`: the new entries.
std::vector<WrittenEntry> Superseded(const std::vector<WrittenEntry>& earlier,
                                     const std::vector<WrittenEntry>& written);

}  // namespace layout
