// Setups that kelvopack builds, read exactly as the setup program reads
// them, with the program's own package, script and file-list classes:
// start-up's walk over the display files into the temporary folder, and the
// installer's walk over every record into the destination folder. Plain
// setups, setups whose stub part is padded, and the same signed; one text
// serving two display roles, which the builder refuses, made by hand.
#include "FileSys.h"
#include "Limits.h"
#include "Platform.h"
#include "ProjectFile.h"
#include "SetupArchive.h"
#include "SetupCheck.h"
#include "SetupExtractor.h"
#include "SetupLayout.h"
#include "SetupWriter.h"
#include "TApend.h"
#include "TListaDado.h"
#include "TScript.h"

#include "CheckedBuild.h"
#include "FakePe.h"
#include "PackScratch.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;  // relative path with "/" -> bytes

// The current folder while it lives, as the program changes into the
// temporary folder and the destination folder.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : previous_(platform::CurrentFolder())
    {
        EXPECT_TRUE(platform::ChangeFolder(folder.c_str())) << folder;
    }
    ~InFolder() { platform::ChangeFolder(previous_.c_str()); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::string previous_;
};

Files Tree(const std::string& folder)
{
    Files files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), folder).generic_string()] = ReadFile(entry.path().string());
    }
    return files;
}

std::string Why(const Status& status)
{
    return status.Text() + " (" + status.Caption() + ")";
}

std::vector<layout::PlanRecord> PlanRecords(const TListaDado& list)
{
    std::vector<layout::PlanRecord> records;
    for (int i = 0; i < list.NDados(); ++i)
        records.push_back({list.Arq(i), list.Grupo(i) || list.Ful(i) || list.Typ(i) || list.Min(i), list.TamComp(i)});
    return records;
}

// Where kelvopack finds each record's member, as a distance from the end.
std::vector<uint64_t> ArchiveOffsets(const std::string& setup)
{
    SetupArchive archive;
    std::string error;
    EXPECT_TRUE(archive.Open(setup, &error)) << error;
    std::vector<uint64_t> offsets;
    for (const SetupArchive::Member& m : archive.Members()) {
        EXPECT_TRUE(m.Inside());
        EXPECT_EQ(m.start + m.indice, archive.Reader().End());
        offsets.push_back(m.indice);
    }
    return offsets;
}

// Start-up: the script, then every record from the last to the first, the
// display files extracted (and copied for a second role) into `temp`.
void ReadAsStartUp(const std::string& setup, const std::string& temp, const Files& display)
{
    const std::vector<uint64_t> offsets = ArchiveOffsets(setup);
    {
        InFolder in(temp);
        TApend apend(setup.c_str());
        const Status script = apend.TryExtrairArq(layout::kScript);
        ASSERT_TRUE(script.Ok()) << Why(script);
        char bmp[kPathSize];
        char pres[kPathSize];
        char licen[kPathSize];
        TListaDado list;
        {
            TScript reader(layout::kScript);
            reader.LerArqBMP(bmp);
            reader.LerArqApresentacao(pres);
            reader.LerArqLicenca(licen);
            const Status read = reader.TryLerRegistros(&list);
            ASSERT_TRUE(read.Ok()) << Why(read);
        }
        ASSERT_EQ(static_cast<size_t>(list.NDados()), offsets.size());
        const std::string roles[3] = {bmp, pres, licen};
        size_t registered = 0;
        for (const layout::DisplayStep& step : layout::PlanDisplayFiles(PlanRecords(list), roles)) {
            const Status included = apend.TryIncluirFat(step.member.c_str(), step.size);
            ASSERT_TRUE(included.Ok()) << Why(included);
            ++registered;
            uint64_t indice = 0;
            uint32_t tam = 0;
            apend.LerFat(step.member.c_str(), &indice, &tam);
            EXPECT_EQ(indice, offsets[step.record]) << step.member;
            EXPECT_EQ(tam, list.TamComp(static_cast<int>(step.record))) << step.member;
            if (!step.extract)
                continue;
            const Status extracted = apend.TryExtrairArq(step.member.c_str());
            ASSERT_TRUE(extracted.Ok()) << Why(extracted);
            for (const std::string& copy : step.copies) {
                const Status copied = TryCopyExe(temp.c_str(), step.member.c_str(), (temp + "\\" + copy).c_str());
                ASSERT_TRUE(copied.Ok()) << Why(copied);
            }
        }
        EXPECT_EQ(registered, offsets.size());
    }
    Files expected = display;
    expected[layout::kScript] = ReadFile(temp + "/" + layout::kScript);
    EXPECT_EQ(Tree(temp), expected);
}

