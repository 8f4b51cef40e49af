#include "SetupArchive.h"

#include "Codepage.h"

std::string Slashed(std::string name)
{
    for (char& c : name) {
        if (c == '\\')
            c = '/';
    }
    return name;
}

std::vector<std::string> SetupArchive::Member::Names() const
{
    std::vector<std::string> names;
    if (!name.empty())
        names.push_back(name);
    names.insert(names.end(), copies.begin(), copies.end());
    return names;
}

bool SetupArchive::Open(const std::string& path, std::string* error)
{
    path_ = path;
    Status status = reader_.Open(path.c_str());
    std::vector<uint8_t> text;
    if (status)
        status = reader_.ReadScript(&text);
    if (!status) {
        *error = status.Text();
        return false;
    }
    scriptBytes_ = text.size();
    script_ = ScriptText::Parse(text);
    ReadRecords();
    PlanMembers();
    return true;
}

std::string SetupArchive::Setting(const char* key) const
{
    std::string value;
    return script_.Get(key, &value) ? value : std::string();
}

bool SetupArchive::HasSetting(const char* key) const
{
    std::string value;
    return script_.Get(key, &value);
}

std::string SetupArchive::Label(size_t k) const
{
    const Member& m = members_[k];
    return ScriptText::RecordKey(static_cast<int>(k)) +
           (m.parsed ? " (\"" + codepage::AnsiToUtf8(m.record.arq) + "\")" : std::string());
}

void SetupArchive::ReadRecords()
{
    for (std::string& value : script_.RecordValues()) {
        Member member;
        member.value = std::move(value);
        std::string error;
        member.parsed = ScriptText::ParseRecord(member.value, &member.record, &error);
        if (!member.parsed)
            problems_.push_back(ScriptText::RecordKey(static_cast<int>(members_.size())) + ": " + error);
        members_.push_back(std::move(member));
    }
}

void SetupArchive::PlanMembers()
{
    // A record that cannot be read hides the place of every member in front
    // of it; those nearer the end are still found.
    size_t first = 0;
    for (size_t k = members_.size(); k-- > 0;) {
        if (!members_[k].parsed) {
            first = k + 1;
            break;
        }
    }
    std::vector<layout::PlanRecord> records(members_.size());
    for (size_t k = 0; k < members_.size(); ++k) {
        const Member& m = members_[k];
        records[k] = {m.record.arq, !m.parsed || m.Flagged(), m.record.TamComp};
    }
    std::string rolePaths[3];
    for (int role = 0; role < 3; ++role)
        rolePaths[role] = Setting(layout::kDisplayRoles[role].key);
    const size_t cut = Setting(kKeyDirOrig).size();

    // Start-up's walk and the installer's register the same members in the
    // same order; only the names differ, and extract takes both kinds.
    std::vector<uint32_t> sizes(members_.size());
    for (size_t k = 0; k < members_.size(); ++k)
        sizes[k] = members_[k].record.TamComp;
    std::vector<layout::MemberPlace> places;
    const Status walked = layout::WalkMembers(reader_.Bounds(), reader_.ScriptSize(), sizes, &places, first);
    if (!walked)
        problems_.push_back(walked.Text());
    for (const layout::DisplayStep& step : layout::PlanDisplayFiles(records, rolePaths)) {
        Member& m = members_[step.record];
        if (!m.parsed)
            continue;
        if (step.extract) {
            m.name = step.member;
            m.copies = step.copies;
            m.roles = step.roles;
        } else if (m.Flagged()) {
            m.name = layout::InstalledName(m.record.arq, cut);
        }
        const layout::MemberPlace& place = places[step.record];
        m.indice = place.indice;
        m.start = place.start;
        m.placement = place.placement;
        m.located = place.walked && place.placement != layout::Placement::kBeforeFile;
    }
}
