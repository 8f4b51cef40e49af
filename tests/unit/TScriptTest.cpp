#include "ScratchDisk.h"
#include "TListaDado.h"
#include "TScript.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using testfs::ReadFile;
using testfs::WriteFile;

const char kExample[] =
    "#DIR_ORIG C:\\My Source\\\r\n\r\n"
    "#DIR_DEST C:\\My Source\\\r\n\r\n"
    "#DIR_ARQ_BMP c:\\Windows\\TEMP\\kelvo.bmp\r\n\r\n"
    "#DIR_ARQ_APRESENTACAO c:\\Windows\\TEMP\\pres.txt\r\n\r\n"
    "#DIR_ARQ_LICENCA c:\\Windows\\TEMP\\licen.txt\r\n\r\n"
    "#DIR_ARQ_MONTAGEM C:\\Desktop\\setup.exe\r\n\r\n"
    "#DIR_NOME_GRUPO My App\r\n\r\n"
    "#DIR_MODOS_INSTALACAO FXX\r\n\r\n"
    "#ARQ0 C:\\My@Source\\APP.EXE My@App 787563 372581 GFXX\r\n\r\n"
    "#ARQ1 C:\\My@Source\\APP.HLP Help 698839 135385 GFXX\r\n\r\n"
    "#ARQ2 C:\\My@Source\\CTLS32.DLL _ 211488 86737 XFXX\r\n\r\n"
    "#ARQ3 c:\\Windows\\TEMP\\kelvo.bmp _ 25404 20299 XXXX\r\n\r\n"
    "#ARQ4 c:\\Windows\\TEMP\\pres.txt _ 317 295 XXXX\r\n\r\n"
    "#ARQ5 c:\\Windows\\TEMP\\licen.txt _ 10047 5163 XXXX\r\n";

// Each test runs in a scratch folder of its own, where "arq.tmp" goes too.
class TScriptTest : public ::testing::Test {
protected:
    std::string Get(TScript* script, const char* key)
    {
        std::vector<char> value(512, '\x55');
        script->GetEntry(key, value.data());
        return value.data();
    }

    TempDir folder_{false};
    testfs::InFolder here_{folder_.Path()};
    const std::string name_ = "kelvo.se";
};

TEST_F(TScriptTest, WritersBuildTheExampleLayout)
{
    TScript script(name_.c_str());
    script.EscrDirOrig("C:\\My Source\\");
    script.EscrDirDest("C:\\My Source\\");
    script.EscrArqBMP("c:\\Windows\\TEMP\\kelvo.bmp");
    script.EscrArqApresentacao("c:\\Windows\\TEMP\\pres.txt");
    script.EscrArqLicenca("c:\\Windows\\TEMP\\licen.txt");
    script.EscrArqMontagem("C:\\Desktop\\setup.exe");
    script.EscrNomeGrupo("My App");
    script.EscrModosInstalacao("FXX");
    script.EscrArq("C:\\My@Source\\APP.EXE My@App 787563 372581 GFXX");
    script.EscrArq("C:\\My@Source\\APP.HLP Help 698839 135385 GFXX");
    script.EscrArq("C:\\My@Source\\CTLS32.DLL _ 211488 86737 XFXX");
    script.EscrArq("c:\\Windows\\TEMP\\kelvo.bmp _ 25404 20299 XXXX");
    script.EscrArq("c:\\Windows\\TEMP\\pres.txt _ 317 295 XXXX");
    script.EscrArq("c:\\Windows\\TEMP\\licen.txt _ 10047 5163 XXXX");
    EXPECT_EQ(ReadFile(name_), kExample);
    EXPECT_FALSE(testfs::Exists("arq.tmp"));
}

