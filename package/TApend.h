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

    // Registers the member lying directly in front of all registered so far.
    // A name registered twice ends the program with the table's message.
    void IncluirFat(const char* nomeArq, uint32_t Tam);
    // The same, reporting instead.
    Status Include(const char* nomeArq, uint32_t Tam);
    // Offset and size of a registered member; 0 and 0 when unknown.
    void LerFat(const char* nomeArq, uint64_t* Indice, uint32_t* Tam) const;

    // Extracts a registered member, decompressed, into the file nomeArq under
    // the current folder ("kelvo.se" first registers the script from the
    // trailer). Any failure shows a message and ends the program.
    void ExtrairArq(const char* nomeArq);
    // The same, reporting instead: the hook (if any) hears of every block
    // written and may cancel. *bytesOut (if given) receives the bytes
    // written. A member that cannot be written completely leaves no file.
    Status Extract(const char* nomeArq, ProgressHook* hook = nullptr, uint64_t* bytesOut = nullptr);

    // Compresses nomeArq and appends it to the package file ("kelvo.se" also
    // appends the trailer). Returns the original and the compressed size,
    // valid until the next call.
    const uint32_t* IncluirArq(const char* nomeArq);

private:
    Status OpenPackage();

    const char* arqApend;
    uint64_t Indice = layout::kTrailerSize;
    TFat fat;
    uint32_t sizes[2] = {0, 0};
    PackageReader reader;
    bool opened = false;
};
