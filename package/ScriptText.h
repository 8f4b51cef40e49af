// The text of a setup script, in memory, read and changed exactly as TScript
// does on disk but without ever ending the program: for the tools that build
// and inspect packages, and for TScript itself.
//
// On disk (every platform): 8-bit text, lines ending with CR LF (a bare LF
// also ends a line when reading; a CR alone is an ordinary character).
//
//   #DIR_ORIG C:\Source\Folder\            key, one blank, value
//   <empty line>                           written between entries
//   #ARQ0 C:\Source\Folder\APP.EXE My@App 787563 372581 GFXX
//   ...
//   #ARQ5 C:\Windows\TEMP\licen.txt _ 10047 5163 XXXX
//
// Lines are read in pieces of at most 511 characters, the line break
// counting as one (a line of 511 characters is followed by an empty piece);
// every piece is a line of its own. A line's key is its first
// whitespace-delimited word, of at most 31 characters; the value starts at
// the second character after the key. The first line with a key wins.
//
// A file record, the value of "#ARQ<n>", holds five fields separated by
// blanks: path, item title ("_" for none), original size, compressed size
// (unsigned 32-bit decimal, at most 15 characters each), and four flag
// characters: "G" group item, "F" Full, "T" Typical, "M" Minimal, "X" for no.
// Blanks in the path and the title are stored as "@" (Retifica).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// The keys of a setup script.
constexpr char kKeyDirOrig[] = "#DIR_ORIG";
constexpr char kKeyDirDest[] = "#DIR_DEST";
constexpr char kKeyArqBmp[] = "#DIR_ARQ_BMP";
constexpr char kKeyArqApresentacao[] = "#DIR_ARQ_APRESENTACAO";
constexpr char kKeyArqLicenca[] = "#DIR_ARQ_LICENCA";
constexpr char kKeyArqMontagem[] = "#DIR_ARQ_MONTAGEM";
constexpr char kKeyNomeGrupo[] = "#DIR_NOME_GRUPO";
constexpr char kKeyModosInstalacao[] = "#DIR_MODOS_INSTALACAO";
// For the list of installed programs; unknown keys, which older readers skip.
constexpr char kKeyAppName[] = "#APP_NAME";
constexpr char kKeyAppPublisher[] = "#APP_PUBLISHER";
constexpr char kKeyAppVersion[] = "#APP_VERSION";

// One file record, split into its fields; names in their ordinary form.
struct ScriptRecord {
    std::string arq;   // path on the building machine
    std::string nome;  // program item title, "_" for none
    uint32_t TamOrig = 0;
    uint32_t TamComp = 0;
    bool Grupo = false;
    bool Ful = false;
    bool Typ = false;
    bool Min = false;
};

class ScriptText {
public:
    // No script at all, as when the file does not exist.
    ScriptText() = default;

    // The script held in `bytes`, an existing file (possibly empty).
    static ScriptText Parse(const std::vector<uint8_t>& bytes);

    bool Exists() const { return exists_; }

    // The value of the first line whose key is `key`; false when none.
    bool Get(const char* key, std::string* value) const;

    // Gives `key` the value exactly as a rewrite of the file does: a
    // replaced line is followed by one more empty line; an empty value drops
    // the key's line, takes the next line in its place unexamined, and
    // appends the key alone; a new key is appended after one empty line; a
    // script that does not exist gets the one entry.
    void Set(const std::string& key, const std::string& value);
    // Set for a key that is not there yet, in constant time. Appending to an
    // empty ScriptText gives: entry, empty line, entry, ..., last entry with
    // a single line break.
    void Append(const std::string& key, const std::string& value);

    // The file's bytes, lines ending with CR LF.
    std::vector<uint8_t> Bytes() const;
    // The bytes Append adds to the bytes of a script whose lines all end
    // with a line break, for an entry CheckEntry passes: an empty line, then
    // the entry. For a script written as bytes, record by record.
    static void AppendEntryBytes(const std::string& key, const std::string& value, std::vector<uint8_t>* bytes);

    // Whether key and value make an entry that is read back intact: a key of
    // 1 to 31 characters without whitespace, no line break in the value, and
    // the whole line within 511 characters. False with a reason otherwise.
    static bool CheckEntry(const std::string& key, const std::string& value, std::string* error);

    // "#ARQ" followed by the record number in decimal.
    static std::string RecordKey(int index);
    // The file records' values as the setup reads them: from "#ARQ0" up to
    // the first number missing, a value "NULL" ending them too.
    std::vector<std::string> RecordValues() const;

    // Splits a record value into its fields and turns the "@" of path and
    // title back into blanks (Normaliza); a title over 63 characters is cut
    // to 60 and "...". False, with a reason that quotes the record, when it
    // has other than five fields, a size that is not an unsigned 32-bit
    // decimal of at most 15 digits, or flags of other than four characters.
    static bool ParseRecord(const std::string& value, ScriptRecord* out, std::string* error);
    // The record value for `record`, blanks of path and title as "@"
    // (Retifica); an empty title is written "_". A path or title holding
    // other whitespace, or starting with a blank, does not read back: check
    // the result with ParseRecord.
    static std::string FormatRecord(const ScriptRecord& record);

private:
    // The key of a line: its first word, when it is no longer than a key can
    // be; empty otherwise. *end receives the position just after the word.
    static std::string KeyOf(const std::string& line, size_t* end);
    static bool HasKey(const std::string& line, const std::string& key);

    struct Line {
        std::string text;  // without its line break
        bool broken;       // a line break follows it in the file
    };

    // Adds the pieces of one line of text, as a reader sees them.
    void AddLine(const std::string& text, bool broken);
    void AddPiece(std::string text, bool broken);

    std::vector<Line> lines_;
    std::unordered_map<std::string, size_t> keys_;  // key -> its first line
    bool exists_ = false;
    bool allBroken_ = true;  // every line ends with a line break
};
