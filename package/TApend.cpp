#include "TApend.h"

#include "File.h"
#include "SetupLayout.h"
#include "Platform.h"
#include "Report.h"
#include "THuf.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUnreadablePackage[] = "Can't read \"Apendix File\"!";

Status Failure(Fault fault, const std::string& text)
{
    return Status::Failure(fault, text, "Error!");
}

}  // namespace

TApend::TApend(const char* _arqApend) : arqApend(_arqApend)
{
}

void TApend::IncluirFat(const char* nomeArq, uint32_t Tam)
{
    const Status status = TryIncluirFat(nomeArq, Tam);
    if (!status)
        FatalMessage(status);
}

void TApend::ExtrairArq(const char* nomeArq)
{
    const Status status = TryExtrairArq(nomeArq);
    if (!status)
        FatalMessage(status);
}

Status TApend::TryIncluirFat(const char* nomeArq, uint32_t Tam)
{
    const Status status = fat.TryAdArq(nomeArq, walk.Indice() + Tam, Tam);
    if (status)
        walk.Step(Tam);
    return status;
}

void TApend::LerFat(const char* nomeArq, uint64_t* indice, uint32_t* Tam) const
{
    *indice = fat.Indice(nomeArq);
    *Tam = fat.Tam(nomeArq);
}

Status TApend::OpenPackage()
{
    if (opened)
        return Status();
    if (!reader.OpenFile(arqApend))
        return Failure(Fault::kUnreadable, kUnreadablePackage);
    opened = true;
    return Status();
}

Status TApend::TryExtrairArq(const char* nomeArq, ProgressHook* hook, uint64_t expected, uint64_t* bytesOut)
{
    if (bytesOut != nullptr)
        *bytesOut = 0;
    Status status = OpenPackage();
    if (!status)
        return status;

    if (std::strcmp(nomeArq, layout::kScript) == 0) {
        status = reader.ReadTrailer();
        // A script the package cannot hold lies in front of the file.
        if (status.What() == Fault::kDamaged)
            return Failure(Fault::kDamaged, layout::PlacementProblem(layout::Placement::kBeforeFile, nomeArq));
        if (!status)
            return Failure(Fault::kUnreadable, kUnreadablePackage);
        status = TryIncluirFat(nomeArq, reader.ScriptSize());
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
    status = layout::LocateMember(reader.Bounds(), offset, nomeArq, &start);
    if (!status)
        return status;

    status = reader.ExtractTo(start, tam, expected, nomeArq, hook, bytesOut);
    const std::string name = nomeArq;
    switch (status.What()) {
    case Fault::kNone:
    case Fault::kCanceled:
        return status;
    case Fault::kCannotCreate:
        return Status::Failure(Fault::kCannotCreate, THuf::kCannotOpen, "Error!", kMbOk);
    case Fault::kCannotWrite:
        return Failure(Fault::kCannotWrite, "Can't write \"" + name + "\"!");
    case Fault::kDamaged:
        return Failure(Fault::kDamaged, "Can't decompress \"" + name + "\"!");
    default:
        return Failure(Fault::kUnreadable, kUnreadablePackage);
    }
}