// The installer: the script, the records cut by the source folder's length,
// every record registered from the last to the first, and every record a
// mode installs extracted into `destination` with its sub-folders.
void ReadAsInstaller(const std::string& setup, const std::string& destination, const Files& installed)
{
    const std::vector<uint64_t> offsets = ArchiveOffsets(setup);
    {
        InFolder in(destination);
        TApend apend(setup.c_str());
        const Status script = apend.TryExtrairArq(layout::kScript);
        ASSERT_TRUE(script.Ok()) << Why(script);
        TListaDado list;
        {
            TScript reader(layout::kScript);
            char orig[kPathSize];
            reader.LerDirOrig(orig);
            const Status read = reader.TryLerRegistros(&list, std::strlen(orig));
            ASSERT_TRUE(read.Ok()) << Why(read);
        }
        platform::RemoveFile(layout::kScript);
        ASSERT_EQ(static_cast<size_t>(list.NDados()), offsets.size());
        const auto installs = [&list](int i) { return list.Ful(i) || list.Typ(i) || list.Min(i); };
        for (int i = list.NDados() - 1; i >= 0; --i) {
            // What no mode installs goes under a name no file has.
            const std::string name = installs(i) ? std::string(list.Arq(i)) : "?record " + std::to_string(i);
            const Status included = apend.TryIncluirFat(name.c_str(), list.TamComp(i));
            ASSERT_TRUE(included.Ok()) << Why(included);
            uint64_t indice = 0;
            uint32_t tam = 0;
            apend.LerFat(name.c_str(), &indice, &tam);
            EXPECT_EQ(indice, offsets[static_cast<size_t>(i)]) << name;
        }
        for (int i = list.NDados() - 1; i >= 0; --i) {
            if (!installs(i))
                continue;
            const Status made = TryMakePath(list.Arq(i));
            ASSERT_TRUE(made.Ok()) << Why(made);
            const Status extracted = apend.TryExtrairArq(list.Arq(i));
            ASSERT_TRUE(extracted.Ok()) << list.Arq(i) << ": " << Why(extracted);
        }
    }
    EXPECT_EQ(Tree(destination), installed);
}

// Reads the setup both ways in fresh folders under `work`.
void ReadAsTheProgram(const std::string& setup, const std::string& work, const Files& display, const Files& installed)
{
    const std::string temp = work + "/temp";
    const std::string destination = work + "/destination";
    std::filesystem::create_directories(temp);
    std::filesystem::create_directories(destination);
    ReadAsStartUp(setup, temp, display);
    ReadAsInstaller(setup, destination, installed);
    std::filesystem::remove_all(work);
}

// A copy of the setup with a certificate table appended, as a signer does.
std::string Signed(const std::string& setup)
{
    std::vector<uint8_t> bytes = ReadFile(setup);
    fakepe::Sign(bytes, 48);
    const std::string path = setup + ".signed.exe";
    WriteFile(path, bytes);
    return path;
}

class SetupReading : public ::testing::Test {
protected:
    TempDir dir{false};
};

TEST_F(SetupReading, KelvopackSetupsReadAsTheProgramReadsThemPlainPaddedAndSigned)
{
    packtest::Scratch project;
    const std::string projectFile = packtest::MakeProject(
        project,
        "\n[[file]]\nsource = \"bin/app.exe\"\npath = 'Tools\\Deep\\copy of app.exe'\nmodes = [\"typical\"]\n");
    ::Project loaded = LoadProject(projectFile);

    // What the program must find: the display files by their fixed names,
    // the installed files by their paths below the destination.
    const Files display = {{"kelvo.bmp", ReadFile(project.Path("art/kelvo.bmp"))},
                           {"pres.txt", ReadFile(project.Path("text/pres.txt"))},
                           {"licen.txt", ReadFile(project.Path("text/licen.txt"))}};
    Files installed;
    for (const InstallFile& file : loaded.files)
        installed[Slashed(file.path)] = ReadFile(file.source);
    ASSERT_EQ(installed.size(), 5u);

    std::set<uint64_t> paddings;
    for (const uint32_t raw : {0x1FBu, 0x1FDu, 0x200u}) {
        const std::string stub = dir.Path("stub" + std::to_string(raw) + ".exe");
        WriteFile(stub, fakepe::Image(raw));
        const std::string setup = dir.Path("setup" + std::to_string(raw) + ".exe");
        SetupSettings settings;
        settings.stub = stub;
        settings.output = setup;
        settings.threads = 2;
        const SetupSummary summary = CheckedBuild(loaded, settings);
        ASSERT_FALSE(HasFailure());  // the project's checks passed
        paddings.insert(summary.padding);
        EXPECT_EQ(summary.setupSize % 8, 0u);

        ReadAsTheProgram(setup, dir.Path("plain"), display, installed);
        const std::string signedSetup = Signed(setup);
        ReadAsTheProgram(signedSetup, dir.Path("signed"), display, installed);

        // kelvopack sees the signed setup's package end where the table begins.
        SetupArchive archive;
        std::string error;
        ASSERT_TRUE(archive.Open(signedSetup, &error)) << error;
        EXPECT_EQ(archive.Reader().End(), summary.setupSize);
        EXPECT_EQ(archive.Reader().ImageEnd(), 0x200u + raw);
        EXPECT_EQ(archive.Members()[0].start, 0x200u + raw + summary.integrityBytes + summary.padding);
        EXPECT_TRUE(CheckSetup(signedSetup).problems.empty());
    }
    EXPECT_EQ(paddings.size(), 3u) << "three stub sizes, three paddings";
}

