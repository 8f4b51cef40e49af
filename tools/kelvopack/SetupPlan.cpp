#include "SetupPlan.h"

#include <limits>

namespace {

uint32_t Size32(uint64_t size)
{
    return size > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                       : static_cast<uint32_t>(size);
}

}  // namespace

SetupPlan::SetupPlan(const Project& project, const std::string& setupPath) : sourceFolder_(project.sourceFolder)
{
    settings_ = {
        {kKeyDirOrig, project.sourceFolder},
        {kKeyDirDest, project.destination},
        {layout::kDisplayRoles[0].key, layout::kDisplayRoles[0].recordPath},
        {layout::kDisplayRoles[1].key, layout::kDisplayRoles[1].recordPath},
        {layout::kDisplayRoles[2].key, layout::kDisplayRoles[2].recordPath},
        {kKeyArqMontagem, setupPath},
        {kKeyNomeGrupo, project.group},
        {kKeyModosInstalacao, project.modes.Letters()},
    };
    // For the list of installed programs; older setup programs skip them.
    const std::pair<const char*, const std::string*> app[] = {{kKeyAppName, &project.nameAnsi},
                                                              {kKeyAppPublisher, &project.publisher},
                                                              {kKeyAppVersion, &project.version}};
    for (const auto& [key, value] : app) {
        if (!value->empty())
            settings_.emplace_back(key, *value);
    }
    records_.reserve(project.files.size() + 3);
    for (const InstallFile& file : project.files) {
        Record r;
        r.record.arq = project.sourceFolder + file.path;
        r.record.nome = file.title.empty() ? "_" : file.title;
        r.record.TamOrig = Size32(file.size);
        r.record.Grupo = !file.title.empty();
        r.record.Ful = file.modes.full;
        r.record.Typ = file.modes.typical;
        r.record.Min = file.modes.minimal;
        r.source = file.source;
        r.origin = file.origin;
        r.size = file.size;
        r.stamp = file.stamp;
        r.stamped = file.stamped;
        records_.push_back(r);
    }
    const DisplayFile* display[3] = {&project.bitmap, &project.presentation, &project.agreement};
    for (int role = 0; role < 3; ++role) {
        Record r;
        r.record.arq = layout::kDisplayRoles[role].recordPath;
        r.record.nome = "_";
        r.record.TamOrig = Size32(display[role]->size);
        r.source = display[role]->source;
        r.origin = display[role]->origin;
        r.size = display[role]->size;
        r.role = role;
        records_.push_back(r);
    }
}

std::string SetupPlan::MemberName(size_t k) const
{
    return layout::InstalledName(records_[k].record.arq, sourceFolder_.size());
}

std::vector<uint8_t> SetupPlan::Script(const std::vector<uint32_t>& packed) const
{
    std::vector<uint8_t> script = ScriptHead();
    for (size_t k = 0; k < records_.size(); ++k)
        AppendScriptRecord(k, packed[k], &script);
    return script;
}

std::vector<uint8_t> SetupPlan::ScriptHead() const
{
    ScriptText script;
    for (const auto& [key, value] : settings_)
        script.Append(key, value);
    return script.Bytes();
}

void SetupPlan::AppendScriptRecord(size_t k, uint32_t packed, std::vector<uint8_t>* out) const
{
    ScriptRecord record = records_[k].record;
    record.TamComp = packed;
    ScriptText::AppendEntryBytes(ScriptText::RecordKey(static_cast<int>(k)), ScriptText::FormatRecord(record), out);
}