TEST_F(TScriptTest, ReadsTheExample)
{
    WriteFile(name_, kExample);
    TScript script(name_.c_str());
    std::vector<char> buffer(512);
    script.LerDirOrig(buffer.data());
    EXPECT_STREQ(buffer.data(), "C:\\My Source\\");
    script.LerDirDest(buffer.data());
    EXPECT_STREQ(buffer.data(), "C:\\My Source\\");
    script.LerArqBMP(buffer.data());
    EXPECT_STREQ(buffer.data(), "c:\\Windows\\TEMP\\kelvo.bmp");
    script.LerArqApresentacao(buffer.data());
    EXPECT_STREQ(buffer.data(), "c:\\Windows\\TEMP\\pres.txt");
    script.LerArqLicenca(buffer.data());
    EXPECT_STREQ(buffer.data(), "c:\\Windows\\TEMP\\licen.txt");
    script.LerArqMontagem(buffer.data());
    EXPECT_STREQ(buffer.data(), "C:\\Desktop\\setup.exe");
    script.LerNomeGrupo(buffer.data());
    EXPECT_STREQ(buffer.data(), "My App");
    script.LerModosInstalacao(buffer.data());
    EXPECT_STREQ(buffer.data(), "FXX");

    TListaDado lista;
    script.LerRegistros(&lista);
    ASSERT_EQ(lista.NDados(), 6);
    const int gftm[] = {12, 12, 4, 0, 0, 0};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(lista.Grupo(k) * 8 + lista.Ful(k) * 4 + lista.Typ(k) * 2 + lista.Min(k), gftm[k]);
    }
    EXPECT_STREQ(lista.Arq(0), "C:\\My Source\\APP.EXE");
    EXPECT_STREQ(lista.Nome(0), "My App");
    EXPECT_STREQ(lista.Nome(2), "_");
    EXPECT_EQ(lista.TamOrig(0), 787563u);
    EXPECT_EQ(lista.TamComp(5), 5163u);

    // Past the end every record reads "NULL"; ZeraIndex starts again.
    script.LerArq(buffer.data());
    EXPECT_STREQ(buffer.data(), "NULL");
    script.ZeraIndex();
    script.LerArq(buffer.data());
    EXPECT_STREQ(buffer.data(), "C:\\My@Source\\APP.EXE My@App 787563 372581 GFXX");
    script.LerArq(buffer.data());
    EXPECT_STREQ(buffer.data(), "C:\\My@Source\\APP.HLP Help 698839 135385 GFXX");
}

TEST_F(TScriptTest, AbsentKeysAndAMissingScript)
{
    TScript missing(name_.c_str());
    std::vector<char> buffer(512);
    EXPECT_EQ(Get(&missing, "#DIR_DEST"), "NULL");
    missing.LerModosInstalacao(buffer.data());
    EXPECT_STREQ(buffer.data(), "XXX");
    missing.LerNomeGrupo(buffer.data());
    EXPECT_STREQ(buffer.data(), "");
    missing.LerArq(buffer.data());
    EXPECT_STREQ(buffer.data(), "NULL");
    EXPECT_FALSE(testfs::Exists(name_));

    WriteFile(name_, "#DIR_DEST NULL\r\n\r\n#DIR_ORIG C:\\\r\n");
    TScript script(name_.c_str());
    script.LerModosInstalacao(buffer.data());
    EXPECT_STREQ(buffer.data(), "XXX");
    script.LerNomeGrupo(buffer.data());
    EXPECT_STREQ(buffer.data(), "");
    script.LerDirDest(buffer.data());  // a value "NULL" cannot be told from none
    EXPECT_STREQ(buffer.data(), "");
    script.LerDirOrig(buffer.data());
    EXPECT_STREQ(buffer.data(), "C:\\");
}

TEST_F(TScriptTest, RecordsEndAtAGapInTheNumbering)
{
    WriteFile(name_, "#ARQ0 a _ 1 2 XFXX\r\n\r\n#ARQ2 b _ 3 4 XFXX\r\n");
    TScript script(name_.c_str());
    TListaDado lista;
    script.LerRegistros(&lista);
    ASSERT_EQ(lista.NDados(), 1);
    EXPECT_STREQ(lista.Arq(0), "a");
}

TEST_F(TScriptTest, KeysMatchWholeWordsInTheirOwnCase)
{
    WriteFile(name_, "#ARQ10 ten _ 1 2 XXXX\n#dir_dest lower\n#DIR_NOME_GRUPO  Two  Blanks \n");
    TScript script(name_.c_str());
    EXPECT_EQ(Get(&script, "#ARQ1"), "NULL");
    EXPECT_EQ(Get(&script, "#ARQ10"), "ten _ 1 2 XXXX");
    EXPECT_EQ(Get(&script, "#DIR_DEST"), "NULL");
    std::vector<char> buffer(512);
    script.LerNomeGrupo(buffer.data());
    EXPECT_STREQ(buffer.data(), " Two  Blanks ");
}

