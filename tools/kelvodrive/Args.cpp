#include "Args.h"

#include "Failure.h"
#include "Text.h"

#include <cwchar>

namespace {

DriveCommandLine ParseArguments(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(ToUtf8(argv[i]));
    try {
        return DriveCommandLine::Parse(arguments);
    } catch (const DriveUsageError& error) {
        FailUsage(error.what());
    }
}

}  // namespace

Args::Args(int argc, wchar_t** argv) : line_(ParseArguments(argc, argv))
{
    for (const std::string& argument : line_.Rest())
        rest_.push_back(FromUtf8(argument));
}

std::wstring Args::Command() const
{
    return FromUtf8(line_.Command());
}

bool Args::Has(const wchar_t* name) const
{
    return line_.Has(ToUtf8(name));
}

std::wstring Args::Text(const wchar_t* name, const std::wstring& fallback) const
{
    return Has(name) ? FromUtf8(line_.Value(ToUtf8(name))) : fallback;
}

long long Args::Number(const wchar_t* name, long long fallback) const
{
    return Has(name) ? ParseNumber(Text(name), name) : fallback;
}

long long ParseNumber(const std::wstring& text, const wchar_t* what)
{
    const wchar_t* start = text.c_str();
    bool negative = *start == L'-';
    if (negative)
        ++start;
    int base = 10;
    if (start[0] == L'0' && (start[1] == L'x' || start[1] == L'X')) {
        base = 16;
        start += 2;
    }
    wchar_t* end = nullptr;
    unsigned long long value = std::wcstoull(start, &end, base);
    if (*start == L'\0' || *end != L'\0')
        FailUsage("option --" + ToUtf8(what) + " needs a number, not '" + ToUtf8(text) + "'");
    return negative ? -static_cast<long long>(value) : static_cast<long long>(value);
}
