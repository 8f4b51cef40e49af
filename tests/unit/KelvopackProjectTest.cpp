// Reading project files and refusing projects that would make a setup the
// installer cannot handle, before anything is written.
#include "FakePe.h"
#include "PackScratch.h"
#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "SetupProgram.h"
#include "ToolError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using packtest::Scratch;

std::string LoadError(const std::string& path)
{
    try {
        LoadProject(path);
    } catch (const ToolError& e) {
        return e.what();
    }
    return std::string();
}

// All problems of checking the project, joined one per line.
std::string CheckErrors(const std::string& path, const std::string& output, const std::string& stub)
{
    Project project;
    try {
        project = LoadProject(path);
    } catch (const ToolError& e) {
        return std::string("load: ") + e.what();
    }
    std::string joined;
    for (const std::string& p : CheckProject(&project, CheckInputs{output, stub}))
        joined += p + "\n";
    return joined;
}

class KelvopackProject : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub = dir.Path("stub.exe");
        packtest::WriteStub(stub);
        output = dir.Path("out/setup.exe");
    }

    std::string Project(const std::string& extra = std::string()) { return packtest::MakeProject(dir, extra); }
    std::string Errors(const std::string& project) { return CheckErrors(project, output, stub); }

    Scratch dir;
    std::string stub;
    std::string output;
};

TEST_F(KelvopackProject, ReadsSettingsDefaultsAndFilesInOrder)
{
    const std::string path = Project(
        "\n[[file]]\nsource = \"bin/app.exe\"\npath = \"bin/copy.exe\"\n"
        "modes = [\"typical\"]\n");
    const ::Project p = LoadProject(path);
    EXPECT_EQ(p.name, "Demo App");
    EXPECT_EQ(p.group, "Demo App");                             // defaults to the name
    EXPECT_EQ(p.destination, "C:\\Program Files\\Demo App\\");  // backslash added
    EXPECT_EQ(p.sourceFolder, "C:\\KELVO\\");
    EXPECT_EQ(p.modes.Letters(), "FTX");
    ASSERT_EQ(p.files.size(), 5u);
    EXPECT_EQ(p.files[0].path, "app.exe");  // the source's name
    EXPECT_EQ(p.files[0].title, "Demo App");
    EXPECT_EQ(p.files[0].modes.Letters(), "FTX");  // the modes offered
    // The folder's files in byte order of their paths, hidden ones left out.
    EXPECT_EQ(p.files[1].path, "Docs\\guide\\empty.txt");
    EXPECT_EQ(p.files[2].path, "Docs\\guide\\start here.txt");
    EXPECT_EQ(p.files[3].path, "Docs\\readme.txt");
    EXPECT_EQ(p.files[3].modes.Letters(), "FXX");
    // A [[file]] written after the [[folder]] comes after its files.
    EXPECT_EQ(p.files[4].path, "bin\\copy.exe");
    EXPECT_EQ(p.files[4].modes.Letters(), "XTX");
    EXPECT_TRUE(p.files[4].title.empty());
    EXPECT_EQ(Errors(path), "") << "the same file twice under two names is fine";
}

TEST_F(KelvopackProject, SyntaxErrorsNameFileLineAndColumn)
{
    const std::string path = dir.Path("bad.toml");
    packtest::WriteText(path, "name = \"x\"\ndestination = \n");
    const std::string error = LoadError(path);
    EXPECT_EQ(error.rfind(path + ":2:", 0), 0u) << error;
}

