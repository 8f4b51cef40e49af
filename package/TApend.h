// The package appended to the setup executable. Everything is found by
// counting backwards from the end of the file; nothing records where the
// executable's own image ends.
//
//   +----------------+----------+-----+------------+-----------+---------+
//   | program image  | member 0 | ... | member n-1 | script    | trailer |
//   | (and padding)  | C(0)     |     | C(n-1)     | S bytes   | 4 bytes |
//   +----------------+----------+-----+------------+-----------+---------+
//                                                              ^ L - 4
//   trailer = S, unsigned 32-bit little-endian
//   member k starts at L - (4 + S + C(k) + ... + C(n-1))
//
// L is the file's length, or, in a signed setup, the start of the
// certificate table that the PE header places at the end of the file. The
// members are LZSS streams (Lzss.h); their sizes C(k) come from the file
// records of the script, in record order.
#pragma once

#include "TFat.h"

#include <cstdint>

class TApend {
public:
    // Keeps the caller's pointer: the name must outlive the object.
    explicit TApend(const char* _arqApend);

    // Registers the member lying directly in front of all registered so far.
    void IncluirFat(const char* nomeArq, uint32_t Tam);
    // Offset and size of a registered member; 0 and 0 when unknown.
    void LerFat(const char* nomeArq, uint64_t* Indice, uint32_t* Tam) const;
    // Extracts a registered member, decompressed, into the file nomeArq under
    // the current folder ("kelvo.se" first registers the script from the
    // trailer). Any failure shows a message and ends the program.
    void ExtrairArq(const char* nomeArq);
    // Compresses nomeArq and appends it to the package file ("kelvo.se" also
    // appends the trailer). Returns the original and the compressed size,
    // valid until the next call.
    const uint32_t* IncluirArq(const char* nomeArq);

private:
    const char* arqApend;
    uint64_t Indice = 4;
    TFat fat;
    uint32_t sizes[2] = {0, 0};
};
