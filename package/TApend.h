// The package appended to the setup executable, as the setup program reads
// it (SetupLayout.h draws the layout): a file table that the caller fills
// by registering members backwards from the end, and extraction of a
// registered member into a file under the current folder.
#pragma once

#include "PackageReader.h"
#include "ProgressHook.h"
#include "SetupLayout.h"
#include "Status.h"
#include "TFat.h"

#include <cstdint>

class TApend {
public:
    // Keeps the caller's pointer: the name must outlive the object. The file
    // is opened by the first extraction and stays open with the object.
    explicit TApend(const char* _arqApend);

    // ---- Ending forms, as the format fixes them ----------------------------
    // Each shows the failure of its Try twin and ends the program.

    // Registers the member lying directly in front of all registered so far.
    void IncluirFat(const char* nomeArq, uint32_t Tam);
    // Extracts a registered member, decoded, into the file nomeArq under the
    // current folder ("kelvo.se" first registers the script from the
    // trailer).
    void ExtrairArq(const char* nomeArq);
    // Compresses nomeArq and appends it to the package file ("kelvo.se" also
    // appends the trailer). Returns the original and the compressed size,
    // valid until the next call. The builder's side: it has no twin.
    const uint32_t* IncluirArq(const char* nomeArq);

    // ---- Reporting forms ---------------------------------------------------

    // IncluirFat: a name registered twice, or one too long, is refused.
    Status TryIncluirFat(const char* nomeArq, uint32_t Tam);
    // ExtrairArq, with the messages the format gives it (a file that cannot
    // be created: THuf::kCannotOpen, kCannotCreate). The hook (if any) hears of every
    // block written and may cancel. The member must come out with
    // `expected` bytes unless that is PackageReader::kAnySize; *bytesOut (if
    // given) receives the bytes decoded, also on failure. A member that
    // cannot be written completely leaves no file.
    Status TryExtrairArq(const char* nomeArq, ProgressHook* hook = nullptr, uint64_t expected = PackageReader::kAnySize,
                         uint64_t* bytesOut = nullptr);

    // Offset and size of a registered member; 0 and 0 when unknown.
    void LerFat(const char* nomeArq, uint64_t* Indice, uint32_t* Tam) const;

private:
    Status OpenPackage();

    const char* arqApend;
    layout::MemberWalk walk;
    TFat fat;
    uint32_t sizes[2] = {0, 0};
    PackageReader reader;
    bool opened = false;
};
