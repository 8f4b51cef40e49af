// One line of output: space-separated key=value tokens. Numbers are bare;
// texts are always in double quotes, UTF-8, with \\ \" \n \r \t and \xHH
// escapes for the characters that would break the line.
#pragma once

#include <string>

class OutputLine {
public:
    OutputLine& Number(const char* key, long long value);
    OutputLine& Hex(const char* key, unsigned long long value);
    OutputLine& Flag(const char* key, bool value) { return Number(key, value ? 1 : 0); }
    OutputLine& Word(const char* key, const std::string& value);
    OutputLine& Text(const char* key, const std::wstring& value);
    // Writes the line to standard output and flushes it, so that a reader of
    // a redirected output file sees it at once.
    void Print();

private:
    void Key(const char* key);
    std::string line_;
};

// Switches the standard streams to binary: lines end in a plain line feed.
void PrepareOutput();
