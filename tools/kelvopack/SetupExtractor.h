// Writes the members of an opened setup into a folder, under the names the
// setup gives them, refusing any name that would leave the folder. Each
// extractor reads the package through a reader of its own, so several may
// work on one archive side by side.
#pragma once

#include "ProgressHook.h"
#include "SetupArchive.h"

#include <set>
#include <string>
#include <vector>

class SetupExtractor {
public:
    // `folder` must exist; the archive must stay open while extracting. The
    // hook, if any, hears of every block written and may stop the member.
    SetupExtractor(const SetupArchive& archive, const std::string& folder, ProgressHook* hook = nullptr);

    // Writes the member under `name` (code page 1252, relative to the
    // folder, as the setup names it); *shown receives the name written.
    // False, with the reason, when the name is refused, the member does not
    // lie where the setup may read it, cannot be decoded to the size its
    // record states, or cannot be written; nothing is left behind then.
    bool Extract(const SetupArchive::Member& member, const std::string& name, std::string* shown, std::string* error);
    // Copies the file written as `from` to `name`, as the setup copies a
    // display file that serves a second role.
    bool Copy(const std::string& from, const std::string& name, std::string* shown, std::string* error);
    // Writes the decoded script as "kelvo.se".
    bool ExtractScript(std::string* shown, std::string* error);

private:
    std::string Target(const std::string& ansiName, std::string* shown);
    // Creates the folders on the way to `relative` below the folder.
    bool MakeFolders(const std::string& relative);

    bool OpenReader(std::string* error);

    const SetupArchive& archive_;
    std::string folder_;
    ProgressHook* hook_;
    PackageReader reader_;
    bool readerOpen_ = false;
    std::set<std::string> made_;  // folders known to exist
};

// One member to extract, and where to.
struct ExtractTask {
    size_t member = 0;               // its index in the archive
    std::vector<std::string> names;  // code page 1252: decoded into the first, copied to the others
};

// What became of one name of a task.
struct ExtractOutcome {
    size_t member = 0;
    std::string shown;  // the name, relative to the folder, as written
    std::string error;  // empty on success
};

// Extracts the tasks on `jobs` threads, each taking a run of consecutive
// tasks (so that each reads its part of the package front to back). One
// outcome per name, in the order of the tasks.
//
// Names that are one file on Windows (letter case aside, either separator)
// are written once, by the member of the first record among them: the
// setup extracts from the last record to the first, so that file is the
// one it leaves there. The others are refused; no two threads ever write
// one file. A failure of any kind, an exception included, fails the names
// of its member only.
//
// The hook, if any, is told of every block of every member, by all the
// threads at once; false stops that member.
std::vector<ExtractOutcome> ExtractMembers(const SetupArchive& archive, const std::string& folder,
                                           const std::vector<ExtractTask>& tasks, unsigned jobs,
                                           ProgressHook* hook = nullptr);

// The same for every name of each member numbered in `chosen`; a member
// the setup never extracts has none.
std::vector<ExtractOutcome> ExtractMembers(const SetupArchive& archive, const std::string& folder,
                                           const std::vector<size_t>& chosen, unsigned jobs);
