// A package built by the building protocol (every member appended with
// TApend::IncluirArq in record order, then the script) and read back by the
// reading protocol (script first, then the records registered backwards).
#include "FileSys.h"
#include "Limits.h"
#include "ScriptText.h"
#include "TApend.h"
#include "TListaDado.h"
#include "TScript.h"

#include "TempDir.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Member {
    std::string path;  // relative to the destination folder, Windows style
    std::string title;
    std::vector<uint8_t> bytes;
    const char* flags;
};

std::string LocalName(std::string windowsPath)
{
    for (char& c : windowsPath)
        c = c == '\\' ? '_' : c;
    return "src_" + windowsPath;
}

TEST(PackageRoundTrip, BuildingThenReadingGivesEveryMemberBackByteExact)
{
    TempDir dir;
    const std::string orig = "C:\\Build Area\\";  // a blank, as stored paths may hold
    const std::vector<Member> members = {
        {"app.exe", "Demo App", testdata::Generate(300000, 1, 0.6, 80), "GFTM"},
        {"docs\\read me.txt", "Read Me", testdata::Text(20000, 2), "GFTX"},
        {"lib\\empty.dat", "_", {}, "XFXX"},
        {"lib\\deep\\one.bin", "_", testdata::Generate(1, 3, 0.0), "XFTM"},
        {"c:\\Windows\\TEMP\\kelvo.bmp", "_", testdata::Generate(5000, 4, 0.3), "XXXX"},
        {"c:\\Windows\\TEMP\\pres.txt", "_", testdata::Text(700, 5), "XXXX"},
        {"c:\\Windows\\TEMP\\licen.txt", "_", testdata::Text(9000, 6), "XXXX"},
    };

    // Building: the stub, then the members in record order, then the script.
    WriteFile("setup.exe", std::string("any stub bytes"));
    testing::internal::CaptureStdout();
    {
        TApend builder("setup.exe");
        std::vector<std::string> records;
        for (const Member& m : members) {
            const std::string local = LocalName(m.path);
            WriteFile(local, m.bytes);
            const uint32_t* sizes = builder.IncluirArq(local.c_str());
            ScriptRecord record;
            const bool display = std::string(m.flags) == "XXXX";
            record.arq = display ? m.path : orig + m.path;
            record.nome = m.title;
            record.TamOrig = sizes[0];
            record.TamComp = sizes[1];
            record.Grupo = m.flags[0] == 'G';
            record.Ful = m.flags[1] == 'F';
            record.Typ = m.flags[2] == 'T';
            record.Min = m.flags[3] == 'M';
            records.push_back(ScriptText::FormatRecord(record));
        }
        TScript script("kelvo.se");
        script.EscrDirOrig(orig.c_str());
        script.EscrDirDest("C:\\Program Files\\Demo\\");
        script.EscrArqBMP("c:\\Windows\\TEMP\\kelvo.bmp");
        script.EscrArqApresentacao("c:\\Windows\\TEMP\\pres.txt");
        script.EscrArqLicenca("c:\\Windows\\TEMP\\licen.txt");
        script.EscrArqMontagem("C:\\Out\\setup.exe");
        script.EscrNomeGrupo("Demo Group");
        script.EscrModosInstalacao("FTM");
        for (const std::string& record : records)
            script.EscrArq(record.c_str());
        builder.IncluirArq("kelvo.se");
    }
    testing::internal::GetCapturedStdout();

    // Reading, in a folder of its own, as the installation does it.
    std::filesystem::create_directory("dest");
    std::filesystem::current_path("dest");
    TApend reader("../setup.exe");
    reader.ExtrairArq("kelvo.se");
    TScript script("kelvo.se");
    char value[kPathSize];
    script.LerDirOrig(value);
    const size_t lDirOrig = std::strlen(value);
    EXPECT_EQ(std::string(value), orig);
    script.LerNomeGrupo(value);
    EXPECT_EQ(std::string(value), "Demo Group");
    script.LerModosInstalacao(value);
    EXPECT_EQ(std::string(value), "FTM");

    TListaDado list;
    script.LerRegistros(&list, lDirOrig);
    ASSERT_EQ(list.NDados(), static_cast<int>(members.size()));
    for (int i = list.NDados() - 1; i >= 0; --i)
        reader.IncluirFat(list.Arq(i), list.TamComp(i));
    for (int i = list.NDados() - 1; i >= 0; --i) {
        const Member& m = members[static_cast<size_t>(i)];
        if (std::string(m.flags) == "XXXX")
            continue;
        EXPECT_EQ(std::string(list.Arq(i)), m.path);
        EXPECT_EQ(std::string(list.Nome(i)), m.title);
        EXPECT_EQ(list.TamOrig(i), m.bytes.size());
        MakePath(list.Arq(i));
        reader.ExtrairArq(list.Arq(i));
        std::string local = m.path;
        for (char& c : local)
            c = c == '\\' ? '/' : c;
        EXPECT_EQ(ReadFile(local), m.bytes) << m.path;
    }
    EXPECT_FALSE(Exists("arq.huf"));
}

}  // namespace
