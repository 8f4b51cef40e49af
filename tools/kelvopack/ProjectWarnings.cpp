#include "ProjectWarnings.h"

#include "BmpImage.h"
#include "Codepage.h"
#include "File.h"
#include "SetupLayout.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace warnings {

namespace {

std::string Number(size_t n)
{
    return std::to_string(n);
}

// The line (from 1) that byte `at` of `text` lies on.
size_t LineOf(const std::vector<uint8_t>& text, size_t at)
{
    size_t line = 1;
    for (size_t i = 0; i < at && i < text.size(); ++i)
        line += text[i] == '\n' ? 1 : 0;
    return line;
}

// The length of the UTF-8 sequence that starts at `at`, 0 when none does
// (a stray continuation byte, a cut or overlong sequence, a surrogate).
size_t Utf8Sequence(const std::vector<uint8_t>& text, size_t at, uint32_t* cp)
{
    const uint8_t lead = text[at];
    size_t length;
    uint32_t value;
    if (lead < 0x80) {
        *cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((text[at + k] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (text[at + k] & 0x3Fu);
    }
    static const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *cp = value;
    return length;
}

std::string Slice(const std::vector<uint8_t>& text, size_t at, size_t length)
{
    return std::string(reinterpret_cast<const char*>(text.data()) + at, length);
}

std::string CodePoint(uint32_t cp)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
    return text;
}

std::string Hex(uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

}  // namespace

std::vector<std::string> BitmapWarnings(const std::vector<uint8_t>& bmp)
{
    std::vector<std::string> found;
    BmpImage image;
    if (!image.Parse(bmp.data(), bmp.size())) {
        found.push_back(std::string("the setup cannot read it (") + BmpImage::ErrorText(image.Fail()) +
                        "): it says \"Cannot open bitmap file\" at every start and shows no picture");
        return found;
    }
    if (image.ColorTable().empty())
        found.push_back("it has " + Number(static_cast<size_t>(image.BitCount())) +
                        " bits per pixel and no colour table: the setup says \"Dib has no color table, using "
                        "default palette\" at every start; save it with 256 colours or fewer");
    if (image.Width() > kBitmapMaxWidth)
        found.push_back("it is " + Number(static_cast<size_t>(image.Width())) + " pixels wide; the wizard has " +
                        Number(kBitmapMaxWidth) + " left of its pages, which cover the rest");
    if (image.Height() > kBitmapMaxHeight)
        found.push_back("it is " + Number(static_cast<size_t>(image.Height())) + " pixels tall; the wizard has " +
                        Number(kBitmapMaxHeight) + " above its button row, and the rest runs under it");
    return found;
}

std::vector<std::string> TextWarnings(const std::vector<uint8_t>& text)
{
    std::vector<std::string> found;
    const auto starts = [&text](std::initializer_list<uint8_t> bytes) {
        return text.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), text.begin());
    };
    const std::string save = "save it in code page 1252 (Windows-1252)";
    if (starts({0xFF, 0xFE}) || starts({0xFE, 0xFF})) {
        found.push_back("it is UTF-16 text, which the setup shows as 8-bit text, a NUL after every letter; " + save);
        return found;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == 0) {
            found.push_back("it holds a NUL byte (line " + Number(LineOf(text, i)) +
                            "), where the setup's text ends: is it UTF-16 text? " + save);
            return found;
        }
    }
    size_t from = 0;
    if (starts({0xEF, 0xBB, 0xBF})) {
        found.push_back("it begins with a UTF-8 byte order mark, which the setup shows as \"" +
                        codepage::AnsiToUtf8("\xEF\xBB\xBF") + "\"");
        from = 3;
    }

    // Text that is valid UTF-8 and not plain ASCII is almost surely UTF-8.
    bool utf8 = true;
    size_t wide = 0;                          // characters of more than one byte
    size_t firstWide = 0;                     // where the first lies
    size_t firstForeign = std::string::npos;  // the first that 1252 cannot write
    uint32_t foreign = 0;
    for (size_t i = from; i < text.size() && utf8;) {
        uint32_t cp = 0;
        const size_t length = Utf8Sequence(text, i, &cp);
        if (length == 0) {
            utf8 = false;
            break;
        }
        if (length > 1) {
            if (wide++ == 0)
                firstWide = i;
            std::string ansi;
            std::string error;
            if (firstForeign == std::string::npos && !codepage::Utf8ToAnsi(Slice(text, i, length), &ansi, &error)) {
                firstForeign = i;
                foreign = cp;
            }
        }
        i += length;
    }
    if (utf8 && wide > 0) {
        uint32_t cp = 0;
        const size_t length = Utf8Sequence(text, firstWide, &cp);
        const std::string character = Slice(text, firstWide, length);
        std::string warning = "it is UTF-8 text: the setup shows its " + Number(wide) +
                              " characters beyond ASCII as code page 1252, \"" + character + "\" (line " +
                              Number(LineOf(text, firstWide)) + ") as \"" + codepage::AnsiToUtf8(character) + "\"; " +
                              save;
        if (firstForeign != std::string::npos)
            warning += ", where " + CodePoint(foreign) + " (line " + Number(LineOf(text, firstForeign)) +
                       ") has no form";
        found.push_back(warning);
        return found;
    }
    if (!utf8) {
        // Code page 1252 text, as it should be; only five bytes mean nothing in it.
        for (size_t i = from; i < text.size(); ++i) {
            const uint8_t b = text[i];
            if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
                found.push_back("it holds the byte " + Hex(b) + " (line " + Number(LineOf(text, i)) +
                                "), which code page 1252 leaves undefined: is it in another code page? " + save);
                break;
            }
        }
    }
    return found;
}

}  // namespace warnings

