#include "ProjectTemplate.h"

#include "Codepage.h"
#include "Limits.h"
#include "ProjectCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// The text view shows lines whole and scrolls sideways for long ones: the
// stand-in texts are broken between words to fit its width.
constexpr size_t kTextWidth = 44;

// Paragraphs separated by "\n", in lines of at most kTextWidth characters
// (a longer word stands alone) ending with CR LF, as the setup's texts do.
std::string Lines(const std::string& text)
{
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line;
        size_t at = start;
        while (at < end) {
            const size_t blank = std::min(text.find(' ', at), end);
            const std::string word = text.substr(at, blank - at);
            if (!line.empty() && line.size() + 1 + word.size() > kTextWidth) {
                out += line + "\r\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
            at = blank + 1;
        }
        if (end < text.size() || !line.empty())
            out += line + "\r\n";
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string ProjectTemplate::UsableName(const std::string& wanted, size_t longest, const std::string& fallback)
{
    // What a program group, an item title or a folder of the destination
    // cannot hold, and "@", which the setup reads back as a blank.
    const char* const kRefused = ",()[]\"@\\/:*?<>|";
    std::string name;
    for (const char c : codepage::AnsiCharacters(wanted)) {
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        if (control || std::strchr(kRefused, c) != nullptr)
            continue;
        if (c == ' ' && (name.empty() || name.back() == ' '))
            continue;
        name += c;
    }
    if (name.size() > longest) {
        // At a blank, when that keeps most of it.
        const size_t blank = name.rfind(' ', longest);
        name.resize(blank != std::string::npos && blank > longest / 2 ? blank : longest);
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    std::string error;
    if (name.empty() || !CheckGroupName(name, &error) || !CheckItemTitle(name, &error) ||
        !CheckRelativePath(name, &error))
        return fallback;
    return codepage::AnsiToUtf8(name);
}

std::string ProjectTemplate::ItemTitle(const std::string& file, const std::string& fallback)
{
    const size_t dot = file.rfind('.');
    std::string words = file.substr(0, dot == 0 ? file.size() : dot);
    for (char& c : words) {
        if (c == '_' || c == '-')
            c = ' ';
    }
    for (size_t start = 0; start < words.size();) {
        const size_t end = std::min(words.find(' ', start), words.size());
        const auto first = words.begin() + static_cast<std::ptrdiff_t>(start);
        const auto last = words.begin() + static_cast<std::ptrdiff_t>(end);
        if (std::none_of(first, last, [](char c) { return c >= 'A' && c <= 'Z'; }) && *first >= 'a' && *first <= 'z')
            *first = static_cast<char>(*first - 'a' + 'A');
        start = end + 1;
    }
    return UsableName(words, kItemTitleMax, fallback);
}

std::string ProjectTemplate::Quote(const std::string& text)
{
    bool literal = true;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\'' || (u < 0x20 && c != '\t') || u == 0x7F)
            literal = false;
    }
    if (literal)
        return "'" + text + "'";
    std::string quoted = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (u < 0x20 || u == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", u);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string ProjectTemplate::Literal(const std::string& name)
{
    std::string pattern;
    for (const char c : name) {
        if (c == '*' || c == '?' || c == '[')
            pattern += std::string("[") + c + "]";
        else
            pattern += c;
    }
    return pattern;
}

// The texts below are laid out as the lines they write.
// clang-format off
std::string ProjectTemplate::Text() const
{
    std::string destination = "C:\\" + name + "\\";
    std::string text;
    text += "# A Kelvo setup project, written by kelvopack init. Build the setup with\n"
            "#   kelvopack build THIS-FILE -o setup.exe\n"
            "# Relative paths start at this file's folder. Every setting is described\n"
            "# in kelvopack's manual (man kelvopack).\n"
            "\n"
            "# The application's name, in the wizard and the list of installed\n"
            "# programs. The stand-ins below show it; build makes them anew when\n"
            "# it changes.\n"
            "name = " + Quote(name) + "\n"
            "# Shown with the name in the list of installed programs (empty: none).\n"
            "publisher = ''\n"
            "version = ''\n"
            "# The program group the setup makes, with an item for each [[file]] that\n"
            "# has a title, and one to uninstall; the name unless set here.\n"
            "# group = " + Quote(name) + "\n"
            "# The folder the setup offers to install into; the user may change it.\n"
            "destination = " + Quote(destination) + "\n"
            "# The rights the setup asks for: \"user\", those of whoever starts it, who\n"
            "# must be allowed to write to the destination; \"admin\", an administrator's\n"
            "# (for a destination under C:\\Program Files, say).\n"
            "level = \"user\"\n"
            "# The installation modes offered: \"full\", \"typical\", \"minimal\". Every file\n"
            "# is in all of them unless it names its own modes = [...].\n"
            "modes = [\"full\", \"typical\", \"minimal\"]\n"
            "\n"
            "# What the wizard shows. kelvopack init made stand-ins; replace them with\n"
            "# your own: a BMP of at most 182 x 324 pixels with 256 colours or fewer, a\n"
            "# presentation and a licence agreement in code page 1252 (Windows-1252).\n"
            "bitmap = " + Quote(bitmap) + "\n"
            "presentation = " + Quote(presentation) + "\n"
            "agreement = " + Quote(agreement) + "\n";
    for (size_t k = 0; k < programs.size(); ++k) {
        const std::string title = ItemTitle(programs[k], "Program " + std::to_string(k + 1));
        text += "\n";
        if (k == 0)
            text += "# A program, installed at the destination's top; its title names its\n"
                    "# item in the program group (made from its file name).\n";
        text += "[[file]]\n"
                "source = " + Quote(folder + "/" + programs[k]) + "\n"
                "title = " + Quote(title) + "\n";
    }
    if (others) {
        text += "\n"
                "# The folder's " + std::string(programs.empty() ? "files" : "other files") +
                ", sub-folders included; names that begin\n"
                "# with a dot are left out. include = [...] and exclude = [...] take\n"
                "# patterns (*, ?, **).\n"
                "[[folder]]\n"
                "source = " + Quote(folder) + "\n";
        if (!programs.empty()) {
            text += "exclude = [";
            for (size_t k = 0; k < programs.size(); ++k)
                text += (k > 0 ? ", " : "") + Quote(Literal(programs[k]));
            text += "]\n";
        }
    }
    return text;
}

std::string ProjectTemplate::Presentation(const std::string& ansiName)
{
    return Lines("Welcome to the setup of " + ansiName + ".\n"
                 "\n"
                 "This wizard installs " + ansiName + " on this computer and makes a program group "
                 "for it. You can choose the folder it goes to and how much of it to install.\n"
                 "\n"
                 "Choose \"Next >\" to go on, or \"Cancel\" to leave without installing anything.");
}

std::string ProjectTemplate::Agreement(const std::string& ansiName)
{
    return Lines(ansiName + ": licence agreement\n"
                 "\n"
                 "This text stands in for the terms under which " + ansiName + " is given to its users. "
                 "Replace it (licen.txt, beside the project file) before you ship the setup.\n"
                 "\n"
                 "Choose \"Yes\" to accept the terms and install " + ansiName + ", or \"No\" to leave.");
}
// clang-format on