TEST_F(KelvopackProject, MistakesInSettingsNameTheirPlace)
{
    const std::string path = dir.Path("bad.toml");
    packtest::WriteText(path,
                        "name = \"x\"\ndestination = 'C:\\X\\'\nbitmap = 1\npresentation = \"p\"\n"
                        "agreement = \"a\"\ncolour = \"red\"\nmodes = [\"full\", \"quick\"]\n"
                        "[[file]]\nsource = \"f\"\ntitel = \"typo\"\n[[folder]]\npath = \"x\"\n");
    const std::string error = LoadError(path);
    EXPECT_NE(error.find(path + ":3:10: \"bitmap\" must be a string"), std::string::npos) << error;
    EXPECT_NE(error.find(path + ":6:1: unknown setting \"colour\""), std::string::npos) << error;
    EXPECT_NE(error.find("unknown mode \"quick\""), std::string::npos) << error;
    EXPECT_NE(error.find(path + ":10:1: unknown setting \"titel\" in [[file]]"), std::string::npos) << error;
    EXPECT_NE(error.find("[[folder]] without \"source\""), std::string::npos) << error;
}

TEST_F(KelvopackProject, MistakesOfNewAuthorsAreExplained)
{
    const std::string path = dir.Path("new.toml");
    const auto error = [&](const std::string& text) {
        packtest::WriteText(path, text);
        return LoadError(path);
    };
    const std::string required = "bitmap = 'b'\npresentation = 'p'\nagreement = 'a'\n";
    // A Windows path in double quotes: an unknown escape, or a control
    // character that an escape made.
    for (const char* destination : {"\"C:\\Program Files\\App\"", "\"C:\\new\"", "\"C:\\App\\\""}) {
        const std::string e = error("name = 'A'\ndestination = " + std::string(destination) + "\n" + required);
        EXPECT_NE(e.find(path + ":2:"), std::string::npos) << e;
        EXPECT_NE(e.find("write Windows paths in single quotes"), std::string::npos) << destination << "\n" << e;
    }
    EXPECT_EQ(error("name = 'A'\ndestination = \"C:\\\\App\\\\\"\n" + required).find("single quotes"),
              std::string::npos)
        << "doubled backslashes are right";

    // Unknown settings: the nearest known one, and where settings go. The
    // problems come in the order of the text.
    std::string e = error("name = 'A'\ndestination = 'C:\\A'\npublsher = 'x'\nVersion = '1'\ncolour = 1\n" + required +
                          "[[files]]\nsource = 'x'\n[[folder]]\nsource = 'docs'\nexclude = 'a/**, *.txt'\n"
                          "group = 'G'\nincude = ['*']\nmodes = 'full'\n");
    const size_t publisher = e.find(path +
                                    ":3:1: unknown setting \"publsher\": did you mean \"publisher\"? (known: name, "
                                    "publisher, version, group, destination, level, modes, source_folder, setup_path, "
                                    "bitmap, presentation, agreement, [[file]], [[folder]])");
    const size_t version = e.find(path + ":4:1: unknown setting \"Version\": did you mean \"version\"?");
    const size_t colour = e.find(path + ":5:1: unknown setting \"colour\" (known:");
    const size_t files = e.find(":9:3: unknown setting \"files\": did you mean \"file\"?");
    const size_t exclude = e.find(":13:11: \"exclude\" is a string; it takes an array: exclude = ['a/**', '*.txt']");
    const size_t group = e.find(
        ":14:1: \"group\" is set inside a [[folder]] table: settings of the whole setup come "
        "before the first [[file]] or [[folder]]");
    const size_t include = e.find(
        ":15:1: unknown setting \"incude\" in [[folder]]: did you mean \"include\"? (known: "
        "source, include, exclude, path, modes)");
    const size_t modes = e.find(":16:9: \"modes\" is a string; it takes an array: modes = ['full']");
    for (const size_t at : {publisher, version, colour, files, exclude, group, include, modes})
        ASSERT_NE(at, std::string::npos) << e;
    EXPECT_TRUE(publisher < version && version < colour && colour < files && files < exclude && exclude < group &&
                group < include && include < modes)
        << e;
}

TEST_F(KelvopackProject, MissingSettingsAreNamed)
{
    const std::string path = dir.Path("empty.toml");
    packtest::WriteText(path, "");
    const std::string error = LoadError(path);
    for (const char* what : {"no application", "no destination", "no bitmap", "no presentation", "no agreement"})
        EXPECT_NE(error.find(what), std::string::npos) << what << " in " << error;
}

