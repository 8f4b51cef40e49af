#include "ListCommand.h"

#include "Codepage.h"
#include "SetupArchive.h"
#include "SetupLayout.h"
#include "ToolError.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace list_command {

namespace {

std::string Show(const std::string& ansi)
{
    return codepage::AnsiToNative(ansi);
}

std::string Flags(const ScriptRecord& r)
{
    std::string flags;
    flags += r.Grupo ? 'G' : 'X';
    flags += r.Ful ? 'F' : 'X';
    flags += r.Typ ? 'T' : 'X';
    flags += r.Min ? 'M' : 'X';
    return flags;
}

std::string Ratio(uint64_t original, uint64_t packed)
{
    if (original == 0)
        return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(original));
    return text;
}

void Setting(const SetupArchive& archive, const char* label, const char* key)
{
    const std::string value = archive.HasSetting(key) ? Show(archive.Setting(key)) : std::string("(none)");
    std::printf("%-14s %s\n", label, value.c_str());
}

}  // namespace

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd = app.add_subcommand("list", "Show a setup's settings and files");
    cmd->add_option("setup", options.setup, "The setup executable")->required();
    return cmd;
}

int run(const Options& options)
{
    SetupArchive archive;
    std::string error;
    if (!archive.Open(options.setup, &error))
        throw ToolError(error);
    PackageReader& reader = archive.Reader();

    std::printf("Setup:         %s, %llu bytes", options.setup.c_str(),
                static_cast<unsigned long long>(reader.FileSize()));
    if (reader.End() < reader.FileSize())
        std::printf(", signed (certificate table of %llu bytes)",
                    static_cast<unsigned long long>(reader.FileSize() - reader.End()));
    std::printf("\n");
    // What the list of installed programs shows; older setups lack them.
    Setting(archive, "Name:", kKeyAppName);
    Setting(archive, "Publisher:", kKeyAppPublisher);
    Setting(archive, "Version:", kKeyAppVersion);
    Setting(archive, "Group:", kKeyNomeGrupo);
    Setting(archive, "Destination:", kKeyDirDest);
    Setting(archive, "Modes:", kKeyModosInstalacao);
    Setting(archive, "Source folder:", kKeyDirOrig);
    Setting(archive, "Built as:", kKeyArqMontagem);
    Setting(archive, "Bitmap:", kKeyArqBmp);
    Setting(archive, "Presentation:", kKeyArqApresentacao);
    Setting(archive, "Agreement:", kKeyArqLicenca);
    std::printf("Script:        %llu bytes, packed into %u\n\n", static_cast<unsigned long long>(archive.ScriptBytes()),
                reader.ScriptSize());

    std::printf("%12s %12s %6s  %-5s  %-30s %s\n", "Length", "Packed", "Ratio", "Flags", "Name", "Item title");
    std::printf("%12s %12s %6s  %-5s  %-30s %s\n", "------------", "------------", "-----", "-----", "----",
                "----------");
    uint64_t original = 0;
    uint64_t packed = 0;
    size_t count = 0;
    for (size_t k = 0; k < archive.Members().size(); ++k) {
        const SetupArchive::Member& m = archive.Members()[k];
        if (!m.parsed) {
            std::printf("%12s %12s %6s  %-5s  %s\n", "?", "?", "", "",
                        ScriptText::RecordKey(static_cast<int>(k)).c_str());
            continue;
        }
        const ScriptRecord& r = m.record;
        std::string name = m.name.empty() ? Show(r.arq) : Show(m.name);
        for (size_t i = 0; i < m.roles.size(); ++i) {
            if (i > 0)
                name += ", " + Show(m.copies[i - 1]);
            name += std::string(" (") + layout::kDisplayRoles[m.roles[i]].what + ")";
        }
        const std::string title = r.Grupo ? Show(r.nome) : std::string();
        std::printf("%12u %12u %6s  %-5s  %-30s %s\n", r.TamOrig, r.TamComp, Ratio(r.TamOrig, r.TamComp).c_str(),
                    Flags(r).c_str(), name.c_str(), title.c_str());
        original += r.TamOrig;
        packed += r.TamComp;
        ++count;
    }
    std::printf("%12s %12s %6s\n", "------------", "------------", "-----");
    std::printf("%12llu %12llu %6s  %-5s  %zu files\n", static_cast<unsigned long long>(original),
                static_cast<unsigned long long>(packed), Ratio(original, packed).c_str(), "", count);

    for (const std::string& problem : archive.Problems())
        std::fprintf(stderr, "kelvopack: %s: %s\n", options.setup.c_str(), problem.c_str());
    return archive.Problems().empty() ? 0 : 1;
}

}  // namespace list_command
