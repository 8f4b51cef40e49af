#include "SetupArchive.h"

#include "SetupPlan.h"

std::string Slashed(std::string name)
{
    for (char& c : name) {
        if (c == '\\')
            c = '/';
    }
    return name;
}

bool SetupArchive::Open(const std::string& path, std::string* error)
{
    path_ = path;
    if (!reader_.Open(path.c_str(), error))
        return false;
    std::vector<uint8_t> text;
    if (!reader_.ReadScript(&text, error))
        return false;
    scriptBytes_ = text.size();
    script_ = ScriptText::Parse(text);
    ReadRecords();
    MatchRoles();
    LocateMembers();
    NameMembers();
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

void SetupArchive::ReadRecords()
{
    // As the setup reads them: from "#ARQ0" up to the first gap, "NULL" ending them too.
    for (int k = 0;; ++k) {
        Member member;
        if (!script_.Get(ScriptText::RecordKey(k).c_str(), &member.value) || member.value == "NULL")
            break;
        std::string error;
        member.parsed = ScriptText::ParseRecord(member.value, &member.record, &error);
        if (!member.parsed)
            problems_.push_back(ScriptText::RecordKey(k) + ": " + error);
        members_.push_back(member);
    }
}

void SetupArchive::MatchRoles()
{
    for (Member& member : members_) {
        if (!member.parsed || member.Flagged())
            continue;
        for (int role = 0; role < 3; ++role) {
            std::string value;
            if (script_.Get(kDisplayRoles[role].key, &value) && value == member.record.arq) {
                member.role = role;
                break;
            }
        }
    }
}

void SetupArchive::LocateMembers()
{
    // Members are counted back from the script: a record that cannot be
    // read hides the place of every member in front of it.
    size_t first = 0;
    for (size_t k = members_.size(); k-- > 0;) {
        if (!members_[k].parsed) {
            first = k + 1;
            break;
        }
    }
    std::vector<uint32_t> sizes;
    for (size_t k = first; k < members_.size(); ++k)
        sizes.push_back(members_[k].record.TamComp);
    std::vector<uint64_t> starts;
    std::string error;
    if (!reader_.Locate(sizes, &starts, &error)) {
        problems_.push_back(error);
        // Those nearer the end are still in place.
        uint64_t index = 4 + static_cast<uint64_t>(reader_.ScriptSize());
        for (size_t k = members_.size(); k-- > first;) {
            index += members_[k].record.TamComp;
            if (index > reader_.End())
                break;
            members_[k].start = reader_.End() - index;
            members_[k].located = true;
        }
        return;
    }
    for (size_t k = first; k < members_.size(); ++k) {
        members_[k].start = starts[k - first];
        members_[k].located = true;
    }
}

void SetupArchive::NameMembers()
{
    const size_t cut = Setting(kKeyDirOrig).size();
    for (Member& member : members_) {
        if (!member.parsed)
            continue;
        if (member.role >= 0)
            member.name = kDisplayRoles[member.role].name;
        else if (member.Flagged() && member.record.arq.size() > cut)
            member.name = member.record.arq.substr(cut);
    }
}
