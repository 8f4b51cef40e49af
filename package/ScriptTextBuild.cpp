// Writing scripts: only the builder links these.
#include "ScriptText.h"

#include "FileSys.h"
#include "Limits.h"

#include <string>

void ScriptText::Set(const std::string& key, const std::string& value)
{
    std::string out;
    if (!exists_) {
        out = key + " " + value + "\n";
    } else {
        // Line by line as a stream reader meets them: a read that reaches
        // the end of the file yields what it got, possibly an empty line,
        // and is the last one.
        size_t next = 0;
        bool atEnd = false;
        const auto read = [&]() -> std::string {
            if (next >= lines_.size()) {
                atEnd = true;
                return std::string();
            }
            const Line& line = lines_[next++];
            if (!line.broken && line.text.size() < kScriptLineMax)
                atEnd = true;
            return line.text;
        };
        bool written = false;
        while (!atEnd) {
            std::string line = read();
            if (HasKey(line, key)) {
                if (!value.empty()) {
                    line = key + " " + value + "\n";
                    written = true;
                } else {
                    line = read();
                }
            }
            out += line;
            out += '\n';
        }
        if (!written)
            out += key + " " + value + "\n";
    }
    *this = Parse(std::vector<uint8_t>(out.begin(), out.end()));
}

void ScriptText::Append(const std::string& key, const std::string& value)
{
    const bool simple = exists_ && allBroken_ && keys_.count(key) == 0 && key.find('\n') == std::string::npos &&
                        value.find('\n') == std::string::npos;
    if (!simple) {
        Set(key, value);
        return;
    }
    // The rewrite copies every line, then the empty line read at the end of
    // the file, then adds the entry.
    AddPiece(std::string(), true);
    AddLine(key + " " + value, true);
}

std::vector<uint8_t> ScriptText::Bytes() const
{
    std::vector<uint8_t> bytes;
    for (const Line& line : lines_) {
        bytes.insert(bytes.end(), line.text.begin(), line.text.end());
        if (line.broken) {
            bytes.push_back('\r');
            bytes.push_back('\n');
        }
    }
    return bytes;
}

void ScriptText::AppendEntryBytes(const std::string& key, const std::string& value, std::vector<uint8_t>* bytes)
{
    bytes->insert(bytes->end(), {'\r', '\n'});
    bytes->insert(bytes->end(), key.begin(), key.end());
    bytes->push_back(' ');
    bytes->insert(bytes->end(), value.begin(), value.end());
    bytes->insert(bytes->end(), {'\r', '\n'});
}

std::string ScriptText::FormatRecord(const ScriptRecord& record)
{
    std::string arq = record.arq;
    std::string nome = record.nome.empty() ? std::string("_") : record.nome;
    Retifica(&arq[0]);  // the terminator of an empty string is left alone
    Retifica(&nome[0]);
    std::string flags;
    flags += record.Grupo ? 'G' : 'X';
    flags += record.Ful ? 'F' : 'X';
    flags += record.Typ ? 'T' : 'X';
    flags += record.Min ? 'M' : 'X';
    return arq + " " + nome + " " + std::to_string(record.TamOrig) + " " + std::to_string(record.TamComp) + " " + flags;
}
