// The file records of a setup script, in memory, in the order of the script.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TListaDado {
public:
    struct SDado {
        std::string arq;   // the file's path
        std::string nome;  // its program item title, "_" for none
        uint32_t TamOrig = 0;
        uint32_t TamComp = 0;
        uint8_t GFTM = 0;  // 8 group item, 4 Full, 2 Typical, 1 Minimal
    };

    TListaDado() = default;

    // Appends a record; the strings are copied. Any non-zero flag sets it.
    void Add(const char* arq, const char* nome, uint32_t TamOrig, uint32_t TamComp, int Grupo, int Ful, int Typ,
             int Min);
    // Removes the record at position NumItem, counted from 1.
    void Del(int NumItem);
    int NDados() const;

    // Record NumDado, counted from 0; any other number ends the program. The
    // strings stay valid until that record is changed or removed.
    const char* Arq(int NumDado) const;
    const char* Nome(int NumDado) const;
    uint32_t TamOrig(int NumDado) const;
    uint32_t TamComp(int NumDado) const;
    int Grupo(int NumDado) const;
    int Ful(int NumDado) const;
    int Typ(int NumDado) const;
    int Min(int NumDado) const;

    void Nome(int NumDado, const char* nome);
    void TamOrig(int NumDado, uint32_t TamOrig);
    void TamComp(int NumDado, uint32_t TamComp);
    void Grupo(int NumDado, int Check);
    void Ful(int NumDado, int Check);
    void Typ(int NumDado, int Check);
    void Min(int NumDado, int Check);

    // Reports an invalid record number and ends the program.
    [[noreturn]] void Exit() const;

private:
    const SDado& At(int NumDado) const;  // ends the program on a bad number
    SDado& At(int NumDado);

    // Each record on the heap, so that adding or removing others never moves
    // the strings handed out.
    std::vector<std::unique_ptr<SDado>> sDado;
};
