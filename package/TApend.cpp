#include "TApend.h"

#include "File.h"
#include "FileSink.h"
#include "SetupLayout.h"
#include "Platform.h"
#include "Report.h"
#include "THuf.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kTemp = layout::kMemberTemp;
constexpr size_t kBlock = size_t(1) << 16;

[[noreturn]] void Fail(const char* text)
{
    FatalMessage(text, "Error!");
}

Status Failure(Fault fault, const std::string& text)
{
    return Status::Failure(fault, text, "Error!");
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
    const Status status = Include(nomeArq, Tam);
    if (!status)
        FatalMessage(status);
}

Status TApend::Include(const char* nomeArq, uint32_t Tam)
{
    const Status status = fat.Add(nomeArq, Indice + Tam, Tam);
    if (status)
        Indice += Tam;
    return status;
}

void TApend::LerFat(const char* nomeArq, uint64_t* indice, uint32_t* Tam) const
{
    *indice = fat.Indice(nomeArq);
    *Tam = fat.Tam(nomeArq);
}

void TApend::ExtrairArq(const char* nomeArq)
{
    const Status status = Extract(nomeArq);
    if (!status)
        FatalMessage(status);
}

Status TApend::OpenPackage()
{
    if (opened)
        return Status();
    std::string error;
    if (!reader.OpenFile(arqApend, &error))
        return Failure(Fault::kUnreadable, "Can't read \"Apendix File\"!");
    opened = true;
    return Status();
}

Status TApend::Extract(const char* nomeArq, ProgressHook* hook, uint64_t* bytesOut)
{
    if (bytesOut != nullptr)
        *bytesOut = 0;
    Status status = OpenPackage();
    if (!status)
        return status;
    const layout::PackageBounds bounds = reader.Bounds();

    if (std::strcmp(nomeArq, layout::kScript) == 0) {
        uint8_t trailer[layout::kTrailerSize];
        if (bounds.end < sizeof trailer)
            return Failure(Fault::kDamaged, layout::PlacementProblem(layout::Placement::kBeforeFile, nomeArq));
        if (!reader.ReadAt(bounds.end - sizeof trailer, trailer, sizeof trailer))
            return Failure(Fault::kUnreadable, "Can't read \"Apendix File\"!");
        status = Include(nomeArq, layout::DecodeTrailer(trailer));
        if (!status)
            return status;
    }

    uint64_t offset = 0;
    uint32_t tam = 0;
    LerFat(nomeArq, &offset, &tam);
    if (offset == 0)
        return Status::Failure(Fault::kRefused, "Null offset! Can't read file in \"FAT\".", nomeArq);
    // Sizes that do not belong to this file must never yield wrong bytes.
    uint64_t start = 0;
    const layout::Placement placement = layout::PlaceMember(bounds, offset, &start);
    if (placement != layout::Placement::kInside)
        return Failure(Fault::kDamaged, layout::PlacementProblem(placement, nomeArq));

    File out(nomeArq, "wb");
    if (!out.IsOpen())
        return Status::Failure(Fault::kCannotCreate, "THuf", "Error!", kMbOk);
    FileSink sink(out);
    PackageReader::Decoded decoded;
    std::string error;
    const bool done = reader.Decode(start, tam, sink, &decoded, &error, hook);
    const bool closed = out.Close();
    if (done && closed && decoded.bytesIn == tam) {
        if (bytesOut != nullptr)
            *bytesOut = decoded.bytesOut;
        return Status();
    }
    // Half a file is no file: what could not be written completely goes.
    platform::RemoveFile(nomeArq);
    if (decoded.canceled)
        return Status::Canceled();
    if (!error.empty())
        return Failure(Fault::kUnreadable, "Can't read \"Apendix File\"!");
    if (done && closed)  // the member ends inside an item: damaged
        return Failure(Fault::kDamaged, "Can't decompress \"" + std::string(nomeArq) + "\"!");
    return Failure(Fault::kCannotWrite, "Can't write \"" + std::string(nomeArq) + "\"!");
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
