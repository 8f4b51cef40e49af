// The options of one kelvodrive invocation, as its commands read them: the
// parsed command line (DriveCommandLine.h) in the UTF-16 of the Windows
// interfaces. Only the options a command declares reach it.
#pragma once

#include "DriveCommandLine.h"

#include <string>
#include <vector>

class Args {
public:
    // Throws a usage Failure for a command line kelvodrive cannot take.
    Args(int argc, wchar_t** argv);

    std::wstring Command() const;
    bool Has(const wchar_t* name) const;
    std::wstring Text(const wchar_t* name, const std::wstring& fallback = L"") const;
    // Decimal, or hexadecimal with a 0x prefix; an optional leading minus.
    long long Number(const wchar_t* name, long long fallback) const;
    // Everything after a bare "--".
    const std::vector<std::wstring>& Rest() const { return rest_; }

private:
    DriveCommandLine line_;
    std::vector<std::wstring> rest_;
};

// Parses a number as Args::Number does; throws a usage error when malformed.
long long ParseNumber(const std::wstring& text, const wchar_t* what);
