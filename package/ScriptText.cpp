#include "ScriptText.h"

#include "FileSys.h"
#include "Limits.h"

#include <utility>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        const size_t start = i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

bool ParseSize(const std::string& text, uint32_t* size)
{
    if (text.empty() || text.size() > kSizeTextMax)
        return false;
    uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');  // 15 digits cannot overflow
    }
    if (n > UINT32_MAX)
        return false;
    *size = static_cast<uint32_t>(n);
    return true;
}

}  // namespace

std::string ScriptText::KeyOf(const std::string& line, size_t* end)
{
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    size_t stop = start;
    while (stop < line.size() && !IsBlank(line[stop]))
        ++stop;
    *end = stop;
    if (stop - start > kScriptKeyMax)
        return std::string();
    return line.substr(start, stop - start);
}

bool ScriptText::HasKey(const std::string& line, const std::string& key)
{
    size_t end = 0;
    const std::string word = KeyOf(line, &end);
    return !word.empty() && word == key;
}

ScriptText ScriptText::Parse(const std::vector<uint8_t>& bytes)
{
    ScriptText text;
    text.exists_ = true;
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;  // the LF that follows ends the line
        if (c == '\n') {
            text.AddLine(line, true);
            line.clear();
        } else {
            line += c;
        }
    }
    text.AddLine(line, false);
    return text;
}

void ScriptText::AddLine(const std::string& text, bool broken)
{
    // A reader takes at most 511 characters at a time, the line break
    // counting as one of them.
    size_t pos = 0;
    while (text.size() - pos >= kScriptLineMax) {
        AddPiece(text.substr(pos, kScriptLineMax), false);
        pos += kScriptLineMax;
    }
    if (broken || pos < text.size())
        AddPiece(text.substr(pos), broken);
}

void ScriptText::AddPiece(std::string text, bool broken)
{
    size_t end = 0;
    const std::string key = KeyOf(text, &end);
    if (!key.empty())
        keys_.emplace(key, lines_.size());  // an earlier line keeps the key
    lines_.push_back(Line{std::move(text), broken});
    allBroken_ = allBroken_ && broken;
}

bool ScriptText::Get(const char* key, std::string* value) const
{
    const auto found = keys_.find(key);
    if (found == keys_.end())
        return false;
    const std::string& line = lines_[found->second].text;
    size_t end = 0;
    KeyOf(line, &end);
    // The value starts after the one character that follows the key.
    *value = end + 1 < line.size() ? line.substr(end + 1) : std::string();
    return true;
}

bool ScriptText::CheckEntry(const std::string& key, const std::string& value, std::string* error)
{
    if (key.empty() || key.size() > kScriptKeyMax) {
        *error = "the key \"" + key + "\" is not 1 to 31 characters long";
        return false;
    }
    for (const char c : key) {
        if (IsBlank(c)) {
            *error = "the key \"" + key + "\" holds a blank";
            return false;
        }
    }
    if (value.find_first_of("\r\n") != std::string::npos) {
        *error = "the value of \"" + key + "\" holds a line break";
        return false;
    }
    if (key.size() + 1 + value.size() > kScriptLineMax) {
        *error = "the entry \"" + key + "\" is longer than " + std::to_string(kScriptLineMax) + " characters";
        return false;
    }
    return true;
}

std::string ScriptText::RecordKey(int index)
{
    return "#ARQ" + std::to_string(index);
}

std::vector<std::string> ScriptText::RecordValues() const
{
    std::vector<std::string> values;
    for (int k = 0;; ++k) {
        std::string value;
        if (!Get(RecordKey(k).c_str(), &value) || value == "NULL")
            return values;
        values.push_back(value);
    }
}

bool ScriptText::ParseRecord(const std::string& value, ScriptRecord* out, std::string* error)
{
    const std::string quoted = "the file record \"" + value + "\"";
    const std::vector<std::string> words = Words(value);
    if (words.size() < 5) {
        *error = quoted + " has fewer than five fields";
        return false;
    }
    if (words.size() > 5) {
        *error = quoted + " has more than five fields";
        return false;
    }
    if (words[0].size() > kPathMax) {
        *error = "the path of " + quoted + " is longer than " + std::to_string(kPathMax) + " characters";
        return false;
    }
    ScriptRecord record;
    uint32_t* const sizes[2] = {&record.TamOrig, &record.TamComp};
    for (size_t i = 0; i < 2; ++i) {
        const std::string& text = words[2 + i];
        if (!ParseSize(text, sizes[i])) {
            *error = "the size \"" + text + "\" of " + quoted +
                     " is no decimal number from 0 to 4294967295 of at most 15 digits";
            return false;
        }
    }
    const std::string& flags = words[4];
    if (flags.size() != kFlagsLength) {
        *error = "the flags \"" + flags + "\" of " + quoted + " are not four characters";
        return false;
    }
    record.arq = words[0];
    record.nome = words[1];
    // A longer title is cut to what the setup's buffer holds, marked as
    // the caption marks a cut group name: it is no reason to refuse a setup.
    if (record.nome.size() > kItemTitleMax)
        record.nome = record.nome.substr(0, kItemTitleMax - 3) + "...";
    Normaliza(&record.arq[0]);
    Normaliza(&record.nome[0]);
    record.Grupo = flags[0] == 'G';
    record.Ful = flags[1] == 'F';
    record.Typ = flags[2] == 'T';
    record.Min = flags[3] == 'M';
    *out = std::move(record);
    return true;
}
