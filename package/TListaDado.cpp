#include "TListaDado.h"

#include "Report.h"

namespace {

constexpr uint8_t kGrupo = 8;
constexpr uint8_t kFul = 4;
constexpr uint8_t kTyp = 2;
constexpr uint8_t kMin = 1;

void SetFlag(uint8_t* flags, uint8_t bit, int check)
{
    if (check != 0)
        *flags = static_cast<uint8_t>(*flags | bit);
    else
        *flags = static_cast<uint8_t>(*flags & ~bit);
}

}  // namespace

void TListaDado::Add(const char* arq, const char* nome, uint32_t TamOrig, uint32_t TamComp, int Grupo, int Ful, int Typ,
                     int Min)
{
    auto dado = std::make_unique<SDado>();
    dado->arq = arq;
    dado->nome = nome;
    dado->TamOrig = TamOrig;
    dado->TamComp = TamComp;
    SetFlag(&dado->GFTM, kGrupo, Grupo);
    SetFlag(&dado->GFTM, kFul, Ful);
    SetFlag(&dado->GFTM, kTyp, Typ);
    SetFlag(&dado->GFTM, kMin, Min);
    sDado.push_back(std::move(dado));
}

void TListaDado::Del(int NumItem)
{
    if (NumItem < 1 || NumItem > NDados())
        Exit();
    sDado.erase(sDado.begin() + (NumItem - 1));
}

int TListaDado::NDados() const
{
    return static_cast<int>(sDado.size());
}

const TListaDado::SDado& TListaDado::At(int NumDado) const
{
    if (NumDado < 0 || NumDado >= NDados())
        Exit();
    return *sDado[static_cast<size_t>(NumDado)];
}

TListaDado::SDado& TListaDado::At(int NumDado)
{
    if (NumDado < 0 || NumDado >= NDados())
        Exit();
    return *sDado[static_cast<size_t>(NumDado)];
}

const char* TListaDado::Arq(int NumDado) const
{
    return At(NumDado).arq.c_str();
}

const char* TListaDado::Nome(int NumDado) const
{
    return At(NumDado).nome.c_str();
}

uint32_t TListaDado::TamOrig(int NumDado) const
{
    return At(NumDado).TamOrig;
}

uint32_t TListaDado::TamComp(int NumDado) const
{
    return At(NumDado).TamComp;
}

int TListaDado::Grupo(int NumDado) const
{
    return (At(NumDado).GFTM & kGrupo) != 0 ? 1 : 0;
}

int TListaDado::Ful(int NumDado) const
{
    return (At(NumDado).GFTM & kFul) != 0 ? 1 : 0;
}

int TListaDado::Typ(int NumDado) const
{
    return (At(NumDado).GFTM & kTyp) != 0 ? 1 : 0;
}

int TListaDado::Min(int NumDado) const
{
    return (At(NumDado).GFTM & kMin) != 0 ? 1 : 0;
}

void TListaDado::Nome(int NumDado, const char* nome)
{
    At(NumDado).nome = nome;
}

void TListaDado::TamOrig(int NumDado, uint32_t TamOrig)
{
    At(NumDado).TamOrig = TamOrig;
}

void TListaDado::TamComp(int NumDado, uint32_t TamComp)
{
    At(NumDado).TamComp = TamComp;
}

void TListaDado::Grupo(int NumDado, int Check)
{
    SetFlag(&At(NumDado).GFTM, kGrupo, Check);
}

void TListaDado::Ful(int NumDado, int Check)
{
    SetFlag(&At(NumDado).GFTM, kFul, Check);
}

void TListaDado::Typ(int NumDado, int Check)
{
    SetFlag(&At(NumDado).GFTM, kTyp, Check);
}

void TListaDado::Min(int NumDado, int Check)
{
    SetFlag(&At(NumDado).GFTM, kMin, Check);
}

void TListaDado::Exit() const
{
    FatalMessage("Invalid data number", "TListaDado", kMbOk);
}