TEST_F(KelvopackProject, NamesAreStoredInCodePage1252)
{
    const std::string path = Project(
        "\n[[file]]\nsource = \"bin/app.exe\"\npath = \"caf\xC3\xA9.exe\"\n"
        "title = \"Caf\xC3\xA9\"\n");
    const ::Project p = LoadProject(path);
    EXPECT_EQ(p.files.back().path, "caf\xE9.exe");
    EXPECT_EQ(p.files.back().title, "Caf\xE9");
    const std::string bad = Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"\xE4\xB8\xAD.exe\"\n");
    EXPECT_NE(LoadError(bad).find("code page 1252"), std::string::npos);
}

TEST_F(KelvopackProject, FolderMatchingNothingIsRefused)
{
    const std::string path = Project("\n[[folder]]\nsource = \"docs\"\ninclude = [\"*.pdf\"]\n");
    EXPECT_NE(LoadError(path).find("matches the patterns"), std::string::npos);
    const std::string missing = Project("\n[[folder]]\nsource = \"docs/../nowhere\"\n");
    EXPECT_NE(LoadError(missing).find(":20:10: the folder \"" + dir.Path("docs/../nowhere") +
                                      "\" does not exist (looked for " + dir.Path("nowhere") + ")"),
              std::string::npos)
        << LoadError(missing);
}

TEST_F(KelvopackProject, ASoundProjectPasses)
{
    EXPECT_EQ(Errors(Project()), "");
}

TEST_F(KelvopackProject, MissingInputFilesAreRefused)
{
    const std::string path = Project("\n[[file]]\nsource = \"bin/gone.exe\"\n");
    const std::string errors = Errors(path);
    EXPECT_NE(errors.find("bin/gone.exe\" (missing or not readable)"), std::string::npos) << errors;
    EXPECT_NE(errors.find(path + ":"), std::string::npos) << errors;
    // The resolved path, from the project file's folder.
    const std::string up = Project("\n[[file]]\nsource = \"bin/../gone.exe\"\n");
    EXPECT_NE(Errors(up).find("no file at " + dir.Path("gone.exe")), std::string::npos) << Errors(up);
    std::filesystem::remove(dir.Path("text/licen.txt"));
    EXPECT_NE(Errors(path).find("licen.txt"), std::string::npos);
}

TEST_F(KelvopackProject, FilesOverFourGigabytesAreRefused)
{
    // Sparse: no disk space is used.
    const std::string path = Project("\n[[file]]\nsource = \"big.bin\"\n");
    packtest::WriteText(dir.Path("big.bin"), "");
    std::filesystem::resize_file(dir.Path("big.bin"), uint64_t(1) << 32);
    EXPECT_NE(Errors(path).find("has 4294967296 bytes"), std::string::npos);
    std::filesystem::resize_file(dir.Path("big.bin"), (uint64_t(1) << 32) - 1);
    EXPECT_EQ(Errors(path), "");
}

TEST_F(KelvopackProject, UnsafeDestinationPathsAreRefused)
{
    for (const char* bad : {"../up.exe", "C:/abs.exe", "/root.exe", "a@b.exe", "x/../../y.exe"}) {
        const std::string path = Project(std::string("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"") + bad + "\"\n");
        EXPECT_NE(Errors(path), "") << bad;
    }
}

TEST_F(KelvopackProject, BadTitlesAndGroupsAreRefused)
{
    const std::string longTitle = std::string(64, 't');
    for (const std::string& bad : {longTitle, std::string("a,b"), std::string("a@b"), std::string(" lead")}) {
        const std::string path = Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"t.exe\"\ntitle = \"" + bad +
                                         "\"\n");
        EXPECT_NE(Errors(path).find("item title"), std::string::npos) << bad;
    }
    EXPECT_NE(
        LoadError(Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"t.exe\"\ntitle = \"\"\n")).find("empty"),
        std::string::npos);
    packtest::WriteText(dir.Path("g.toml"),
                        "name = \"N\"\ngroup = \"Tools, Extra\"\ndestination = 'C:\\N\\'\n"
                        "bitmap = \"art/kelvo.bmp\"\npresentation = \"text/pres.txt\"\n"
                        "agreement = \"text/licen.txt\"\n[[file]]\nsource = \"bin/app.exe\"\n");
    Project();  // the files
    EXPECT_NE(Errors(dir.Path("g.toml")).find(dir.Path("g.toml") + ":2:9: the group name"), std::string::npos);
}

