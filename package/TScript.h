// The setup script "kelvo.se": key lines of 8-bit text, read and written by key.
//
//   #DIR_ORIG C:\Source\Folder\                     (ends with a backslash)
//   <empty line>
//   #DIR_DEST C:\Program Files\App\                 (may hold blanks)
//   ...                                             (one entry per key)
//   #ARQ0 <path> <item title> <size> <packed size> <GFTM flags>
//
// Lines end with CR LF on disk. A key is its line's first word (at most 31
// characters); the value is the rest of the line after one blank. Lines hold
// at most 511 characters; a longer one is read as several lines.
#pragma once

#include "ScriptText.h"
#include "Status.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class TListaDado;

class TScript {
public:
    // Keeps the caller's pointer: the name must outlive the object.
    explicit TScript(const char* _nomeArq);

    // ---- Ending forms, as the format fixes them ----------------------------
    // A script that exists but cannot be read, or cannot be written, ends
    // the program with the script's message.

    // The value of `entry` into value (512 bytes), or "NULL" when the file or
    // the key does not exist.
    void GetEntry(const char* entry, char* value);
    // Gives `entry` the value, creating the file if needed (uses "arq.tmp").
    void SetEntry(const char* entry, const char* value);

    // Each reads its key into a 512-byte buffer; absent keys read as empty
    // (the modes as "XXX").
    void LerDirOrig(char* nome);
    void LerDirDest(char* nome);
    void LerArqBMP(char* nome);
    void LerArqApresentacao(char* nome);
    void LerArqLicenca(char* nome);
    void LerArqMontagem(char* nome);
    void LerNomeGrupo(char* nome);
    void LerModosInstalacao(char* nome);

    void EscrDirOrig(const char* nome);
    void EscrDirDest(const char* nome);
    void EscrArqBMP(const char* nome);
    void EscrArqApresentacao(const char* nome);
    void EscrArqLicenca(const char* nome);
    void EscrArqMontagem(const char* nome);
    void EscrNomeGrupo(const char* nome);
    void EscrModosInstalacao(const char* nome);

    // The next record "#ARQ<n>" into a 512-byte buffer; "NULL" after the last.
    void LerArq(char* nome);
    // Writes `nome`, a complete record, as the next "#ARQ<n>".
    void EscrArq(const char* nome);
    // Reading starts again at "#ARQ0".
    void ZeraIndex();

    // Splits the record in `arq` (512 bytes): the path stays in arq, the item
    // title goes to nome (64 bytes), the sizes and flags to the rest. A record
    // that breaks the format's limits ends the program with a message.
    void LerCamposArq(char* arq, char* nome, uint32_t* TamOrig, uint32_t* TamComp, int* Grupo, int* Ful, int* Typ,
                      int* Min);

    // Reads every file record from the first (ZeraIndex, LerArq until
    // "NULL", LerCamposArq) and adds it to `lista`, its path shortened by its
    // first `cut` characters (empty when it is not longer than that).
    void LerRegistros(TListaDado* lista, size_t cut = 0);

    // ---- Reporting forms ---------------------------------------------------

    // LerRegistros, reporting instead: a script that exists but cannot be
    // read ("Can't read file in \"TScript\"!", kUnreadable), or a damaged
    // record (kDamaged). `lista` holds the records read before the failure.
    Status TryLerRegistros(TListaDado* lista, size_t cut = 0);
    // Reads the file now (a missing script is no failure), so that the
    // readers of single keys that follow cannot fail.
    Status Load();

private:
    // The script as last read, with the size and time the file had then and
    // the count of this process's script writes: a rewrite changes one of
    // them and the file is read again, so reading n keys costs one reading
    // of the file, not n.
    struct Cache {
        bool valid = false;
        uint64_t size = 0;
        int64_t modified = 0;
        uint32_t writes = 0;
        ScriptText text;
    };

    // The script as it is now on disk; nullptr when there is no such file.
    // A file that cannot be read ends the program.
    const ScriptText* Current();
    Status Refresh(const ScriptText** text);
    bool ReadAll(std::vector<uint8_t>* bytes) const;
    Status ReadFailure() const;
    // One record split into the buffers, or the reason it cannot be.
    Status SplitRecord(char* arq, char* nome, uint32_t* TamOrig, uint32_t* TamComp, int* Grupo, int* Ful, int* Typ,
                       int* Min) const;
    // Reads a key, an absent one as `absent`.
    void Read(const char* entry, char* nome, const char* absent);

    // Scripts rewritten by any TScript of this process. A rewrite may keep
    // the file's size and, on coarse clocks or file systems, its time stamp:
    // every cache compares this count too, so one object always sees
    // another's writes.
    static std::atomic<uint32_t> writes_;

    const char* nomeArq;
    int IndexLer = 0;
    int IndexEscr = 0;
    Cache cache;
};
