// The package's file table, in memory only: member name, offset from the end
// of the package file, compressed size. Names are unique, compared exactly.
#pragma once

#include "Status.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class TFat {
public:
    struct SFat {
        std::string Arq;      // member name, at most 255 characters
        uint64_t Indice = 0;  // distance from the end of the file to its first byte
        uint32_t Tam = 0;     // compressed size
    };

    TFat() = default;

    // ---- Ending form, as the format fixes it --------------------------------

    // Appends an entry; a name already present ends the program with the
    // table's message, as does a name over 255 characters.
    void AdArq(const char* nomeArq, uint64_t Indice, uint32_t Tam);

    // ---- Reporting forms ---------------------------------------------------

    // AdArq, refusing (kRefused) instead: nothing is added then.
    Status TryAdArq(const char* nomeArq, uint64_t Indice, uint32_t Tam);
    // Offset and size of the entry of that name; 0 when there is none.
    uint64_t Indice(const char* nomeArq) const;
    uint32_t Tam(const char* nomeArq) const;
    int NumArq() const { return static_cast<int>(fat.size()); }

private:
    const SFat* Find(const char* nomeArq) const;

    std::vector<SFat> fat;
    std::unordered_map<std::string, size_t> index;  // name -> position in fat
};
