#include "Codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace codepage {

namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of 1252 equals Latin-1.
constexpr uint16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool ToByte(uint32_t cp, char* out)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        *out = static_cast<char>(cp);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == cp) {
            *out = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

void AppendUtf8(uint32_t cp, std::string* out)
{
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Describe(uint32_t cp)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
    return text;
}

}  // namespace

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* error)
{
    ansi->clear();
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        int extra;
        uint32_t cp;
        if (lead < 0x80) {
            extra = 0;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            *error = "a byte that is no UTF-8";
            return false;
        }
        if (n - i <= static_cast<size_t>(extra)) {
            *error = "a UTF-8 sequence cut short";
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<uint8_t>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                *error = "a byte that is no UTF-8";
                return false;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        i += static_cast<size_t>(extra) + 1;
        char byte;
        if (!ToByte(cp, &byte)) {
            *error = "the character " + Describe(cp) + ", which code page 1252 cannot hold";
            return false;
        }
        *ansi += byte;
    }
    return true;
}

std::string AnsiCharacters(const std::string& utf8)
{
    std::string ansi;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 1;
        length = std::min(length, utf8.size() - i);
        std::string one;
        std::string error;
        if (Utf8ToAnsi(utf8.substr(i, length), &one, &error))
            ansi += one;
        i += length;
    }
    return ansi;
}

std::string AnsiToUtf8(const std::string& ansi)
{
    std::string out;
    out.reserve(ansi.size());
    for (const char c : ansi) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0)
            AppendUtf8(kHigh[byte - 0x80], &out);
        else
            AppendUtf8(byte, &out);
    }
    return out;
}

bool NativeToAnsi(const std::string& native, std::string* ansi, std::string* error)
{
#ifdef _WIN32
    (void)error;
    *ansi = native;
    return true;
#else
    return Utf8ToAnsi(native, ansi, error);
#endif
}

std::string AnsiToNative(const std::string& ansi)
{
#ifdef _WIN32
    return ansi;
#else
    return AnsiToUtf8(ansi);
#endif
}

}  // namespace codepage