std::vector<std::string> ProjectWarnings(const Project& project)
{
    std::vector<std::string> found;
    std::string ansi;
    std::string error;
    if (!codepage::Utf8ToAnsi(project.name, &ansi, &error)) {
        const bool groupFromName = project.groupOrigin.line == project.nameOrigin.line &&
                                   project.groupOrigin.column == project.nameOrigin.column;
        found.push_back(
            project.nameOrigin.Where() + ": \"name\" \"" + project.name + "\" holds " + error +
            (project.nameAnsi.empty()
                 ? "; the setup shows the program group's name \"" + codepage::AnsiToUtf8(project.group) + "\" instead"
                 : "; the setup shows it as \"" + codepage::AnsiToUtf8(project.nameAnsi) + "\"" +
                       (groupFromName ? ", and names the program group so" : "")));
    }
    const auto read = [](const std::string& path, std::vector<uint8_t>* bytes) {
        File file(path.c_str(), "rb");
        if (!file.IsOpen())
            return false;
        uint8_t buffer[65536];
        size_t got;
        while ((got = file.Read(buffer, sizeof buffer)) > 0)
            bytes->insert(bytes->end(), buffer, buffer + got);
        return !file.Failed();
    };
    // In the order of layout::kDisplayRoles, whose words name them.
    const DisplayFile* display[3] = {&project.bitmap, &project.presentation, &project.agreement};
    for (int role = 0; role < 3; ++role) {
        const DisplayFile& file = *display[role];
        std::vector<uint8_t> bytes;
        if (!read(file.source, &bytes))
            continue;  // CheckProject has read it already; a file that vanished since fails the build
        const std::vector<std::string> lines = &file == &project.bitmap ? warnings::BitmapWarnings(bytes)
                                                                        : warnings::TextWarnings(bytes);
        for (const std::string& line : lines)
            found.push_back(file.origin.Where() + ": the " + layout::kDisplayRoles[role].what + " \"" + file.source +
                            "\": " + line);
    }
    return found;
}