TEST_F(TScriptTest, KeyAloneOnItsLineReadsEmpty)
{
    WriteFile(name_, "#DIR_DEST\r\n#DIR_ORIG\r\n");
    TScript script(name_.c_str());
    EXPECT_EQ(Get(&script, "#DIR_DEST"), "");
    std::vector<char> buffer(512);
    script.LerModosInstalacao(buffer.data());
    EXPECT_STREQ(buffer.data(), "XXX");
}

TEST_F(TScriptTest, LongestLineFillsTheBuffer)
{
    const std::string value(508, 'v');
    WriteFile(name_, "#DIR_DEST " + std::string(100, 'x') + "\r\n#K " + value + "\r\n");
    TScript script(name_.c_str());
    EXPECT_EQ(Get(&script, "#K"), value);
}

TEST_F(TScriptTest, SetEntryShapesTheFile)
{
    TScript script(name_.c_str());
    script.SetEntry("#A", "1");
    EXPECT_EQ(ReadFile(name_), "#A 1\r\n");
    script.SetEntry("#B", "two words");
    EXPECT_EQ(ReadFile(name_), "#A 1\r\n\r\n#B two words\r\n");
    script.SetEntry("#A", "3");
    EXPECT_EQ(ReadFile(name_), "#A 3\r\n\r\n\r\n#B two words\r\n\r\n");
    EXPECT_EQ(Get(&script, "#A"), "3");
    script.SetEntry("#A", "");
    EXPECT_EQ(ReadFile(name_), "\r\n\r\n#B two words\r\n\r\n\r\n#A \r\n");
    EXPECT_EQ(Get(&script, "#A"), "");
    EXPECT_EQ(Get(&script, "#B"), "two words");
    EXPECT_FALSE(testfs::Exists("arq.tmp"));
}

TEST_F(TScriptTest, SetEntryWritesCrLfAndReplacesAnOldTemporaryFile)
{
    WriteFile(name_, "#A 1\n\n#B 2\n");
    WriteFile("arq.tmp", std::string(5000, 'o'));
    TScript script(name_.c_str());
    script.SetEntry("#C", "3");
    EXPECT_EQ(ReadFile(name_), "#A 1\r\n\r\n#B 2\r\n\r\n#C 3\r\n");
    EXPECT_FALSE(testfs::Exists("arq.tmp"));
}

TEST_F(TScriptTest, SeesChangesMadeByOthers)
{
    WriteFile(name_, "#A first\r\n");
    TScript script(name_.c_str());
    EXPECT_EQ(Get(&script, "#A"), "first");

    // Another writer, same size: only the time tells.
    WriteFile(name_, "#A other\r\n");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, name_.c_str(), times, 0), 0);
    EXPECT_EQ(Get(&script, "#A"), "other");

    TScript writer(name_.c_str());
    writer.SetEntry("#B", "2");
    EXPECT_EQ(Get(&script, "#B"), "2");

    ASSERT_EQ(unlink(name_.c_str()), 0);
    EXPECT_EQ(Get(&script, "#A"), "NULL");
    WriteFile(name_, "#A back\r\n");
    EXPECT_EQ(Get(&script, "#A"), "back");
}

TEST_F(TScriptTest, SeesAnotherObjectsRewriteThatKeepsSizeAndTime)
{
    // As on a file system whose clock is too coarse to tell the two apart.
    TScript writer(name_.c_str());
    writer.SetEntry("#DIR_DEST", "C:\\AAAAAA\\");
    TScript reader(name_.c_str());
    EXPECT_EQ(Get(&reader, "#DIR_DEST"), "C:\\AAAAAA\\");
    struct stat before {};
    ASSERT_EQ(stat(name_.c_str(), &before), 0);

    // Four characters fewer make up for the empty line a replacement adds.
    writer.SetEntry("#DIR_DEST", "C:\\BB\\");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, name_.c_str(), times, 0), 0);
    struct stat after {};
    ASSERT_EQ(stat(name_.c_str(), &after), 0);
    ASSERT_EQ(after.st_size, before.st_size);

    EXPECT_EQ(Get(&reader, "#DIR_DEST"), "C:\\BB\\");
}

