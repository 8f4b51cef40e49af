#include "SetupCheck.h"

#include "Codepage.h"
#include "Limits.h"
#include "ProjectCheck.h"
#include "SetupArchive.h"
#include "SetupPlan.h"

#include <map>

namespace {

class CountingSink : public LzssDecoder::Sink {
public:
    bool Put(const uint8_t*, size_t) override { return true; }
};

// Names the installer itself uses in the destination folder, and the
// script's own entry in its file table.
const char* const kReservedNames[] = {"kelvo.se", "modo.se", "uninstall.s_", "arq.huf"};

std::string Quote(const std::string& ansi)
{
    return "\"" + codepage::AnsiToUtf8(ansi) + "\"";
}

class Checker {
public:
    explicit Checker(SetupCheckResult* result) : result_(result) {}

    void Run(const std::string& path);

private:
    void Problem(const std::string& text) { result_->problems.push_back(text); }
    std::string Label(size_t k) const;
    void CheckSettings();
    void CheckDisplayRecords();
    void CheckNames();
    void CheckMembers();

    SetupCheckResult* result_;
    SetupArchive archive_;
};

std::string Checker::Label(size_t k) const
{
    const SetupArchive::Member& m = archive_.Members()[k];
    return ScriptText::RecordKey(static_cast<int>(k)) + (m.parsed ? " (" + Quote(m.record.arq) + ")" : "");
}

void Checker::Run(const std::string& path)
{
    std::string error;
    if (!archive_.Open(path, &error)) {
        Problem(error);
        return;
    }
    for (const std::string& p : archive_.Problems())
        Problem(p);
    result_->members = archive_.Members().size();
    CheckSettings();
    if (archive_.Members().empty()) {
        Problem("the script holds no file record");
        return;
    }
    CheckDisplayRecords();
    CheckNames();
    CheckMembers();
}

void Checker::CheckSettings()
{
    const struct {
        const char* key;
        bool folder;
    } required[] = {{kKeyDirOrig, true}, {kKeyDirDest, true}, {kKeyNomeGrupo, false}};
    for (const auto& r : required) {
        const std::string value = archive_.Setting(r.key);
        if (!archive_.HasSetting(r.key) || value.empty())
            Problem(std::string("the script has no ") + r.key);
        else if (r.folder && value.back() != '\\')
            Problem(std::string(r.key) + " " + Quote(value) + " does not end with a backslash");
    }
    if (!archive_.HasSetting(kKeyModosInstalacao)) {
        Problem(std::string("the script has no ") + kKeyModosInstalacao + ": no mode is offered");
        return;
    }
    const std::string modes = archive_.Setting(kKeyModosInstalacao);
    if (modes.size() != 3 || (modes[0] != 'F' && modes[0] != 'X') || (modes[1] != 'T' && modes[1] != 'X') ||
        (modes[2] != 'M' && modes[2] != 'X'))
        Problem(std::string(kKeyModosInstalacao) + " \"" + modes + "\" is not three letters F/X, T/X, M/X");
    else if (modes == "XXX")
        Problem(std::string(kKeyModosInstalacao) + " offers no mode");
}

void Checker::CheckDisplayRecords()
{
    const std::vector<SetupArchive::Member>& members = archive_.Members();
    // The setup registers the display files walking back from the last
    // record, skipping without registering: a flagged record among them, or
    // one that no key names, puts every display file in front of it astray.
    size_t firstDisplay = members.size();
    for (size_t k = members.size(); k-- > 0;) {
        if (!members[k].parsed || members[k].Flagged())
            break;
        firstDisplay = k;
    }
    for (size_t k = 0; k < firstDisplay; ++k) {
        if (members[k].parsed && !members[k].Flagged())
            Problem(Label(k) + ": a display record (no flag) in front of installed records; display records must come last");
    }
    int named[3] = {-1, -1, -1};
    for (size_t k = firstDisplay; k < members.size(); ++k) {
        const SetupArchive::Member& m = members[k];
        int keys = 0;
        for (int role = 0; role < 3; ++role) {
            if (archive_.Setting(kDisplayRoles[role].key) == m.record.arq)
                ++keys;
        }
        if (keys == 0)
            Problem(Label(k) + ": a display record that no display key names");
        else if (keys > 1)
            Problem(Label(k) + ": named by more than one display key; the setup would register it twice");
        if (m.role >= 0) {
            if (named[m.role] >= 0)
                Problem(Label(k) + ": a second record for the " + kDisplayRoles[m.role].what +
                        "; the setup would register \"" + kDisplayRoles[m.role].name + "\" twice");
            named[m.role] = static_cast<int>(k);
        }
    }
    for (int role = 0; role < 3; ++role) {
        const char* key = kDisplayRoles[role].key;
        if (!archive_.HasSetting(key))
            Problem(std::string("the script has no ") + key + ": the setup shows no " + kDisplayRoles[role].what);
        else if (named[role] < 0)
            Problem(std::string(key) + " " + Quote(archive_.Setting(key)) + " names no display record at the end of the script");
    }
}

void Checker::CheckNames()
{
    const std::vector<SetupArchive::Member>& members = archive_.Members();
    const std::string origin = archive_.Setting(kKeyDirOrig);
    // The installer registers every record, under its path less the
    // source folder's length, in one table with the script.
    std::map<std::string, size_t> names;
    for (size_t k = 0; k < members.size(); ++k) {
        const SetupArchive::Member& m = members[k];
        if (!m.parsed)
            continue;
        if (m.record.arq.size() <= origin.size()) {
            Problem(Label(k) + ": the path is not longer than " + kKeyDirOrig + " " + Quote(origin) +
                    ", which the setup cuts off it");
            continue;
        }
        const std::string name = m.record.arq.substr(origin.size());
        if (m.Flagged()) {
            if (m.record.arq.compare(0, origin.size(), origin) != 0)
                Problem(Label(k) + ": the path does not begin with " + kKeyDirOrig + " " + Quote(origin));
            if (!IsContainedName(name))
                Problem(Label(k) + ": " + Quote(name) + " would be installed outside the destination folder");
            for (const char* reserved : kReservedNames) {
                if (FoldCase(name) == FoldCase(reserved))
                    Problem(Label(k) + ": " + Quote(name) + " is a name the setup uses for itself");
            }
        }
        if (name.size() > kMemberNameMax)
            Problem(Label(k) + ": the name " + Quote(name) + " is longer than the setup's file table holds (255)");
        if (name == "kelvo.se")
            Problem(Label(k) + ": the name \"kelvo.se\" is the script's own");
        const auto [at, fresh] = names.emplace(name, k);
        if (!fresh)
            Problem(Label(k) + ": the setup registers it under the same name as " + Label(at->second) + ", " +
                    Quote(name) + ", and stops");
    }
}

void Checker::CheckMembers()
{
    std::vector<SetupArchive::Member>& members = archive_.Members();
    PackageReader& reader = archive_.Reader();
    const uint64_t imageEnd = reader.ImageEnd();
    if (!members.empty() && members[0].located && members[0].start < imageEnd)
        Problem("the first member begins at " + std::to_string(members[0].start) +
                ", inside the program image, which ends at " + std::to_string(imageEnd));
    CountingSink sink;
    std::string error;
    for (size_t k = 0; k < members.size(); ++k) {
        const SetupArchive::Member& m = members[k];
        if (!m.located)
            continue;
        PackageReader::Decoded decoded;
        if (!reader.Decode(m.start, m.record.TamComp, sink, &decoded, &error)) {
            Problem(Label(k) + ": " + (error.empty() ? std::string("cannot be decoded") : error));
            continue;
        }
        result_->packedBytes += m.record.TamComp;
        result_->originalBytes += decoded.bytesOut;
        if (decoded.bytesIn != m.record.TamComp)
            Problem(Label(k) + ": the member ends in the middle of an item (" + std::to_string(decoded.bytesIn) +
                    " of " + std::to_string(m.record.TamComp) + " bytes decoded)");
        if (decoded.bytesOut != m.record.TamOrig)
            Problem(Label(k) + ": decodes to " + std::to_string(decoded.bytesOut) + " bytes, the record says " +
                    std::to_string(m.record.TamOrig));
    }
}

}  // namespace

bool IsContainedName(const std::string& name)
{
    if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos)
        return false;
    size_t start = 0;
    for (;;) {
        const size_t cut = name.find_first_of("\\/", start);
        const std::string part = name.substr(start, cut - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (cut == std::string::npos)
            return true;
        start = cut + 1;
    }
}

SetupCheckResult CheckSetup(const std::string& path)
{
    SetupCheckResult result;
    Checker(&result).Run(path);
    return result;
}
