#include "TApend.h"

#include "File.h"
#include "PeImage.h"
#include "Platform.h"
#include "Report.h"
#include "THuf.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kScript[] = "kelvo.se";
const char kTemp[] = "arq.huf";
constexpr size_t kBlock = size_t(1) << 16;

[[noreturn]] void Fail(const char* text)
{
    FatalMessage(text, "Error!");
}

[[noreturn]] void Damaged(const char* nomeArq)
{
    const std::string text =
        "Damaged package: member \"" + std::string(nomeArq) + "\" lies outside the file.";
    FatalMessage(text.c_str(), "Error!");
}

// Copies size bytes from `from` (already positioned) to `to`, in blocks.
// Returns false for a short read; a failed write ends the program.
bool CopyBytes(File& from, File& to, uint64_t size, const char* writeMessage)
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

TApend::TApend(const char* _arqApend) : arqApend(_arqApend) {}

void TApend::IncluirFat(const char* nomeArq, uint32_t Tam)
{
    Indice += Tam;
    fat.AdArq(nomeArq, Indice, Tam);
}

void TApend::LerFat(const char* nomeArq, uint64_t* indice, uint32_t* Tam) const
{
    *indice = fat.Indice(nomeArq);
    *Tam = fat.Tam(nomeArq);
}

void TApend::ExtrairArq(const char* nomeArq)
{
    File package(arqApend, "rb");
    if (!package.IsOpen())
        Fail("Can't read \"Apendix File\"!");
    const int64_t size = package.Size();
    if (size < 0)
        Fail("Can't read \"Apendix File\"!");
    const PackageBounds bounds = FindPackageBounds(package, static_cast<uint64_t>(size));
    const uint64_t end = bounds.end;

    if (std::strcmp(nomeArq, kScript) == 0) {
        uint8_t trailer[4];
        if (end < sizeof trailer)
            Damaged(nomeArq);
        if (!package.Seek(static_cast<int64_t>(end - sizeof trailer), SEEK_SET) ||
            package.Read(trailer, sizeof trailer) != sizeof trailer)
            Fail("Can't read \"Apendix File\"!");
        const uint32_t scriptSize = static_cast<uint32_t>(trailer[0]) | (static_cast<uint32_t>(trailer[1]) << 8) |
                                    (static_cast<uint32_t>(trailer[2]) << 16) |
                                    (static_cast<uint32_t>(trailer[3]) << 24);
        IncluirFat(nomeArq, scriptSize);
    }

    uint64_t offset = 0;
    uint32_t tam = 0;
    LerFat(nomeArq, &offset, &tam);
    if (offset == 0)
        FatalMessage("Null offset! Can't read file in \"FAT\".", nomeArq);
    // A member that begins in front of the file's start means the sizes in
    // the script do not belong to this file: never extract wrong bytes.
    if (offset > end)
        Damaged(nomeArq);
    // Nor may it begin inside the program's own image: a program with no
    // package behind it would otherwise read its last bytes as one.
    if (end - offset < bounds.imageEnd) {
        const std::string text =
            "Damaged package: member \"" + std::string(nomeArq) + "\" lies inside the program itself.";
        FatalMessage(text.c_str(), "Error!");
    }
    if (!package.Seek(static_cast<int64_t>(end - offset), SEEK_SET))
        Fail("Can't read \"Apendix File\"!");

    File temp(kTemp, "wb");
    if (!temp.IsOpen())
        Fail("Can't write \"arq.huf\"!");
    if (!CopyBytes(package, temp, tam, "Can't write \"arq.huf\"!"))
        Fail("Can't read \"Apendix File\"!");
    if (!temp.Close())
        Fail("Can't write \"arq.huf\"!");
    package.Close();

    THuf huf(kTemp, nomeArq, 0);
    if (huf.Executar() == 0) {
        platform::RemoveFile(kTemp);
        Fail("Can't decompress \"arq.huf\"!");
    }
    platform::RemoveFile(kTemp);
}

const uint32_t* TApend::IncluirArq(const char* nomeArq)
{
    {
        THuf huf(nomeArq, kTemp, 1);
        if (huf.Executar() == 0) {
            platform::RemoveFile(kTemp);
            Fail("Can't compress \"arq.huf\"!");
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
        FatalMessage(text.c_str(), "Error!");
    }
    sizes[0] = originalSize < 0 ? 0 : static_cast<uint32_t>(originalSize);
    sizes[1] = compressedSize < 0 ? 0 : static_cast<uint32_t>(compressedSize);

    File package(arqApend, "ab");
    if (!package.IsOpen())
        Fail("Can't write \"Apendix File\"!");
    if (!temp.IsOpen())
        Fail("Can't read \"arq.huf\"!");
    if (!CopyBytes(temp, package, sizes[1], "Can't write \"Apendix File\"!"))
        Fail("Can't read \"arq.huf\"!");
    if (std::strcmp(nomeArq, kScript) == 0) {
        const uint8_t trailer[4] = {static_cast<uint8_t>(sizes[1]), static_cast<uint8_t>(sizes[1] >> 8),
                                    static_cast<uint8_t>(sizes[1] >> 16), static_cast<uint8_t>(sizes[1] >> 24)};
        if (!package.Write(trailer, sizeof trailer))
            Fail("Can't write \"Apendix File\"!");
    }
    if (!package.Close())
        Fail("Can't write \"Apendix File\"!");
    temp.Close();
    platform::RemoveFile(kTemp);
    return sizes;
}