TEST_F(SetupReading, OneTextServingTwoRolesIsShownTwiceByTheProgramAndByKelvopack)
{
    // The builder refuses two roles naming one file; the program serves
    // them, so kelvopack must read such a setup as the program does.
    const std::string head =
        "#DIR_ORIG C:\\KELVO\\\r\n\r\n#DIR_DEST C:\\Demo App\\\r\n\r\n"
        "#DIR_ARQ_BMP c:\\Windows\\TEMP\\kelvo.bmp\r\n\r\n"
        "#DIR_ARQ_APRESENTACAO c:\\Windows\\TEMP\\text.txt\r\n\r\n"
        "#DIR_ARQ_LICENCA c:\\Windows\\TEMP\\text.txt\r\n\r\n"
        "#DIR_ARQ_MONTAGEM hand.exe\r\n\r\n#DIR_NOME_GRUPO Demo App\r\n\r\n"
        "#DIR_MODOS_INSTALACAO FTX\r\n\r\n";
    const std::vector<uint8_t> app = testdata::Generate(40000, 5, 0.5);
    const std::string bitmap = "BM\x36\0\0\0 a bitmap, with a zero byte";
    const std::string text = "Welcome, and the terms: use it well.\r\n";
    const std::vector<packtest::HandRecord> records = {{"C:\\KELVO\\app.exe", "GFTX",
                                                        std::string(app.begin(), app.end()), "Demo App"},
                                                       {"C:\\KELVO\\docs\\read me.txt", "XFXX", "Read me.\r\n"},
                                                       {"C:\\KELVO\\sub\\deep\\x.bin", "XXTX",
                                                        std::string("\0\1\2\3", 4)},
                                                       {"c:\\Windows\\TEMP\\kelvo.bmp", "XXXX", bitmap},
                                                       {"c:\\Windows\\TEMP\\text.txt", "XXXX", text}};
    // Behind a program image, padded to a multiple of 8, then signed.
    const std::string setup = dir.Path("hand.exe");
    std::vector<uint8_t> stub = fakepe::Image(0x1F9);
    packtest::PackRecords(setup, head, records, stub);
    stub.resize(stub.size() + (8 - ReadFile(setup).size() % 8) % 8, 0);
    packtest::PackRecords(setup, head, records, stub);
    ASSERT_EQ(ReadFile(setup).size() % 8, 0u);
    const std::string signedSetup = Signed(setup);

    const Files display = {{"kelvo.bmp", testdata::Bytes(bitmap)},
                           {"pres.txt", testdata::Bytes(text)},
                           {"licen.txt", testdata::Bytes(text)}};
    const Files installed = {{"app.exe", app},
                             {"docs/read me.txt", testdata::Bytes("Read me.\r\n")},
                             {"sub/deep/x.bin", testdata::Bytes(std::string("\0\1\2\3", 4))}};
    for (const std::string& path : {setup, signedSetup}) {
        ReadAsTheProgram(path, dir.Path("read"), display, installed);

        // kelvopack: no problem, and the text under both names.
        const SetupCheckResult check = CheckSetup(path);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
        SetupArchive archive;
        std::string error;
        ASSERT_TRUE(archive.Open(path, &error)) << error;
        const std::string out = dir.Path("out");
        std::filesystem::create_directory(out);
        std::vector<size_t> all;
        for (size_t k = 0; k < archive.Members().size(); ++k)
            all.push_back(k);
        for (const ExtractOutcome& outcome : ExtractMembers(archive, out, all, 2))
            EXPECT_EQ(outcome.error, "") << outcome.shown;
        Files everything = installed;
        everything.insert(display.begin(), display.end());
        EXPECT_EQ(Tree(out), everything);
        std::filesystem::remove_all(out);
    }
}

}  // namespace
