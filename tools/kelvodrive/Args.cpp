#include "Args.h"

#include "Failure.h"
#include "Text.h"

#include <cwchar>

Args::Args(int argc, wchar_t** argv) {
    if (argc < 2) FailUsage("no command given (try: kelvodrive help)");
    command_ = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--") {
            rest_.assign(argv + i + 1, argv + argc);
            break;
        }
        if (arg.size() < 3 || arg.compare(0, 2, L"--") != 0)
            FailUsage("unexpected argument '" + ToUtf8(arg) + "' (options are --name=value)");
        size_t eq = arg.find(L'=');
        std::wstring name = arg.substr(2, eq == std::wstring::npos ? std::wstring::npos : eq - 2);
        std::wstring value = eq == std::wstring::npos ? L"" : arg.substr(eq + 1);
        if (options_.count(name)) FailUsage("option --" + ToUtf8(name) + " given twice");
        options_[name] = value;
    }
}

bool Args::Has(const wchar_t* name) const { return options_.count(name) != 0; }

std::wstring Args::Text(const wchar_t* name, const std::wstring& fallback) const {
    auto it = options_.find(name);
    return it == options_.end() ? fallback : it->second;
}

long long Args::Number(const wchar_t* name, long long fallback) const {
    auto it = options_.find(name);
    if (it == options_.end()) return fallback;
    return ParseNumber(it->second, name);
}

void Args::Allow(const std::vector<const wchar_t*>& names) const {
    for (const auto& option : options_) {
        bool known = false;
        for (const wchar_t* name : names) known = known || option.first == name;
        if (!known)
            FailUsage("command '" + ToUtf8(command_) + "' has no option --" + ToUtf8(option.first));
    }
    if (!rest_.empty() && command_ != L"run")
        FailUsage("command '" + ToUtf8(command_) + "' takes nothing after --");
}

long long ParseNumber(const std::wstring& text, const wchar_t* what) {
    const wchar_t* start = text.c_str();
    bool negative = *start == L'-';
    if (negative) ++start;
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
