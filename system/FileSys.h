// Name and file-system helpers. Paths are Windows paths (Platform.h) in the
// callers' 512-byte buffers; nothing here ever writes beyond kPathSize.
#pragma once

#include "Status.h"

#include <cstddef>

// Stored form of a name: blanks after the first character become "@".
void Retifica(char* s);
// And back: "@" after the first character become blanks.
void Normaliza(char* s);
// The part of nomeArq after its last backslash (all of it if none), into
// file, a buffer of fileSize bytes; a longer name is cut to fit.
void Rectify(char* file, const char* nomeArq, size_t fileSize = 512);

// ---- Ending forms, as the helpers fix them ---------------------------------

// Copies dirAtual + "\" + orig to dest. A source that cannot be read, or a
// destination that cannot be written, ends the program with a message.
void CopyExe(const char* dirAtual, const char* orig, const char* dest);
// Creates every folder named by a prefix of path that ends before a backslash.
void MakePath(const char* path);

// ---- Reporting forms -------------------------------------------------------

// CopyExe, reporting instead ("is -> bad() || !is -> good()" for a source
// that cannot be read, kUnreadable; "Can't write ..." naming dest,
// kCannotCreate or kCannotWrite; caption "CopyExe"). A copy onto the
// source itself is skipped: it would empty the file. A destination that
// cannot be written completely is removed.
Status TryCopyExe(const char* dirAtual, const char* orig, const char* dest);
// MakePath, reporting a folder that does not exist afterwards (kCannotCreate).
// The folders it makes are made with `access` (platform::CreateFolder),
// those that exist are left as they are.
Status TryMakePath(const char* path, const char* access = nullptr);

// ---- Other helpers ---------------------------------------------------------

// Deletes the folder path (ending with a backslash) and everything below it.
// Links found inside are removed themselves, never followed. A root path
// (see IsRootPath) is refused: nothing is deleted.
void DelTree(const char* path);
// Whether path names no folder of its own but a whole drive, a whole share or
// the current folder: empty, "C:", "C:\", "\", "/", separators only,
// "\\server\share\", and the same behind "\\?\" or "\\.\".
bool IsRootPath(const char* path);
