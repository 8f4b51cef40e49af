// Command-line arguments of one kelvodrive invocation:
//   kelvodrive <command> [--name=value | --flag]... [-- program [argument]...]
// Options always carry their value after '=', so a value may start with "--".
#pragma once

#include <map>
#include <string>
#include <vector>

class Args {
public:
    Args(int argc, wchar_t** argv);

    const std::wstring& Command() const { return command_; }
    bool Has(const wchar_t* name) const;
    std::wstring Text(const wchar_t* name, const std::wstring& fallback = L"") const;
    // Decimal, or hexadecimal with a 0x prefix; an optional leading minus.
    long long Number(const wchar_t* name, long long fallback) const;
    // Everything after a bare "--".
    const std::vector<std::wstring>& Rest() const { return rest_; }

    // Rejects any option that the command does not know, so that a typo in a
    // test fails loudly instead of being ignored.
    void Allow(const std::vector<const wchar_t*>& names) const;

private:
    std::wstring command_;
    std::map<std::wstring, std::wstring> options_;
    std::vector<std::wstring> rest_;
};

// Parses a number as Args::Number does; throws a usage error when malformed.
long long ParseNumber(const std::wstring& text, const wchar_t* what);
