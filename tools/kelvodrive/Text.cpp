#include "Text.h"

#include <windows.h>

namespace {

std::string Narrow(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

}  // namespace

std::string ToUtf8(const std::wstring& text)
{
    return Narrow(text, CP_UTF8);
}

std::string ToAnsi(const std::wstring& text)
{
    return Narrow(text, CP_ACP);
}

namespace {

std::wstring Widen(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &result[0], size);
    return result;
}

}  // namespace

std::wstring FromUtf8(const std::string& text)
{
    return Widen(text, CP_UTF8);
}

std::wstring FromAnsi(const std::string& text)
{
    return Widen(text, CP_ACP);
}

bool SameNoCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}
