// The small working files of the setup program (see SetupLayout.h for
// their names): written whole, read as whole lines, so that a name or a
// folder with blanks comes back as it was written.
#pragma once

#include "Limits.h"

#include <cstddef>
#include <string>

namespace working {

// Replaces the file `name` with `text`, no line break added. False when it
// could not be written completely.
bool Write(const char* name, const std::string& text);

// The file's first line, without its line break (LF or CR LF). False when
// the file is missing, unreadable or its first line is longer than `max`.
bool ReadLine(const char* name, std::string* line, size_t max = kPathMax);

// The whole file, when it holds at most `max` bytes.
bool ReadAll(const char* name, std::string* text, size_t max);

// Removes the working files from the current folder, in the order they go:
// script, display files, start folder and program name; when
// `uninstalling`, also the mode file, the uninstall data's copy and
// `program` (the running copy itself, which the system refuses while it
// runs). Results are not checked.
void RemoveAll(bool uninstalling, const std::string& program);

}  // namespace working
