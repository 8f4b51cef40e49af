#include "ProjectFile.h"

#include "Codepage.h"
#include "File.h"
#include "Glob.h"
#include "Platform.h"
#include "Spelling.h"
#include "ToolError.h"

#include <toml++/toml.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <optional>
#include <utility>

std::string Origin::Where() const
{
    if (line <= 0)
        return file;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column);
}

const char* LevelName(ExecutionLevel level)
{
    return level == ExecutionLevel::Admin ? "admin" : "user";
}

std::string Modes::Letters() const
{
    std::string letters = "XXX";
    if (full)
        letters[0] = 'F';
    if (typical)
        letters[1] = 'T';
    if (minimal)
        letters[2] = 'M';
    return letters;
}

namespace {

bool IsAbsolute(const std::string& path)
{
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() >= 2 && path[1] == ':');
}

std::string Folder(const std::string& file)
{
    const size_t cut = file.find_last_of("/\\");
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? file.substr(0, 1) : file.substr(0, cut);
}

std::string BaseName(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The settings of the file's top, as ReadSetting reads them, and those of
// its tables; for "did you mean" and the lists of known settings.
const std::vector<std::string> kTopSettings = {"name",        "publisher", "version",      "group",
                                               "destination", "level",     "modes",        "source_folder",
                                               "setup_path",  "bitmap",    "presentation", "agreement"};
const std::vector<std::string> kFileSettings = {"source", "path", "title", "modes"};
const std::vector<std::string> kFolderSettings = {"source", "include", "exclude", "path", "modes"};

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// What to say of an unknown setting `name` among `known` ("[[file]]" for a
// table).
std::string Unknown(const std::string& name, const std::string& where, const std::vector<std::string>& known)
{
    std::string text = "unknown setting \"" + name + "\"" + where;
    std::vector<std::string> names;  // "[[file]]" is spelt "file"
    for (const std::string& k : known)
        names.push_back(k.rfind("[[", 0) == 0 ? k.substr(2, k.size() - 4) : k);
    const std::string closest = spelling::Closest(name, names);
    if (!closest.empty())
        text += ": did you mean \"" + closest + "\"?";
    return text + " (known: " + Joined(known) + ")";
}

// What to say of an unknown setting in a [[file]] or [[folder]] table.
std::string TableKeyProblem(const std::string& name, const char* table, const std::vector<std::string>& known)
{
    // TOML gives every key after a table's header to that table.
    if (std::find(kTopSettings.begin(), kTopSettings.end(), name) != kTopSettings.end())
        return "\"" + name + "\" is set inside a " + table +
               " table: settings of the whole setup come before "
               "the first [[file]] or [[folder]] (in TOML, every key after a table's header belongs to the table)";
    return Unknown(name, std::string(" in ") + table, known);
}

// `text` as a TOML string that needs no escapes where it can.
std::string TomlString(const std::string& text)
{
    return text.find('\'') == std::string::npos ? "'" + text + "'" : "\"" + text + "\"";
}

// The advice for a backslash that a double-quoted string took as an escape.
constexpr char kSingleQuotes[] =
    "in double quotes a backslash starts an escape (\\t is a tab, \\n a line break): write Windows paths "
    "in single quotes, such as destination = 'C:\\Program Files\\App\\'";

// Whether `line` holds a double-quoted string with a backslash in it.
bool QuotesABackslash(const std::string& line)
{
    const size_t quote = line.find('"');
    return quote != std::string::npos && line.find('\\', quote) != std::string::npos && line.find('\'') > quote;
}

std::string Slashes(std::string path, char from, char to)
{
    for (char& c : path) {
        if (c == from)
            c = to;
    }
    return path;
}

// Reads one project file, collecting its problems.
class Reader {
public:
    explicit Reader(const std::string& path) : path_(path), folder_(Folder(path)) {}

    Project Read(const std::string& text);

private:
    // A [[file]] or [[folder]] table, read in the order of the text.
    struct Entry {
        Origin origin;
        bool folder;
        const toml::table* table;
    };

    // The phases of Read, in order.
    toml::table Parse(const std::string& text) const;
    Project Defaults() const;
    void ReadSettings(const toml::table& root, Project* project);
    std::vector<Entry> Tables(const toml::table& root);
    void ReadTables(std::vector<Entry> entries, Project* project);
    void CheckRequired(const toml::table& root, const Project& project);
    void ThrowProblems() const;

    // One top-level setting; false when `name` is none.
    bool ReadSetting(std::string_view name, const toml::node& node, const toml::table& root, Project* project);
    void ReadName(const toml::node& node, bool groupGiven, Project* project);
    void ReadLevel(const toml::node& node, Project* project);

    Origin At(const toml::node& node) const;
    Origin At(const toml::key& key) const;
    void Problem(const Origin& origin, const std::string& what);

    std::optional<std::string> String(const toml::node& node, const std::string& what);
    // A 1252 string from a UTF-8 one; std::nullopt (with a problem) if it has no form.
    std::optional<std::string> Ansi(const toml::node& node, const std::string& what);
    std::optional<std::vector<std::string>> Strings(const toml::node& node, const std::string& what);
    std::optional<Modes> ReadModes(const toml::node& node);
    std::string Source(const std::string& relative) const;
    // A Windows folder: "/" as "\" and a trailing backslash added.
    std::string WindowsFolder(std::string folder) const;

    void ReadDisplay(const toml::node& node, const std::string& what, DisplayFile* out);
    void ReadFile(const toml::table& table, const Modes& defaults, Project* project);
    // A [[folder]] table as written, its patterns compiled.
    struct FolderTable {
        Origin origin;
        std::string source;  // the folder, resolved from the project's
        std::string prefix;  // in the destination, without a trailing backslash
        Modes modes;
        std::vector<Glob> includes;
        std::vector<Glob> excludes;
    };
    void ReadFolder(const toml::table& table, const Modes& defaults, Project* project);
    // The folder's files that the patterns select, in byte order of their paths.
    void AddFolderFiles(const FolderTable& folder, Project* project);

    // The text of line `line` (from 1), empty when there is none.
    std::string Line(int line) const;

    std::string path_;
    std::string folder_;
    std::vector<std::string> lines_;
    std::vector<std::pair<Origin, std::string>> problems_;
};

std::string Reader::Line(int line) const
{
    return line >= 1 && static_cast<size_t>(line) <= lines_.size() ? lines_[static_cast<size_t>(line) - 1]
                                                                   : std::string();
}

Origin Reader::At(const toml::node& node) const
{
    const toml::source_region& source = node.source();
    return Origin{path_, static_cast<int>(source.begin.line), static_cast<int>(source.begin.column)};
}

Origin Reader::At(const toml::key& key) const
{
    const toml::source_region& source = key.source();
    return Origin{path_, static_cast<int>(source.begin.line), static_cast<int>(source.begin.column)};
}

void Reader::Problem(const Origin& origin, const std::string& what)
{
    problems_.emplace_back(origin, origin.Where() + ": " + what);
}

std::optional<std::string> Reader::String(const toml::node& node, const std::string& what)
{
    const auto* s = node.as_string();
    if (s == nullptr) {
        Problem(At(node), what + " must be a string");
        return std::nullopt;
    }
    // "C:\new" in double quotes holds a line break: the setter meant a path.
    const std::string& text = s->get();
    const bool control = std::any_of(text.begin(), text.end(), [](char c) {
        return c == '\b' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
    });
    if (control && QuotesABackslash(Line(At(node).line))) {
        Problem(At(node), what + " holds a control character: " + kSingleQuotes);
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> Reader::Ansi(const toml::node& node, const std::string& what)
{
    const std::optional<std::string> text = String(node, what);
    if (!text)
        return std::nullopt;
    std::string ansi;
    std::string error;
    if (!codepage::Utf8ToAnsi(*text, &ansi, &error)) {
        Problem(At(node), what + " \"" + *text + "\" holds " + error);
        return std::nullopt;
    }
    return ansi;
}

std::optional<std::vector<std::string>> Reader::Strings(const toml::node& node, const std::string& what)
{
    // One string is no list: "a, b" would be taken as one pattern or mode.
    if (const auto* one = node.as_string()) {
        std::string items;
        size_t start = 0;
        while (start <= one->get().size()) {
            const size_t comma = std::min(one->get().find(',', start), one->get().size());
            std::string item = one->get().substr(start, comma - start);
            item.erase(0, item.find_first_not_of(' '));
            item.erase(item.find_last_not_of(' ') + 1);
            if (!item.empty())
                items += (items.empty() ? "" : ", ") + TomlString(item);
            start = comma + 1;
        }
        Problem(At(node),
                what + " is a string; it takes an array: " + what.substr(1, what.size() - 2) + " = [" + items + "]");
        return std::nullopt;
    }
    const toml::array* array = node.as_array();
    if (array == nullptr) {
        Problem(At(node), what + " must be an array of strings");
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (const toml::node& element : *array) {
        const std::optional<std::string> s = String(element, "each of " + what);
        if (!s)
            return std::nullopt;
        out.push_back(*s);
    }
    return out;
}

std::optional<Modes> Reader::ReadModes(const toml::node& node)
{
    const std::optional<std::vector<std::string>> names = Strings(node, "\"modes\"");
    if (!names)
        return std::nullopt;
    Modes modes;
    for (const std::string& name : *names) {
        if (name == "full") {
            modes.full = true;
        } else if (name == "typical") {
            modes.typical = true;
        } else if (name == "minimal") {
            modes.minimal = true;
        } else {
            Problem(At(node), "unknown mode \"" + name + "\" (the modes are \"full\", \"typical\" and \"minimal\")");
            return std::nullopt;
        }
    }
    if (!modes.Any()) {
        Problem(At(node), "\"modes\" names no mode");
        return std::nullopt;
    }
    return modes;
}

std::string Reader::Source(const std::string& relative) const
{
    const std::string path = Slashes(relative, '\\', '/');
    if (IsAbsolute(path) || folder_ == ".")
        return path;
    return folder_ + "/" + path;
}

std::string Reader::WindowsFolder(std::string folder) const
{
    folder = Slashes(folder, '/', '\\');
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

void Reader::ReadDisplay(const toml::node& node, const std::string& what, DisplayFile* out)
{
    if (const std::optional<std::string> s = String(node, what)) {
        out->source = Source(*s);
        out->origin = At(node);
    }
}

void Reader::ReadFile(const toml::table& table, const Modes& defaults, Project* project)
{
    InstallFile file;
    file.origin = At(table);
    file.modes = defaults;
    std::string relative;
    bool pathGiven = false;
    bool ok = true;
    for (const auto& [key, node] : table) {
        const std::string_view name = key.str();
        if (name == "source") {
            const std::optional<std::string> s = String(node, "\"source\"");
            ok = ok && s.has_value();
            if (s) {
                file.source = Source(*s);
                file.origin = At(node);
                relative = *s;
            }
        } else if (name == "path") {
            const std::optional<std::string> s = Ansi(node, "\"path\"");
            ok = ok && s.has_value();
            if (s)
                file.path = Slashes(*s, '/', '\\');
            pathGiven = true;
        } else if (name == "title") {
            const std::optional<std::string> s = Ansi(node, "\"title\"");
            ok = ok && s.has_value();
            if (s) {
                file.title = *s;
                if (file.title.empty()) {
                    Problem(At(node), "an empty \"title\": leave the title out for a file without a program item");
                    ok = false;
                }
            }
        } else if (name == "modes") {
            const std::optional<Modes> modes = ReadModes(node);
            ok = ok && modes.has_value();
            if (modes)
                file.modes = *modes;
        } else {
            Problem(At(key), TableKeyProblem(std::string(name), "[[file]]", kFileSettings));
            ok = false;
        }
    }
    if (relative.empty()) {
        if (!table.contains("source")) {
            Problem(file.origin, "[[file]] without \"source\"");
            ok = false;
        } else if (ok) {
            Problem(file.origin, "[[file]] with an empty \"source\"");
            ok = false;
        }
    }
    if (ok && !pathGiven) {
        std::string error;
        if (!codepage::Utf8ToAnsi(BaseName(Slashes(relative, '\\', '/')), &file.path, &error)) {
            Problem(file.origin, "the file name of \"" + relative + "\" holds " + error);
            ok = false;
        }
    }
    if (ok)
        project->files.push_back(file);
}

void Reader::ReadFolder(const toml::table& table, const Modes& defaults, Project* project)
{
    FolderTable folder{At(table), std::string(), std::string(), defaults, {}, {}};
    bool includeGiven = false;
    bool ok = true;
    const auto patterns = [this, &ok](const toml::node& node, const char* what, std::vector<Glob>* out) {
        const std::optional<std::vector<std::string>> list = Strings(node, what);
        if (!list) {
            ok = false;
            return;
        }
        for (const std::string& pattern : *list) {
            Glob glob;
            std::string error;
            if (!glob.Compile(pattern, &error)) {
                Problem(At(node), error);
                ok = false;
            }
            out->push_back(glob);
        }
    };
    for (const auto& [key, node] : table) {
        const std::string_view name = key.str();
        if (name == "source") {
            const std::optional<std::string> s = String(node, "\"source\"");
            ok = ok && s.has_value();
            if (s) {
                folder.source = Source(*s);
                folder.origin = At(node);
            }
        } else if (name == "path") {
            const std::optional<std::string> s = Ansi(node, "\"path\"");
            ok = ok && s.has_value();
            if (s) {
                folder.prefix = Slashes(*s, '/', '\\');
                while (!folder.prefix.empty() && folder.prefix.back() == '\\')
                    folder.prefix.pop_back();
            }
        } else if (name == "include") {
            patterns(node, "\"include\"", &folder.includes);
            includeGiven = true;
        } else if (name == "exclude") {
            patterns(node, "\"exclude\"", &folder.excludes);
        } else if (name == "modes") {
            const std::optional<Modes> m = ReadModes(node);
            ok = ok && m.has_value();
            if (m)
                folder.modes = *m;
        } else {
            Problem(At(key), TableKeyProblem(std::string(name), "[[folder]]", kFolderSettings));
            ok = false;
        }
    }
    if (folder.source.empty()) {
        Problem(folder.origin, "[[folder]] without \"source\"");
        ok = false;
    }
    if (!ok)
        return;
    if (!includeGiven) {
        Glob all;
        std::string unused;
        all.Compile("**", &unused);
        folder.includes.push_back(all);
    }
    AddFolderFiles(folder, project);
}

void Reader::AddFolderFiles(const FolderTable& folder, Project* project)
{
    if (!platform::FolderExists(folder.source.c_str())) {
        std::error_code ec;
        const std::string absolute = std::filesystem::absolute(folder.source, ec).lexically_normal().generic_string();
        Problem(folder.origin, "the folder \"" + folder.source + "\" does not exist" +
                                   (!ec && absolute != folder.source ? " (looked for " + absolute + ")" : ""));
        return;
    }
    std::vector<std::string> found;
    std::string error;
    if (!FindFiles(folder.source, folder.includes, folder.excludes, &found, &error)) {
        Problem(folder.origin, error);
        return;
    }
    if (found.empty()) {
        Problem(folder.origin, "no file in \"" + folder.source + "\" matches the patterns");
        return;
    }
    for (const std::string& relative : found) {
        InstallFile file;
        file.source = folder.source + "/" + relative;
        file.modes = folder.modes;
        file.origin = folder.origin;
        std::string name;
        if (!codepage::NativeToAnsi(Slashes(relative, '/', '\\'), &name, &error)) {
            Problem(folder.origin, "the name of \"" + file.source + "\" holds " + error);
            continue;
        }
        file.path = folder.prefix.empty() ? name : folder.prefix + "\\" + name;
        project->files.push_back(file);
    }
}

toml::table Reader::Parse(const std::string& text) const
{
    try {
        return toml::parse(text, path_);
    } catch (const toml::parse_error& e) {
        const toml::source_region& source = e.source();
        std::string what = std::string(e.description());
        if (QuotesABackslash(Line(static_cast<int>(source.begin.line))))
            what += "; " + std::string(kSingleQuotes);
        throw ToolError(
            Origin{path_, static_cast<int>(source.begin.line), static_cast<int>(source.begin.column)}.Where() + ": " +
            what);
    }
}

Project Reader::Defaults() const
{
    Project project;
    project.file = path_;
    project.modes = Modes{true, true, true};
    project.sourceFolder = kDefaultSourceFolder;
    const Origin top{path_, 0, 0};
    project.modesOrigin = top;
    project.sourceFolderOrigin = top;
    project.setupPathOrigin = top;
    project.levelOrigin = top;
    return project;
}

void Reader::ReadName(const toml::node& node, bool groupGiven, Project* project)
{
    const std::optional<std::string> s = String(node, "\"name\"");
    if (!s)
        return;
    project->name = *s;
    project->nameOrigin = At(node);
    // What 1252 cannot write is left out (ProjectWarnings says so), blanks
    // that end up side by side collapsed.
    std::string error;
    if (!codepage::Utf8ToAnsi(*s, &project->nameAnsi, &error)) {
        project->nameAnsi.clear();
        for (const char c : codepage::AnsiCharacters(*s)) {
            if (c != ' ' || (!project->nameAnsi.empty() && project->nameAnsi.back() != ' '))
                project->nameAnsi += c;
        }
        while (!project->nameAnsi.empty() && project->nameAnsi.back() == ' ')
            project->nameAnsi.pop_back();
    }
    if (groupGiven)
        return;
    if (project->nameAnsi.empty() && !s->empty()) {
        Problem(At(node), "\"name\" \"" + *s +
                              "\" holds no character of code page 1252, and the program "
                              "group's name needs some: name the group with group = '...'");
        return;
    }
    project->group = project->nameAnsi;
    project->groupOrigin = At(node);
}

void Reader::ReadLevel(const toml::node& node, Project* project)
{
    const std::optional<std::string> s = String(node, "\"level\"");
    if (!s)
        return;
    project->levelOrigin = At(node);
    if (*s == LevelName(ExecutionLevel::User))
        project->level = ExecutionLevel::User;
    else if (*s == LevelName(ExecutionLevel::Admin))
        project->level = ExecutionLevel::Admin;
    else
        Problem(At(node), "unknown level \"" + *s + "\" (the levels are \"user\" and \"admin\")");
}

bool Reader::ReadSetting(std::string_view name, const toml::node& node, const toml::table& root, Project* project)
{
    if (name == "name") {
        ReadName(node, root.contains("group"), project);
    } else if (name == "group") {
        if (const std::optional<std::string> s = Ansi(node, "\"group\"")) {
            project->group = *s;
            project->groupOrigin = At(node);
        }
    } else if (name == "destination") {
        if (const std::optional<std::string> s = Ansi(node, "\"destination\"")) {
            project->destination = WindowsFolder(*s);
            project->destinationOrigin = At(node);
        }
    } else if (name == "source_folder") {
        if (const std::optional<std::string> s = Ansi(node, "\"source_folder\"")) {
            project->sourceFolder = WindowsFolder(*s);
            project->sourceFolderOrigin = At(node);
        }
    } else if (name == "setup_path") {
        if (const std::optional<std::string> s = Ansi(node, "\"setup_path\"")) {
            project->setupPath = *s;
            project->setupPathOrigin = At(node);
            if (s->empty())
                Problem(At(node), "an empty \"setup_path\": leave it out to use the output's name");
        }
    } else if (name == "publisher") {
        if (const std::optional<std::string> s = Ansi(node, "\"publisher\""))
            project->publisher = *s;
    } else if (name == "version") {
        if (const std::optional<std::string> s = Ansi(node, "\"version\""))
            project->version = *s;
    } else if (name == "level") {
        ReadLevel(node, project);
    } else if (name == "modes") {
        if (const std::optional<Modes> modes = ReadModes(node))
            project->modes = *modes;
        project->modesOrigin = At(node);
    } else if (name == "bitmap") {
        ReadDisplay(node, "\"bitmap\"", &project->bitmap);
    } else if (name == "presentation") {
        ReadDisplay(node, "\"presentation\"", &project->presentation);
    } else if (name == "agreement") {
        ReadDisplay(node, "\"agreement\"", &project->agreement);
    } else {
        return false;
    }
    return true;
}

void Reader::ReadSettings(const toml::table& root, Project* project)
{
    for (const auto& [key, node] : root) {
        const std::string_view name = key.str();
        if (name == "file" || name == "folder" || ReadSetting(name, node, root, project))
            continue;
        std::vector<std::string> known = kTopSettings;
        known.insert(known.end(), {"[[file]]", "[[folder]]"});
        Problem(At(key), Unknown(std::string(name), "", known));
    }
}

std::vector<Reader::Entry> Reader::Tables(const toml::table& root)
{
    std::vector<Entry> entries;
    for (const char* name : {"file", "folder"}) {
        const toml::node* node = root.get(name);
        if (node == nullptr)
            continue;
        const toml::array* array = node->as_array();
        if (array == nullptr || !array->is_array_of_tables()) {
            Problem(At(*node), "\"" + std::string(name) + "\" must be written as [[" + name + "]] tables");
            continue;
        }
        for (const toml::node& element : *array)
            entries.push_back({At(element), std::string_view(name) == "folder", element.as_table()});
    }
    return entries;
}

void Reader::ReadTables(std::vector<Entry> entries, Project* project)
{
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.origin.line != b.origin.line ? a.origin.line < b.origin.line : a.origin.column < b.origin.column;
    });
    for (const Entry& entry : entries) {
        if (entry.folder)
            ReadFolder(*entry.table, project->modes, project);
        else
            ReadFile(*entry.table, project->modes, project);
    }
}

void Reader::CheckRequired(const toml::table& root, const Project& project)
{
    const Origin top{path_, 0, 0};
    if (!root.contains("name"))
        Problem(top, "the project names no application: add name = \"...\"");
    if (!root.contains("destination"))
        Problem(top, "the project names no destination folder: add destination = '...'");
    const struct {
        const DisplayFile& file;
        const char* key;
    } display[] = {{project.bitmap, "bitmap"},
                   {project.presentation, "presentation"},
                   {project.agreement, "agreement"}};
    for (const auto& d : display) {
        if (d.file.source.empty() && !root.contains(d.key))
            Problem(top, std::string("the project names no ") + d.key + " file: add " + d.key + " = \"...\"");
    }
}

void Reader::ThrowProblems() const
{
    if (problems_.empty())
        return;
    // In the order of the text; those of the whole file last.
    std::vector<std::pair<Origin, std::string>> sorted = problems_;
    const auto rank = [](const Origin& o) { return std::make_pair(o.line > 0 ? o.line : INT_MAX, o.column); };
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&rank](const auto& a, const auto& b) { return rank(a.first) < rank(b.first); });
    std::string message;
    for (const auto& p : sorted)
        message += (message.empty() ? "" : "\n") + p.second;
    throw ToolError(message);
}

Project Reader::Read(const std::string& text)
{
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines_.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const toml::table root = Parse(text);
    Project project = Defaults();
    ReadSettings(root, &project);
    ReadTables(Tables(root), &project);
    CheckRequired(root, project);
    ThrowProblems();
    return project;
}

}  // namespace

Project ParseProject(const std::string& text, const std::string& path)
{
    return Reader(path).Read(text);
}

Project LoadProject(const std::string& path)
{
    File file(path.c_str(), "rb");
    if (!file.IsOpen())
        throw ToolError(path + ": cannot open the project file");
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = file.Read(buffer, sizeof buffer)) > 0)
        text.append(buffer, got);
    if (file.Failed())
        throw ToolError(path + ": cannot read the project file");
    return ParseProject(text, path);
}
