#include "TScript.h"

#include "File.h"
#include "Limits.h"
#include "Platform.h"
#include "Report.h"
#include "SetupLayout.h"
#include "TListaDado.h"

#include <atomic>
#include <cstring>
#include <string>

namespace {

// Copies text into a buffer of `size` bytes, cut to fit.
void CopyOut(char* buffer, const std::string& text, size_t size)
{
    const size_t length = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace

std::atomic<uint32_t> TScript::writes_{0};

TScript::TScript(const char* _nomeArq) : nomeArq(_nomeArq)
{
}

bool TScript::ReadAll(std::vector<uint8_t>* bytes) const
{
    bytes->clear();
    File in(nomeArq, "rb");
    return in.IsOpen() && in.ReadRest(bytes);
}

Status TScript::ReadFailure() const
{
    return Status::Failure(Fault::kUnreadable, "Can't read file in \"TScript\"!", nomeArq);
}

Status TScript::Refresh(const ScriptText** text)
{
    *text = nullptr;
    uint64_t size = 0;
    int64_t modified = 0;
    if (!platform::FileExists(nomeArq) || !platform::FileStamp(nomeArq, &size, &modified)) {
        cache.valid = false;
        return Status();
    }
    const uint32_t writes = writes_.load();
    if (!cache.valid || cache.size != size || cache.modified != modified || cache.writes != writes) {
        // The stamps are taken first: a change while reading is noticed next time.
        std::vector<uint8_t> bytes;
        if (!ReadAll(&bytes)) {
            cache.valid = false;
            return ReadFailure();
        }
        cache.text = ScriptText::Parse(bytes);
        cache.size = size;
        cache.modified = modified;
        cache.writes = writes;
        cache.valid = true;
    }
    *text = &cache.text;
    return Status();
}

const ScriptText* TScript::Current()
{
    const ScriptText* text = nullptr;
    const Status status = Refresh(&text);
    if (!status)
        FatalMessage(status);
    return text;
}

Status TScript::Load()
{
    const ScriptText* text = nullptr;
    return Refresh(&text);
}

void TScript::GetEntry(const char* entry, char* value)
{
    const ScriptText* text = Current();
    std::string found;
    if (text == nullptr || !text->Get(entry, &found))
        found = "NULL";
    CopyOut(value, found, kPathSize);
}

void TScript::Read(const char* entry, char* nome, const char* absent)
{
    GetEntry(entry, nome);
    if (std::strcmp(nome, "NULL") == 0)
        std::strcpy(nome, absent);
}

void TScript::LerDirOrig(char* nome)
{
    Read(kKeyDirOrig, nome, "");
}

void TScript::LerDirDest(char* nome)
{
    Read(kKeyDirDest, nome, "");
}

void TScript::LerArqBMP(char* nome)
{
    Read(kKeyArqBmp, nome, "");
}

void TScript::LerArqApresentacao(char* nome)
{
    Read(kKeyArqApresentacao, nome, "");
}

void TScript::LerArqLicenca(char* nome)
{
    Read(kKeyArqLicenca, nome, "");
}

void TScript::LerArqMontagem(char* nome)
{
    Read(kKeyArqMontagem, nome, "");
}

void TScript::LerNomeGrupo(char* nome)
{
    Read(kKeyNomeGrupo, nome, "");
}

void TScript::LerModosInstalacao(char* nome)
{
    Read(kKeyModosInstalacao, nome, "XXX");
}

void TScript::LerArq(char* nome)
{
    GetEntry(ScriptText::RecordKey(IndexLer).c_str(), nome);
    ++IndexLer;
}

void TScript::ZeraIndex()
{
    IndexLer = 0;
}

void TScript::LerCamposArq(char* arq, char* nome, uint32_t* TamOrig, uint32_t* TamComp, int* Grupo, int* Ful, int* Typ,
                           int* Min)
{
    const Status status = SplitRecord(arq, nome, TamOrig, TamComp, Grupo, Ful, Typ, Min);
    if (!status)
        FatalMessage(status);
}

Status TScript::SplitRecord(char* arq, char* nome, uint32_t* TamOrig, uint32_t* TamComp, int* Grupo, int* Ful, int* Typ,
                            int* Min) const
{
    size_t length = 0;
    while (length < kScriptLineMax && arq[length] != '\0')
        ++length;
    const std::string value(arq, length);

    ScriptRecord record;
    std::string error;
    if (!ScriptText::ParseRecord(value, &record, &error))
        return Status::Failure(Fault::kDamaged, "Damaged setup script: " + error + ".", nomeArq);
    CopyOut(arq, record.arq, kPathSize);
    CopyOut(nome, record.nome, kItemTitleSize);
    *TamOrig = record.TamOrig;
    *TamComp = record.TamComp;
    *Grupo = record.Grupo ? 1 : 0;
    *Ful = record.Ful ? 1 : 0;
    *Typ = record.Typ ? 1 : 0;
    *Min = record.Min ? 1 : 0;
    return Status();
}

void TScript::LerRegistros(TListaDado* lista, size_t cut)
{
    const Status status = TryLerRegistros(lista, cut);
    if (!status)
        FatalMessage(status);
}

Status TScript::TryLerRegistros(TListaDado* lista, size_t cut)
{
    const Status loaded = Load();
    if (!loaded)
        return loaded;
    ZeraIndex();
    for (;;) {
        char arq[kPathSize];
        char nome[kItemTitleSize];
        uint32_t tamOrig = 0;
        uint32_t tamComp = 0;
        int grupo = 0;
        int ful = 0;
        int typ = 0;
        int min = 0;
        LerArq(arq);
        if (std::strcmp(arq, "NULL") == 0)
            return Status();
        const Status status = SplitRecord(arq, nome, &tamOrig, &tamComp, &grupo, &ful, &typ, &min);
        if (!status)
            return status;
        // A path no longer than the cut has no name: the installer refuses it.
        const std::string path = cut == 0 ? std::string(arq) : layout::InstalledName(arq, cut);
        lista->Add(path.c_str(), nome, tamOrig, tamComp, grupo, ful, typ, min);
    }
}
