// Any bytes as a setup script: parsing, reading every key and record,
// changing entries and writing the text back must stay inside their buffers,
// and a record that parses must come back unchanged through its formatter.
#include "FuzzCheck.h"
#include "ScriptText.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ScriptText script = ScriptText::Parse(std::vector<uint8_t>(data, data + size));
    std::string value;
    std::string error;
    for (int i = 0;; ++i) {
        if (!script.Get(ScriptText::RecordKey(i).c_str(), &value))
            break;
        ScriptRecord record;
        if (ScriptText::ParseRecord(value, &record, &error)) {
            ScriptRecord again;
            Check(ScriptText::ParseRecord(ScriptText::FormatRecord(record), &again, &error));
            Check(ScriptText::FormatRecord(again) == ScriptText::FormatRecord(record));
        }
    }
    for (const char* key : {"#DIR_ORIG", "#DIR_DEST", "#DIR_NOME_GRUPO", "#DIR_MODOS_INSTALACAO"}) {
        script.Get(key, &value);
        if (ScriptText::CheckEntry(key, value, &error))
            script.Set(key, value);
    }
    script.Set("#ARQ0", "");
    const std::vector<uint8_t> bytes = script.Bytes();
    ScriptText::Parse(bytes);
    return 0;
}