TEST_F(KelvopackProject, NamesThatWouldNotComeBackUnchangedAreRefusedWithTheSetupsReasons)
{
    const std::string device = Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"sub/nul.txt\"\n");
    EXPECT_NE(Errors(device).find("\"sub\\nul.txt\" holds \"nul.txt\", a name Windows reserves for a device"),
              std::string::npos)
        << Errors(device);
    const std::string title = Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"t.exe\"\ntitle = \"CON\"\n");
    EXPECT_NE(Errors(title).find("the item title \"CON\" is \"CON\", a name Windows reserves"), std::string::npos)
        << Errors(title);
    const std::string tail =
        "bitmap = \"art/kelvo.bmp\"\npresentation = \"text/pres.txt\"\n"
        "agreement = \"text/licen.txt\"\n[[file]]\nsource = \"bin/app.exe\"\n";
    packtest::WriteText(dir.Path("g.toml"), "name = \"N\"\ngroup = \"My@Apps\"\ndestination = 'C:\\CON\\'\n" + tail);
    Project();  // the files
    const std::string errors = Errors(dir.Path("g.toml"));
    EXPECT_NE(errors.find(dir.Path("g.toml") + ":2:9: the group name \"My@Apps\" cannot hold \"@\""), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("the destination folder: \"C:\\CON\\\" holds \"CON\""), std::string::npos) << errors;
    packtest::WriteText(dir.Path("g.toml"), "name = \"N\"\ngroup = \"My Apps.\"\ndestination = 'C:\\N\\'\n" + tail);
    EXPECT_NE(Errors(dir.Path("g.toml")).find("ends with a dot"), std::string::npos);
    packtest::WriteText(dir.Path("g.toml"), "name = \"N\"\ngroup = \"My Apps\"\ndestination = 'C:\\N\\'\n" + tail);
    EXPECT_EQ(Errors(dir.Path("g.toml")), "");
}

TEST_F(KelvopackProject, DuplicateAndClashingDestinationsAreRefused)
{
    const std::string twice = Project("\n[[file]]\nsource = \"text/pres.txt\"\npath = \"APP.EXE\"\n");
    EXPECT_NE(Errors(twice).find("two files go to \"APP.EXE\""), std::string::npos);
    const std::string clash = Project("\n[[file]]\nsource = \"text/pres.txt\"\npath = \"app.exe/inside.txt\"\n");
    EXPECT_NE(Errors(clash).find("needs a folder where the file"), std::string::npos);
    const std::string reserved = Project("\n[[file]]\nsource = \"text/pres.txt\"\npath = \"modo.se\"\n");
    EXPECT_NE(Errors(reserved).find("the setup itself uses"), std::string::npos);
    const std::string self = Project("\n[[file]]\nsource = \"text/pres.txt\"\npath = \"setup.exe\"\n");
    EXPECT_NE(Errors(self).find("the setup itself uses"), std::string::npos);
}

TEST_F(KelvopackProject, TwoDisplayRolesNamingOneFileAreRefused)
{
    const std::string path = Project();
    std::string text = packtest::ReadText(path);
    text.replace(text.find("text/licen.txt"), 14, "text/../text/pres.txt");
    packtest::WriteText(path, text);
    EXPECT_NE(Errors(path).find("the agreement text names the same file as the presentation text"), std::string::npos);
}

TEST_F(KelvopackProject, DisplayFilesAreChecked)
{
    const std::string path = Project();
    packtest::WriteText(dir.Path("art/kelvo.bmp"), "GIF89a");
    EXPECT_NE(Errors(path).find("is no BMP file"), std::string::npos);
}

