// Any bytes as a finished setup: opening it, placing its members and
// verifying every one of them must report what is wrong, never crash, hang
// or allocate by the sizes a damaged script claims.
#include "FuzzCheck.h"
#include "ScratchFile.h"
#include "SetupArchive.h"
#include "SetupCheck.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = ScratchFile::Write(data, size, ".exe");
    SetupArchive archive;
    std::string error;
    if (archive.Open(path, &error)) {
        // Every member found lies in front of the script, inside the file.
        for (const SetupArchive::Member& m : archive.Members()) {
            Check(!m.located || m.start + m.record.TamComp <= archive.Reader().ScriptStart());
        }
    } else if (error.empty()) {
        Check(false);  // a refusal always says why
    }
    CheckSetup(path);
    return 0;
}
