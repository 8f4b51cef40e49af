// Reads a project file (TOML) into a Project. The format:
//
//   name = "Kelvo Demo"                   application's display name
//   publisher = "Kelvo"                   for the list of installed programs
//   version = "1.0"                       likewise
//   group = "Kelvo Demo"                  program group (default: name)
//   destination = 'C:\Kelvo Demo\'        default destination folder
//   modes = ["full", "typical", "minimal"]   modes offered (default: all)
//   source_folder = 'C:\KELVO\'           folder the records name (default)
//   setup_path = 'demo-setup.exe'         "built into" (default: output name)
//   level = "user"                        rights asked for: "user" or "admin"
//   bitmap = "art/kelvo.bmp"              the three files the wizard shows
//   presentation = "text/pres.txt"
//   agreement = "text/licen.txt"
//
//   [[file]]                              one file
//   source = "bin/hello.exe"              relative to the project file
//   path = "hello.exe"                    in the destination (default: source's name)
//   modes = ["full", "typical"]           (default: every mode offered)
//   title = "Hello"                       program item (default: none)
//
//   [[folder]]                            many files
//   source = "docs"
//   include = ["**/*.txt"]                (default: "**", all but hidden files)
//   exclude = ["drafts/**"]               (default: none)
//   path = "docs"                         destination sub-folder (default: top)
//   modes = ["full"]
//
// Files become records in the order of the file; a folder's files in byte
// order of their paths. Paths in the destination may use "/" or "\".
// Settings of the whole setup come before the first table.
#pragma once

#include "Project.h"

#include <string>
#include <vector>

// Reads and interprets the project file. Throws ToolError listing every
// problem found, each as "file:line:column: what is wrong".
Project LoadProject(const std::string& path);

// Same, from text already in memory (`path` names it in messages and gives
// the folder that relative sources start from).
Project ParseProject(const std::string& text, const std::string& path);
