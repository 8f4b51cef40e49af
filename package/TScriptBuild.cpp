// Writing scripts: only the builder links these.
#include "TScript.h"

#include "File.h"
#include "Platform.h"
#include "Report.h"
#include "SetupLayout.h"

#include <string>

namespace {

bool WriteAll(File* file, const std::vector<uint8_t>& bytes)
{
    const bool written = file->Write(bytes.data(), bytes.size());
    return file->Close() && written;
}

}  // namespace

void TScript::SetEntry(const char* entry, const char* value)
{
    cache.valid = false;
    if (!platform::FileExists(nomeArq)) {
        ScriptText text;
        text.Set(entry, value);
        File out(nomeArq, "wb");
        if (!out.IsOpen() || !WriteAll(&out, text.Bytes()))
            FatalMessage("Can't write file in \"TScript\"!", nomeArq);
        ++writes_;
        return;
    }

    const std::string tempFailure = std::string("Can't write \"") + layout::kScriptTemp + "\"!";
    File temp(layout::kScriptTemp, "wb");
    if (!temp.IsOpen())
        FatalMessage(tempFailure.c_str(), "Error!");
    std::vector<uint8_t> bytes;
    if (!ReadAll(&bytes))
        FatalMessage(ReadFailure());
    ScriptText text = ScriptText::Parse(bytes);
    text.Set(entry, value);
    if (!WriteAll(&temp, text.Bytes()))
        FatalMessage(tempFailure.c_str(), "Error!");

    // Should the new text not take the script's place, it stays in "arq.tmp"
    // rather than being thrown away, and the old script stays whole.
    if (!platform::RenameFile(layout::kScriptTemp, nomeArq))
        FatalMessage("Can't write file in \"TScript\"!", nomeArq);
    ++writes_;
}

void TScript::EscrDirOrig(const char* nome)
{
    SetEntry(kKeyDirOrig, nome);
}

void TScript::EscrDirDest(const char* nome)
{
    SetEntry(kKeyDirDest, nome);
}

void TScript::EscrArqBMP(const char* nome)
{
    SetEntry(kKeyArqBmp, nome);
}

void TScript::EscrArqApresentacao(const char* nome)
{
    SetEntry(kKeyArqApresentacao, nome);
}

void TScript::EscrArqLicenca(const char* nome)
{
    SetEntry(kKeyArqLicenca, nome);
}

void TScript::EscrArqMontagem(const char* nome)
{
    SetEntry(kKeyArqMontagem, nome);
}

void TScript::EscrNomeGrupo(const char* nome)
{
    SetEntry(kKeyNomeGrupo, nome);
}

void TScript::EscrModosInstalacao(const char* nome)
{
    SetEntry(kKeyModosInstalacao, nome);
}

void TScript::EscrArq(const char* nome)
{
    SetEntry(ScriptText::RecordKey(IndexEscr).c_str(), nome);
    ++IndexEscr;
}
