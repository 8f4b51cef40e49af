// Scratch folders and small file helpers for the kelvopack tests.
#pragma once

#include "FakePe.h"
#include "Lzss.h"
#include "TempDir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace packtest {

// A fresh temporary folder that stays out of the current folder.
class Scratch : public TempDir {
public:
    Scratch() : TempDir(false) {}
};

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline bool WriteText(const std::string& path, const std::string& text)
{
    return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    return ReadFile(path);
}

inline std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

inline bool Exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

inline bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// What a program run by RunProgram did.
struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& arg)
{
    std::string quoted = "'";
    for (const char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a program with the arguments in `cwd` (empty: this process's current
// folder), standard output and error captured through files in `dir`.
inline Result RunProgram(const std::string& program, const std::vector<std::string>& args, const Scratch& dir,
                         const std::string& cwd = "")
{
    std::string command = cwd.empty() ? Quote(program) : "cd " + Quote(cwd) + " && " + Quote(program);
    for (const std::string& a : args)
        command += " " + Quote(a);
    const std::string out = dir.Path(".out");
    const std::string err = dir.Path(".err");
    command += " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
    const int status = std::system(command.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
}

// A stand-in for the setup program that passes kelvopack's test of a stub.
inline bool WriteStub(const std::string& path, const std::string& level = "asInvoker")
{
    return WriteBytes(path, fakepe::SetupProgram(level));
}

// An uncompressed 8-bit Windows bitmap of width x height pixels with a grey
// colour table: one the setup shows without complaint when it fits.
inline std::vector<uint8_t> SmallBmp(int width, int height, int bits = 8)
{
    const auto put = [](std::vector<uint8_t>* out, uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k)
            out->push_back(static_cast<uint8_t>(value >> (8 * k)));
    };
    const uint32_t colours = bits <= 8 ? 1u << bits : 0;
    const uint32_t row = (static_cast<uint32_t>(width * bits) + 31) / 32 * 4;
    const uint32_t offset = 14 + 40 + 4 * colours;
    std::vector<uint8_t> bmp = {'B', 'M'};
    put(&bmp, offset + row * static_cast<uint32_t>(height), 4);
    put(&bmp, 0, 4);
    put(&bmp, offset, 4);
    for (const uint32_t v : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
        put(&bmp, v, 4);
    put(&bmp, 1, 2);
    put(&bmp, static_cast<uint32_t>(bits), 2);
    for (const uint32_t v : {0u, row * static_cast<uint32_t>(height), 2835u, 2835u, colours, 0u})
        put(&bmp, v, 4);
    for (uint32_t k = 0; k < colours; ++k)
        put(&bmp, (k * 255 / (colours - 1)) * 0x010101u, 4);
    for (int y = 0; y < height; ++y)
        for (uint32_t x = 0; x < row; ++x)
            bmp.push_back(static_cast<uint8_t>(x + static_cast<uint32_t>(y)));
    return bmp;
}

// A valid-looking project folder: three display files, an application with
// an item, and a documentation folder. Returns the project file's path.
inline std::string MakeProject(const Scratch& dir, const std::string& extra = std::string())
{
    WriteBytes(dir.Path("art/kelvo.bmp"), SmallBmp(16, 16, 4));
    WriteText(dir.Path("text/pres.txt"), "Welcome to the demo.\r\n");
    WriteText(dir.Path("text/licen.txt"), "You may use this program.\r\nNo warranty.\r\n");
    std::vector<uint8_t> app(70000);
    for (size_t i = 0; i < app.size(); ++i)
        app[i] = static_cast<uint8_t>((i * 7 + i / 100) & 0xFF);
    WriteBytes(dir.Path("bin/app.exe"), app);
    WriteText(dir.Path("docs/readme.txt"), "Read me.\r\n");
    WriteText(dir.Path("docs/guide/start here.txt"), "Start here.\r\n");
    WriteText(dir.Path("docs/guide/empty.txt"), "");
    WriteText(dir.Path("docs/.hidden"), "not packed");
    const std::string project = dir.Path("demo.toml");
    WriteText(project,
              "name = \"Demo App\"\n"
              "publisher = \"Kelvo Tests\"\n"
              "version = \"1.2.3\"\n"
              "destination = 'C:\\Program Files\\Demo App'\n"
              "modes = [\"full\", \"typical\"]\n"
              "bitmap = \"art/kelvo.bmp\"\n"
              "presentation = \"text/pres.txt\"\n"
              "agreement = \"text/licen.txt\"\n"
              "\n"
              "[[file]]\n"
              "source = \"bin/app.exe\"\n"
              "title = \"Demo App\"\n"
              "\n"
              "[[folder]]\n"
              "source = \"docs\"\n"
              "path = \"Docs\"\n"
              "modes = [\"full\"]\n" +
                  extra);
    return project;
}

// One file record of a setup made by hand: its path, its flags ("GFTM" with
// "X" for no), its bytes and its item title.
struct HandRecord {
    std::string arq;
    std::string flags;
    std::string bytes;
    std::string title = "_";
};

inline std::vector<uint8_t> Compressed(const std::string& bytes)
{
    std::vector<uint8_t> out(lzss::CompressBound(bytes.size()) + 1);
    out.resize(lzss::Compress(bytes.data(), bytes.size(), out.data(), out.size()));
    return out;
}

// A setup put together by hand, as the setup program reads one: `stub`,
// then the members back to back, the compressed script and the script's
// compressed size in four bytes, least significant first.
inline void PackByHand(const std::string& path, const std::string& script, const std::vector<std::string>& members,
                       const std::vector<uint8_t>& stub = {})
{
    std::vector<uint8_t> file = stub;
    for (const std::string& m : members) {
        const std::vector<uint8_t> packed = Compressed(m);
        file.insert(file.end(), packed.begin(), packed.end());
    }
    const std::vector<uint8_t> s = Compressed(script);
    file.insert(file.end(), s.begin(), s.end());
    for (int i = 0; i < 4; ++i)
        file.push_back(static_cast<uint8_t>(s.size() >> (8 * i)));
    WriteBytes(path, file);
}

// The same from records: `head` holds the settings, the records follow it
// with their sizes filled in (blanks of path and title written as "@").
inline void PackRecords(const std::string& path, const std::string& head, const std::vector<HandRecord>& records,
                        const std::vector<uint8_t>& stub = {})
{
    const auto stored = [](std::string text) {
        for (size_t i = 1; i < text.size(); ++i) {
            if (text[i] == ' ')
                text[i] = '@';
        }
        return text;
    };
    std::string script = head;
    std::vector<std::string> members;
    for (size_t k = 0; k < records.size(); ++k) {
        const HandRecord& r = records[k];
        script += "#ARQ" + std::to_string(k) + " " + stored(r.arq) + " " + stored(r.title) + " " +
                  std::to_string(r.bytes.size()) + " " + std::to_string(Compressed(r.bytes).size()) + " " + r.flags +
                  (k + 1 < records.size() ? "\r\n\r\n" : "\r\n");
        members.push_back(r.bytes);
    }
    PackByHand(path, script, members, stub);
}

}  // namespace packtest