TEST_F(TScriptTest, SplitsRecordsIntoTheCallersBuffers)
{
    const std::string title(63, 't');
    WriteFile(name_, "#ARQ0 C:\\a@b@\\c d@e 4294967295 0 GXXM\r\n\r\n#ARQ1 @x " + title + " 1 2 XXTX\r\n");
    TScript script(name_.c_str());
    std::vector<char> arq(512);
    std::vector<char> nome(64);
    uint32_t orig = 1;
    uint32_t comp = 1;
    int g = 0;
    int f = 1;
    int t = 1;
    int m = 0;
    script.LerArq(arq.data());
    script.LerCamposArq(arq.data(), nome.data(), &orig, &comp, &g, &f, &t, &m);
    EXPECT_STREQ(arq.data(), "C:\\a b \\c");
    EXPECT_STREQ(nome.data(), "d e");
    EXPECT_EQ(orig, 4294967295u);
    EXPECT_EQ(comp, 0u);
    EXPECT_EQ(g, 1);
    EXPECT_EQ(f, 0);
    EXPECT_EQ(t, 0);
    EXPECT_EQ(m, 1);
    script.LerArq(arq.data());
    script.LerCamposArq(arq.data(), nome.data(), &orig, &comp, &g, &f, &t, &m);
    EXPECT_STREQ(arq.data(), "@x");
    EXPECT_EQ(nome.data(), title);
    EXPECT_EQ(t, 1);
}

TEST_F(TScriptTest, DamagedRecordsAreReportedAndTheFacadeEndsTheProgram)
{
    const struct {
        std::string record;
        const char* reason;
    } cases[] = {
        {"a _ 1 2", "kelvo.se: Damaged setup script: the file record \"a _ 1 2\" has fewer than five"},
        {"a _ 1 2 XXXX more", "more than five"},
        {"a _ 99999999999 2 XXXX", "99999999999"},
        {"a _ 1 2 XX", "XX\" of the file record"},
    };
    for (const auto& c : cases) {
        testfs::WriteFile(name_, "#ARQ0 ok _ 1 1 XFXX\r\n#ARQ1 " + c.record + "\r\n");
        TScript script(name_.c_str());
        TListaDado lista;
        const Status status = script.TryLerRegistros(&lista);
        EXPECT_FALSE(status.Ok()) << c.record;
        EXPECT_NE((status.Caption() + ": " + status.Text()).find(c.reason), std::string::npos) << status.Text();
        EXPECT_EQ(lista.NDados(), 1) << "the records read before the damage";
    }
    TScript script(name_.c_str());
    std::vector<char> arq(512);
    std::vector<char> nome(64);
    uint32_t size = 0;
    int flag = 0;
    std::strcpy(arq.data(), "a _ 1 2");
    EXPECT_EXIT(script.LerCamposArq(arq.data(), nome.data(), &size, &size, &flag, &flag, &flag, &flag),
                ::testing::ExitedWithCode(1), "Damaged setup script");
}

TEST_F(TScriptTest, UnreadableScriptEndsTheProgram)
{
    // A socket exists as a file but cannot be opened, not even by root.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, name_.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);

    TScript script(name_.c_str());
    const Status status = script.Load();
    EXPECT_EQ(status.Caption() + ": " + status.Text(), "kelvo.se: Can't read file in \"TScript\"!");
    std::vector<char> buffer(512);
    EXPECT_EXIT(script.GetEntry("#A", buffer.data()), ::testing::ExitedWithCode(1),
                "kelvo.se: Can't read file in \"TScript\"!");
    EXPECT_EXIT(script.SetEntry("#A", "1"), ::testing::ExitedWithCode(1), "kelvo.se: Can't read file in \"TScript\"!");
}

TEST_F(TScriptTest, UnwritableFilesEndTheProgram)
{
    const std::string nowhere = "no-such-folder\\kelvo.se";
    TScript lost(nowhere.c_str());
    EXPECT_EXIT(lost.SetEntry("#A", "1"), ::testing::ExitedWithCode(1), "Can't write file in \"TScript\"!");

    WriteFile(name_, "#A 1\r\n");
    ASSERT_EQ(mkdir("arq.tmp", 0777), 0);  // cannot be opened as a file
    TScript script(name_.c_str());
    EXPECT_EXIT(script.SetEntry("#A", "2"), ::testing::ExitedWithCode(1), "Error!: Can't write \"arq.tmp\"!");
    EXPECT_EQ(ReadFile(name_), "#A 1\r\n");
}

}  // namespace
