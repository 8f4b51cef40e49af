#include "Glob.h"

#include "Platform.h"

#include <algorithm>

namespace {

std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        names.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos)
            return names;
        start = slash + 1;
    }
}

// Matches a bracket set at pattern[*p] (just after "[") against c; moves *p
// past the closing "]".
bool MatchSet(const std::string& pattern, size_t* p, char c)
{
    size_t i = *p;
    bool negate = false;
    if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
        negate = true;
        ++i;
    }
    bool hit = false;
    bool first = true;
    while (i < pattern.size() && (first || pattern[i] != ']')) {
        first = false;
        const char lo = pattern[i];
        char hi = lo;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            hi = pattern[i + 2];
            i += 2;
        }
        if (static_cast<unsigned char>(c) >= static_cast<unsigned char>(lo) &&
            static_cast<unsigned char>(c) <= static_cast<unsigned char>(hi))
            hit = true;
        ++i;
    }
    *p = i < pattern.size() ? i + 1 : i;  // past "]", which a set like "[!]" lacks
    return hit != negate;
}

// Whether pattern[*p] (not "*") matches c; moves *p past it.
bool MatchOne(const std::string& pattern, size_t* p, char c)
{
    const char x = pattern[*p];
    ++*p;
    if (x == '?')
        return true;
    if (x == '[')
        return MatchSet(pattern, p, c);
    return x == c;
}

// Left to right, going back only to the last "*" met: a later "*" can take
// whatever an earlier one would have, so time stays within pattern x name
// instead of growing exponentially with the number of stars.
bool MatchAt(const std::string& pattern, const std::string& name)
{
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string::npos;  // pattern just after the last "*"
    size_t starN = 0;                  // where that "*"'s run ends so far
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            while (p < pattern.size() && pattern[p] == '*')
                ++p;
            starP = p;
            starN = n;
            continue;
        }
        size_t next = p;
        if (p < pattern.size() && MatchOne(pattern, &next, name[n])) {
            p = next;
            ++n;
            continue;
        }
        if (starP == std::string::npos)
            return false;
        p = starP;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchName(const std::string& pattern, const std::string& name)
{
    // A leading dot is never matched by a wildcard.
    if (!name.empty() && name[0] == '.' && (pattern.empty() || pattern[0] != '.'))
        return false;
    return MatchAt(pattern, name);
}

bool Glob::Compile(const std::string& pattern, std::string* error)
{
    parts_.clear();
    if (pattern.empty()) {
        *error = "an empty pattern";
        return false;
    }
    if (pattern[0] == '/') {
        *error = "the pattern \"" + pattern + "\" is absolute; patterns are relative to the folder";
        return false;
    }
    if (pattern.find('\\') != std::string::npos) {
        *error = "the pattern \"" + pattern + "\" holds a backslash; use \"/\" between folders";
        return false;
    }
    for (const std::string& part : Split(pattern)) {
        if (part.empty() || part == "." || part == "..") {
            *error = "the pattern \"" + pattern + "\" holds an empty, \".\" or \"..\" folder";
            return false;
        }
        if (part.find("**") != std::string::npos && part != "**") {
            *error = "in the pattern \"" + pattern + "\", \"**\" must stand alone between slashes";
            return false;
        }
        for (size_t i = 0; i < part.size(); ++i) {
            if (part[i] == '[') {
                const size_t close = part.find(']', i + 2);
                if (close == std::string::npos) {
                    *error = "the pattern \"" + pattern + "\" has a \"[\" without its \"]\"";
                    return false;
                }
                i = close;
            }
        }
        parts_.push_back(part);
    }
    return true;
}

bool Glob::Match(const std::string& path) const
{
    const std::vector<std::string> names = Split(path);
    std::vector<bool> failed((parts_.size() + 1) * (names.size() + 1), false);
    return MatchFrom(0, names, 0, &failed);
}

bool Glob::MatchFrom(size_t part, const std::vector<std::string>& names, size_t name, std::vector<bool>* failed) const
{
    // Several "**" could try the same pairing of pattern part and name over
    // and over; each is worked out once.
    const size_t state = part * (names.size() + 1) + name;
    if ((*failed)[state])
        return false;
    const bool matched = MatchPart(part, names, name, failed);
    if (!matched)
        (*failed)[state] = true;
    return matched;
}

bool Glob::MatchPart(size_t part, const std::vector<std::string>& names, size_t name, std::vector<bool>* failed) const
{
    if (part == parts_.size())
        return name == names.size();
    if (parts_[part] == "**") {
        if (part + 1 == parts_.size()) {
            // Last: everything below, hidden names excepted.
            return name < names.size() && std::none_of(names.begin() + static_cast<std::ptrdiff_t>(name), names.end(),
                                                       [](const std::string& n) { return n.empty() || n[0] == '.'; });
        }
        // Zero or more folders, none of them hidden; never the file itself.
        for (size_t k = name; k < names.size(); ++k) {
            if (MatchFrom(part + 1, names, k, failed))
                return true;
            if (names[k].empty() || names[k][0] == '.')
                return false;
        }
        return false;
    }
    return name < names.size() && MatchName(parts_[part], names[name]) && MatchFrom(part + 1, names, name + 1, failed);
}

namespace {

bool Walk(const std::string& root, const std::string& relative, const std::vector<Glob>& includes,
          const std::vector<Glob>& excludes, std::vector<std::string>* found, std::string* error)
{
    const std::string folder = relative.empty() ? root : root + "/" + relative;
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(folder.c_str(), &entries)) {
        *error = "cannot list the folder \"" + folder + "\"";
        return false;
    }
    for (const platform::FolderEntry& entry : entries) {
        const std::string path = relative.empty() ? entry.name : relative + "/" + entry.name;
        if (entry.folder) {
            if (!entry.link && !Walk(root, path, includes, excludes, found, error))
                return false;
            continue;
        }
        const auto matches = [&path](const Glob& g) { return g.Match(path); };
        if (std::any_of(includes.begin(), includes.end(), matches) &&
            std::none_of(excludes.begin(), excludes.end(), matches))
            found->push_back(path);
    }
    return true;
}

}  // namespace

bool FindFiles(const std::string& folder, const std::vector<Glob>& includes, const std::vector<Glob>& excludes,
               std::vector<std::string>* found, std::string* error)
{
    found->clear();
    if (!Walk(folder, std::string(), includes, excludes, found, error))
        return false;
    std::sort(found->begin(), found->end());
    return true;
}
