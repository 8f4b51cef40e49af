#include "SetupCheck.h"

#include "Codepage.h"
#include "Limits.h"
#include "NameRules.h"
#include "PackageIntegrity.h"
#include "SetupArchive.h"
#include "SetupLayout.h"

#include <map>
#include <utility>

namespace {

class CountingSink : public LzssDecoder::Sink {
public:
    bool Put(const uint8_t*, size_t) override { return true; }
};

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
    std::string Label(size_t k) const { return archive_.Label(k); }
    void CheckIntegrityRecord();
    void CheckSettings();
    void CheckDisplayRecords();
    void CheckNames();
    void CheckMembers();

    SetupCheckResult* result_;
    SetupArchive archive_;
};

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
    CheckIntegrityRecord();
    CheckSettings();
    if (archive_.Members().empty()) {
        Problem("the script holds no file record");
        return;
    }
    CheckDisplayRecords();
    CheckNames();
    CheckMembers();
}

void Checker::CheckIntegrityRecord()
{
    const IntegrityReport report = CheckIntegrity(archive_.Reader());
    result_->integrity = report.state;
    for (const std::string& part : report.damaged)
        Problem("damaged (its checksum does not match): " + part);
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
    // The group the setup starts with: one it can make and read back.
    const std::string group = archive_.Setting(kKeyNomeGrupo);
    const std::string why = group.empty() ? std::string() : names::WhyNotGroupName(group);
    if (!why.empty())
        Problem(std::string(kKeyNomeGrupo) + " " + Quote(group) + " " + codepage::AnsiToUtf8(why));
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
    // Start-up registers every record and extracts each display file from
    // the last record without flags that its key names (SetupArchive takes
    // the same plan), wherever that record lies and whatever else it
    // serves. Only a role that no record serves leaves the wizard without
    // its file.
    bool served[3] = {false, false, false};
    for (const SetupArchive::Member& m : archive_.Members()) {
        for (const int role : m.roles)
            served[role] = true;
    }
    for (int role = 0; role < 3; ++role) {
        const layout::DisplayRole& r = layout::kDisplayRoles[role];
        if (!archive_.HasSetting(r.key))
            Problem(std::string("the script has no ") + r.key + ": the setup shows no " + r.what);
        else if (!served[role])
            Problem(std::string(r.key) + " " + Quote(archive_.Setting(r.key)) +
                    " names no display record (a record without flags): the setup shows no " + r.what);
    }
}

void Checker::CheckNames()
{
    const std::vector<SetupArchive::Member>& members = archive_.Members();
    const std::string origin = archive_.Setting(kKeyDirOrig);
    const std::string offered = archive_.Setting(kKeyModosInstalacao);
    // The installer installs a mode's records under their paths less the
    // source folder's length, and refuses, before it writes anything, a
    // mode that would put two of them under one name; Windows names ignore
    // letter case.
    const struct {
        bool ScriptRecord::*flag;
        char letter;
        const char* what;
    } modes[3] = {{&ScriptRecord::Ful, 'F', "Full"},
                  {&ScriptRecord::Typ, 'T', "Typical"},
                  {&ScriptRecord::Min, 'M', "Minimal"}};
    std::map<std::string, size_t> installed[3];  // folded name -> first record, per mode
    struct Clash {
        std::string name;
        std::vector<std::string> modes;
    };
    std::map<std::pair<size_t, size_t>, Clash> clashes;  // (record, earlier record)
    for (size_t k = 0; k < members.size(); ++k) {
        const SetupArchive::Member& m = members[k];
        if (!m.parsed || !m.Flagged())
            continue;
        if (m.record.arq.size() <= origin.size()) {
            Problem(Label(k) + ": the path is not longer than " + kKeyDirOrig + " " + Quote(origin) +
                    ", which the setup cuts off it");
            continue;
        }
        const std::string& name = m.name;  // SetupArchive cut it as the installer does
        if (m.record.arq.compare(0, origin.size(), origin) != 0)
            Problem(Label(k) + ": the path does not begin with " + kKeyDirOrig + " " + Quote(origin));
        // The installer refuses all of these before it writes anything.
        const std::string why = names::WhyNotRecordPath(name);
        if (!why.empty())
            Problem(Label(k) + ": " + Quote(name) + " " + codepage::AnsiToUtf8(why));
        const bool inMode = m.record.Ful || m.record.Typ || m.record.Min;
        if (inMode && layout::IsReservedName(name))
            Problem(Label(k) + ": " + Quote(name) + " is a name the setup uses for itself");
        const std::string title = m.record.Grupo ? names::WhyNotItemTitle(m.record.nome) : std::string();
        if (!title.empty())
            Problem(Label(k) + ": the item title " + Quote(m.record.nome) + " " + codepage::AnsiToUtf8(title));
        for (size_t mode = 0; mode < 3; ++mode) {
            if (!(m.record.*modes[mode].flag) || offered.size() <= mode || offered[mode] != modes[mode].letter)
                continue;
            const auto [at, fresh] = installed[mode].emplace(layout::FoldCase(name), k);
            if (fresh)
                continue;
            Clash& clash = clashes[{k, at->second}];
            clash.name = name;
            clash.modes.push_back(modes[mode].what);
        }
    }
    for (const auto& [pair, clash] : clashes) {
        const bool exact = members[pair.second].name == clash.name;
        std::string modeList;
        for (size_t i = 0; i < clash.modes.size(); ++i)
            modeList += (i == 0 ? "" : i + 1 == clash.modes.size() ? " and " : ", ") + clash.modes[i];
        Problem(Label(pair.first) + ": the setup would install it under the same name as " + Label(pair.second) + ", " +
                Quote(clash.name) + (exact ? "" : " (letter case aside)") + ", and so refuses to install in the " +
                modeList + " mode" + (clash.modes.size() > 1 ? "s" : ""));
    }
}

void Checker::CheckMembers()
{
    std::vector<SetupArchive::Member>& members = archive_.Members();
    PackageReader& reader = archive_.Reader();
    // Members lie back to back, so the first is the one a program image
    // overlaps; the setup refuses to read any member from inside it.
    if (!members.empty() && members[0].located && members[0].placement == layout::Placement::kInImage)
        Problem("the first member begins at " + std::to_string(members[0].start) +
                ", inside the program image, which ends at " + std::to_string(reader.ImageEnd()));
    CountingSink sink;
    for (size_t k = 0; k < members.size(); ++k) {
        const SetupArchive::Member& m = members[k];
        if (!m.Inside())
            continue;
        PackageReader::Decoded decoded;
        const Status decodedStatus = reader.Decode(m.start, m.record.TamComp, sink, &decoded);
        if (!decodedStatus) {
            Problem(Label(k) + ": " + decodedStatus.Text());
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

SetupCheckResult CheckSetup(const std::string& path)
{
    SetupCheckResult result;
    Checker(&result).Run(path);
    return result;
}