TEST_F(KelvopackProject, AProjectWithoutInstallableFilesIsRefused)
{
    Project();
    packtest::WriteText(dir.Path("none.toml"),
                        "name = \"N\"\ndestination = 'C:\\N\\'\nbitmap = \"art/kelvo.bmp\"\n"
                        "presentation = \"text/pres.txt\"\nagreement = \"text/licen.txt\"\n");
    EXPECT_NE(Errors(dir.Path("none.toml")).find("no file to install"), std::string::npos);
    // A file in no offered mode would never be installed either.
    const std::string unused = Project(
        "\n[[file]]\nsource = \"text/pres.txt\"\npath = \"m.txt\"\nmodes = [\"minimal\"]\n");
    EXPECT_NE(Errors(unused).find("never be installed"), std::string::npos);
}

TEST_F(KelvopackProject, TheOutputMayNotBeAnInput)
{
    const std::string path = Project();
    for (const std::string& input :
         {path, stub, dir.Path("bin/app.exe"), dir.Path("docs/readme.txt"), dir.Path("text/../text/pres.txt")}) {
        const std::string errors = CheckErrors(path, input, stub);
        EXPECT_NE(errors.find("the output is"), std::string::npos) << input << "\n" << errors;
    }
    EXPECT_NE(CheckErrors(path, dir.Path("docs"), stub).find("the output is a folder"), std::string::npos);
}

TEST_F(KelvopackProject, LimitsOfTheScriptAndTheInstallerAreKept)
{
    // Names over 255 characters after the source folder is cut off.
    const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(20, 'f');
    EXPECT_NE(Errors(Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"" + deep + "\"\n")).find("file table"),
              std::string::npos);
    // Installed paths over 511 characters.
    std::string longer;
    for (int i = 0; i < 3; ++i)
        longer += std::string(200, 'a' + i) + "/";
    longer += "x.exe";
    EXPECT_NE(Errors(Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"" + longer + "\"\n")), "");
    // A program item whose command would not fit 255 characters.
    const std::string path200 = std::string(150, 'p') + "/" + std::string(40, 'q') + ".exe";
    EXPECT_NE(Errors(Project("\n[[file]]\nsource = \"bin/app.exe\"\npath = \"" + path200 + "\"\ntitle = \"" +
                             std::string(60, 't') + "\"\n"))
                  .find("program group command"),
              std::string::npos);
}

TEST_F(KelvopackProject, SourceFolderMustLeaveTheDisplayRecordsANameEach)
{
    const std::string ok = Project("source_folder = 'D:\\Build\\Out'\n");
    // Inserted before the tables: settings must come first in TOML.
    std::string text = packtest::ReadText(ok);
    const std::string line = "source_folder = 'D:\\Build\\Out'\n";
    text.erase(text.find(line), line.size());
    text = line + text;
    packtest::WriteText(ok, text);
    EXPECT_EQ(Errors(ok), "");
    EXPECT_EQ(LoadProject(ok).sourceFolder, "D:\\Build\\Out\\");

    text.replace(0, line.size(), "source_folder = 'D:\\A Much Longer Folder\\'\n");
    packtest::WriteText(ok, text);
    EXPECT_NE(Errors(ok).find("at most 23"), std::string::npos);
    text.replace(0, text.find('\n'), "source_folder = 'D:\\a@b\\'");
    packtest::WriteText(ok, text);
    EXPECT_NE(Errors(ok).find("\"@\""), std::string::npos);
}

TEST_F(KelvopackProject, DestinationFolderMustBeADrivePath)
{
    std::string text = packtest::ReadText(Project());
    const std::string from = "destination = 'C:\\Program Files\\Demo App'";
    for (const char* bad :
         {"destination = 'C:\\'", "destination = 'Program Files'", "destination = '\\\\server\\share'"}) {
        std::string t = text;
        t.replace(t.find(from), from.size(), bad);
        packtest::WriteText(dir.Path("demo.toml"), t);
        EXPECT_NE(Errors(dir.Path("demo.toml")).find("the destination folder"), std::string::npos) << bad;
    }
}

