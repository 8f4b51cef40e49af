#include "OutputLine.h"

#include "Text.h"

#include <fcntl.h>
#include <io.h>

#include <cinttypes>
#include <cstdio>

void OutputLine::Key(const char* key)
{
    if (!line_.empty())
        line_ += ' ';
    line_ += key;
    line_ += '=';
}

OutputLine& OutputLine::Number(const char* key, long long value)
{
    Key(key);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", value);
    line_ += buffer;
    return *this;
}

OutputLine& OutputLine::Hex(const char* key, unsigned long long value)
{
    Key(key);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx", value);
    line_ += buffer;
    return *this;
}

OutputLine& OutputLine::Word(const char* key, const std::string& value)
{
    Key(key);
    line_ += value;
    return *this;
}

OutputLine& OutputLine::Text(const char* key, const std::wstring& value)
{
    Key(key);
    line_ += '"';
    for (unsigned char c : ToUtf8(value)) {
        switch (c) {
        case '\\':
            line_ += "\\\\";
            break;
        case '"':
            line_ += "\\\"";
            break;
        case '\n':
            line_ += "\\n";
            break;
        case '\r':
            line_ += "\\r";
            break;
        case '\t':
            line_ += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
                line_ += buffer;
            } else {
                line_ += static_cast<char>(c);
            }
        }
    }
    line_ += '"';
    return *this;
}

void OutputLine::Print()
{
    line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), stdout);
    std::fflush(stdout);
    line_.clear();
}

void PrepareOutput()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
