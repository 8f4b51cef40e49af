// Shell-like file patterns over relative paths with "/" between folders:
//   *      any run of characters within one name
//   ?      any one character
//   [a-z]  one character of a set ([!a-z] or [^a-z]: not of it)
//   **     as a whole name: any number of folders, none included
// A name that begins with "." is matched only by a pattern that spells that
// dot, so hidden files and folders stay out unless asked for.
#pragma once

#include <string>
#include <vector>

class Glob {
public:
    // False, with the reason, when the pattern is malformed.
    bool Compile(const std::string& pattern, std::string* error);
    bool Match(const std::string& path) const;

private:
    // Whether parts_ from `part` on match names from `name` on; `failed`
    // remembers the pairs already found not to.
    bool MatchFrom(size_t part, const std::vector<std::string>& names, size_t name, std::vector<bool>* failed) const;
    bool MatchPart(size_t part, const std::vector<std::string>& names, size_t name, std::vector<bool>* failed) const;

    std::vector<std::string> parts_;
};

// Whether one name matches one part of a pattern (no "/" in either).
bool MatchName(const std::string& pattern, const std::string& name);

// The files under `folder` whose paths relative to it match an include and
// no exclude, sorted byte by byte so that the result never depends on the
// order in which the system lists folders. Links to folders are not
// followed. False, with the reason, if a folder cannot be listed.
bool FindFiles(const std::string& folder, const std::vector<Glob>& includes, const std::vector<Glob>& excludes,
               std::vector<std::string>* found, std::string* error);
