// The project file that kelvopack init writes: every setting spelled out
// and explained, installing one folder, ready to build as it is.
#pragma once

#include <string>
#include <vector>

class ProjectTemplate {
public:
    std::string name;                   // the application's name, UTF-8
    std::string folder;                 // the folder to install, as the project names it ("/" between folders)
    std::vector<std::string> programs;  // programs at the folder's top that get a program item, UTF-8
    bool others = false;                // whether the folder holds other files too
    std::string bitmap = "kelvo.bmp";   // the display files, beside the project file
    std::string presentation = "pres.txt";
    std::string agreement = "licen.txt";

    // The project file's text (UTF-8, LF line ends).
    std::string Text() const;

    // The presentation and agreement texts that stand in until the author
    // writes them: code page 1252, CR LF line ends. `ansiName` is the
    // application's name in code page 1252.
    static std::string Presentation(const std::string& ansiName);
    static std::string Agreement(const std::string& ansiName);

    // A name that serves as application name, program group, item title and
    // folder name alike, made from `wanted` (UTF-8): the characters code page
    // 1252 cannot write and those a group, an item or a folder cannot hold
    // are dropped, blanks are collapsed, at most `longest` characters are
    // kept. `fallback` when nothing usable is left. UTF-8.
    static std::string UsableName(const std::string& wanted, size_t longest, const std::string& fallback);

    // The title of a program's item, as people read it, from its file name
    // (UTF-8): the extension dropped, "_" and "-" as blanks, each word in
    // small letters only given a capital first letter, then reduced as
    // UsableName does ("hello_world.exe" is "Hello World", "myApp.exe"
    // "myApp", "GIMP.exe" "GIMP"); `fallback` when nothing is left.
    static std::string ItemTitle(const std::string& file, const std::string& fallback);

    // `text` as a TOML string: literal ('...') when it can be, else basic.
    static std::string Quote(const std::string& text);

    // A pattern (Glob) that matches exactly the name `name`.
    static std::string Literal(const std::string& name);
};