TEST_F(KelvopackProject, OnlyTheBareSetupProgramForTheLevelIsAStub)
{
    const std::string project = Project();
    const auto errors = [&](const std::vector<uint8_t>& bytes) {
        packtest::WriteBytes(stub, bytes);
        return Errors(project);
    };
    const std::string notSetup = stub + ": the stub is no Kelvo setup program (kelvo.exe or kelvo-admin.exe): ";
    EXPECT_EQ(errors({}), notSetup + "it is no Windows program\n");
    EXPECT_EQ(errors({'G', 'I', 'F', '8', '9', 'a'}), notSetup + "it is no Windows program\n");
    // A Windows program of another kind: no resources, or not the setup's.
    const std::string lacks = notSetup + "it lacks the setup's dialogs (\"IDD_PROGRESS\", 6 and 32253)\n";
    EXPECT_EQ(errors(fakepe::Image()), lacks);
    EXPECT_EQ(errors(fakepe::SetupProgram("asInvoker", false)), lacks);
    std::vector<uint8_t> console = fakepe::SetupProgram();
    console[fakepe::kPeOffset + 24 + 68] = 3;
    EXPECT_NE(errors(console).find("no Windows program with a window"), std::string::npos);

    // The setup program, but signed, or a finished setup.
    std::vector<uint8_t> signedStub = fakepe::SetupProgram();
    fakepe::Sign(signedStub, 256);
    EXPECT_EQ(errors(signedStub), stub +
                                      ": the stub is signed; appending a package breaks its signature: use an "
                                      "unsigned stub and sign the finished setup\n");
    std::vector<uint8_t> setup = fakepe::SetupProgram();
    setup.insert(setup.end(), 10, 'x');
    EXPECT_EQ(errors(setup), stub +
                                 ": the stub carries 10 bytes behind its program: it is a finished setup, not "
                                 "the setup program\n");

    // Rights: what its manifest asks for is what the project's level says.
    EXPECT_EQ(errors(fakepe::SetupProgram("requireAdministrator")),
              stub +
                  ": the stub asks for an administrator's rights, but the project's level is \"user\": use "
                  "kelvo.exe, or set level = \"admin\"\n");
    EXPECT_EQ(errors(fakepe::SetupProgram("")), "") << "a manifest that says neither";
    EXPECT_EQ(errors(fakepe::SetupProgram()), "");

    EXPECT_NE(CheckErrors(project, output, dir.Path("nostub.exe")).find("cannot read the stub"), std::string::npos);
    // No stub chosen yet (kelvopack init): nothing to read, nothing said.
    EXPECT_EQ(CheckErrors(project, output, std::string()), "");
}

TEST(KelvopackStub, DamagedResourcesAreReadWithinTheFile)
{
    packtest::Scratch dir;
    const std::string path = dir.Path("stub.exe");
    const std::vector<uint8_t> good = fakepe::SetupProgram();
    SetupProgram program;
    std::string why;
    // Cut anywhere before the dialogs' bytes: never the setup program.
    for (size_t cut = 0; cut < 0x200 + 316; cut += cut < 0x200 ? 37 : 3) {
        packtest::WriteBytes(path, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_FALSE(program.Inspect(path, &why)) << cut;
    }
    // Any byte of the tree changed: read, or refused, without reading
    // outside it (the sanitizer builds watch); the name is part of the test.
    for (size_t at = 0x200; at < 0x200 + 300; ++at) {
        std::vector<uint8_t> bytes = good;
        bytes[at] ^= at % 2 == 0 ? 0xFF : 0x80;
        packtest::WriteBytes(path, bytes);
        const bool passed = program.Inspect(path, &why);
        if (at >= 0x200 + 258 && at < 0x200 + 258 + 24 && at % 2 == 0) {
            EXPECT_FALSE(passed) << "a changed letter of IDD_PROGRESS at " << at;
        }
    }
}

}  // namespace
