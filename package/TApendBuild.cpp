// The builder's side of TApend: a member compressed and appended to the
// package file. Apart from the reading side, so that the setup program,
// which only reads, does not carry the coder.
#include "TApend.h"

#include "File.h"
#include "Platform.h"
#include "Report.h"
#include "SetupLayout.h"
#include "THuf.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kTemp = layout::kMemberTemp;
constexpr size_t kBlock = size_t(1) << 16;

[[noreturn]] void Fail(const std::string& text)
{
    FatalMessage(text.c_str(), "Error!");
}

// "Can't <verb> "arq.huf"!"
std::string TempMessage(const char* verb)
{
    return std::string("Can't ") + verb + " \"" + kTemp + "\"!";
}

// Copies size bytes from `from` (already positioned) to `to`, in blocks.
// Returns false for a short read; a failed write ends the program.
bool CopyBytes(File& from, File& to, uint64_t size, const std::string& writeMessage)
{
    std::vector<uint8_t> block(kBlock);
    while (size > 0) {
        const size_t want = size < block.size() ? static_cast<size_t>(size) : block.size();
        if (from.Read(block.data(), want) != want)
            return false;
        if (!to.Write(block.data(), want))
            Fail(writeMessage);
        size -= want;
    }
    return true;
}

}  // namespace

const uint32_t* TApend::IncluirArq(const char* nomeArq)
{
    {
        THuf huf(nomeArq, kTemp, 1);
        if (huf.Executar() == 0) {
            platform::RemoveFile(kTemp);
            Fail(TempMessage("compress"));
        }
    }
    File original(nomeArq, "rb");
    File temp(kTemp, "rb");
    const int64_t originalSize = original.IsOpen() ? original.Size() : -1;
    const int64_t compressedSize = temp.IsOpen() ? temp.Size() : -1;
    original.Close();
    if (originalSize > UINT32_MAX || compressedSize > UINT32_MAX) {
        platform::RemoveFile(kTemp);
        const std::string text = "File too large for a package (sizes are 32-bit): \"" + std::string(nomeArq) + "\".";
        Fail(text);
    }
    sizes[0] = originalSize < 0 ? 0 : static_cast<uint32_t>(originalSize);
    sizes[1] = compressedSize < 0 ? 0 : static_cast<uint32_t>(compressedSize);

    File package(arqApend, "ab");
    if (!package.IsOpen())
        Fail("Can't write \"Apendix File\"!");
    if (!temp.IsOpen())
        Fail(TempMessage("read"));
    if (!CopyBytes(temp, package, sizes[1], "Can't write \"Apendix File\"!"))
        Fail(TempMessage("read"));
    if (std::strcmp(nomeArq, layout::kScript) == 0) {
        uint8_t trailer[layout::kTrailerSize];
        layout::EncodeTrailer(sizes[1], trailer);
        if (!package.Write(trailer, sizeof trailer))
            Fail("Can't write \"Apendix File\"!");
    }
    if (!package.Close())
        Fail("Can't write \"Apendix File\"!");
    temp.Close();
    platform::RemoveFile(kTemp);
    return sizes;
}
