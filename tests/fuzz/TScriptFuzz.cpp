// Any bytes as the script file the setup program reads through its fixed
// buffers: every key and record must fit the 512-byte value buffer and the
// 64-byte title buffer (the sanitizer sees one byte too many), and a record
// must split into the fields the portable parser finds.
#include "FuzzCheck.h"
#include "Limits.h"
#include "ScratchFile.h"
#include "ScriptText.h"
#include "TScript.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = ScratchFile::Write(data, size, ".se");

    const ScriptText text = ScriptText::Parse(std::vector<uint8_t>(data, data + size));
    TScript script(path.c_str());
    // Heap buffers of the exact sizes, so that one byte more is seen.
    std::unique_ptr<char[]> value(new char[kPathSize]);
    std::unique_ptr<char[]> title(new char[kItemTitleSize]);
    for (const char* key : {kKeyDirOrig, kKeyDirDest, kKeyArqBmp, kKeyNomeGrupo, kKeyModosInstalacao}) {
        script.GetEntry(key, value.get());
        std::string expected;
        if (!text.Get(key, &expected))
            expected = "NULL";
        // A C string ends at its first zero byte, wherever the line went on.
        expected = expected.substr(0, std::min(expected.find('\0'), kPathSize - 1));
        Check(expected == value.get());
    }
    script.ZeraIndex();
    for (int i = 0; i < 10000; ++i) {
        script.LerArq(value.get());
        if (std::strcmp(value.get(), "NULL") == 0)
            break;
        ScriptRecord record;
        std::string error;
        if (!ScriptText::ParseRecord(value.get(), &record, &error))
            continue;  // the setup program ends here with the reason
        uint32_t tamOrig = 0;
        uint32_t tamComp = 0;
        int grupo = 0;
        int ful = 0;
        int typ = 0;
        int min = 0;
        script.LerCamposArq(value.get(), title.get(), &tamOrig, &tamComp, &grupo, &ful, &typ, &min);
        Check(record.arq == value.get() && record.nome == title.get());
        Check(tamOrig == record.TamOrig && tamComp == record.TamComp);
        Check(grupo == record.Grupo && ful == record.Ful && typ == record.Typ && min == record.Min);
    }
    return 0;
}
