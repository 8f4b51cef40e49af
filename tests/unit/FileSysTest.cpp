#include "File.h"
#include "FileSys.h"
#include "FullDisk.h"
#include "ScratchDisk.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using testfs::Exists;
using testfs::ReadFile;
using testfs::WriteFile;

std::string Converted(void (*convert)(char*), const std::string& text)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    convert(buffer.data());
    return buffer.data();
}

std::string Rectified(const std::string& path, size_t size = 512)
{
    std::vector<char> buffer(size, '#');
    Rectify(buffer.data(), path.c_str(), size);
    return std::string(buffer.data());
}

TEST(FileSysNames, RetificaAndNormalizaSkipTheFirstCharacter)
{
    EXPECT_EQ(Converted(Normaliza, "@abc@de"), "@abc de");
    EXPECT_EQ(Converted(Retifica, " My App"), " My@App");
    EXPECT_EQ(Converted(Retifica, "My Great  App "), "My@Great@@App@");
    EXPECT_EQ(Converted(Normaliza, "My@Great@@App@"), "My Great  App ");
    EXPECT_EQ(Converted(Retifica, " "), " ");
    EXPECT_EQ(Converted(Normaliza, "@"), "@");
    EXPECT_EQ(Converted(Retifica, ""), "");
    EXPECT_EQ(Converted(Normaliza, Converted(Retifica, "Kelvo Demo Group")), "Kelvo Demo Group");
    EXPECT_EQ(Converted(Normaliza, Converted(Retifica, "a@b c")), "a b c");  // "@" is not kept
}

TEST(FileSysNames, RectifyTakesTheNameAfterTheLastBackslash)
{
    EXPECT_EQ(Rectified("C:\\WINDOWS\\SETUP.EXE"), "SETUP.EXE");
    EXPECT_EQ(Rectified("SETUP.EXE"), "SETUP.EXE");
    EXPECT_EQ(Rectified("C:\\APP\\"), "");
    EXPECT_EQ(Rectified("C:SETUP.EXE"), "C:SETUP.EXE");
    EXPECT_EQ(Rectified("dir/sub/SETUP.EXE"), "dir/sub/SETUP.EXE");  // only "\" counts
    EXPECT_EQ(Rectified("C:\\WINDOWS\\SETUP.EXE", 6), "SETUP");
    EXPECT_EQ(Rectified(std::string(600, 'n')), std::string(511, 'n'));

    char same[] = "C:\\WINDOWS\\SETUP.EXE";
    Rectify(same, same, sizeof same);
    EXPECT_STREQ(same, "SETUP.EXE");
    char untouched[] = "x";
    Rectify(untouched, "abc", 0);
    EXPECT_STREQ(untouched, "x");
}

class FileSysDisk : public ::testing::Test {
protected:
    std::string At(const std::string& name) const { return folder_.Path(name); }
    bool IsFolder(const std::string& name) const
    {
        return std::filesystem::is_directory(std::filesystem::symlink_status(At(name)));
    }

    TempDir folder_{false};
};

TEST_F(FileSysDisk, CopyFromAppendsARangeWhereTheFileStandsAndSaysWhenItCannot)
{
    const std::vector<uint8_t> source = testdata::Generate(3000000, 4, 0.5);
    WriteFile(At("source"), std::string(source.begin(), source.end()));
    File from(At("source").c_str(), "rb");
    ASSERT_TRUE(from.IsOpen());
    uint8_t first[10];
    ASSERT_EQ(from.Read(first, sizeof first), sizeof first);  // the source's own position does not matter
    {
        File out(At("out").c_str(), "w+b");
        ASSERT_TRUE(out.Write("head", 4));  // still in the stream's buffer
        ASSERT_TRUE(out.CopyFrom(from, 1000, 2500000));
        ASSERT_TRUE(out.Write("tail", 4));
        EXPECT_TRUE(out.CopyFrom(from, 0, 0));
        EXPECT_FALSE(out.CopyFrom(from, 2999990, 11)) << "the source holds fewer";
        ASSERT_TRUE(out.Close());
    }
    std::string expected = "head";
    expected.append(source.begin() + 1000, source.begin() + 1000 + 2500000);
    expected += "tail";
    const std::string written = ReadFile(At("out"));
    EXPECT_EQ(written.substr(0, expected.size()), expected);

    if (FullDisk::Enforced()) {
        File out(At("full").c_str(), "wb");
        bool copied = true;
        {
            FullDisk full(1 << 20);
            copied = out.CopyFrom(from, 0, 2500000);
        }
        EXPECT_FALSE(copied) << "a copy that does not fit is no success";
    }
}

// MakePath

TEST_F(FileSysDisk, MakePathCreatesEveryFolderBeforeTheFileName)
{
    testfs::InFolder here(folder_.Path());
    MakePath("APP\\SUB\\FILE.EXE");
    EXPECT_TRUE(IsFolder("APP"));
    EXPECT_TRUE(IsFolder("APP/SUB"));
    EXPECT_FALSE(Exists(At("APP/SUB/FILE.EXE")));

    MakePath("APP\\SUB\\FILE.EXE");  // existing folders are no error
    WriteFile(At("APP/keep"), "k");
    MakePath("OTHER\\");
    EXPECT_TRUE(IsFolder("OTHER"));
    MakePath("FILE.EXE");
    EXPECT_FALSE(Exists(At("FILE.EXE")));
    EXPECT_EQ(ReadFile(At("APP/keep")), "k");
}

TEST_F(FileSysDisk, MakePathTakesAbsolutePathsAndSkipsTheDriveRoot)
{
    MakePath(folder_.Windows("ABS\\DEEP\\x.dll").c_str());
    EXPECT_TRUE(IsFolder("ABS/DEEP"));

    testfs::InFolder here(folder_.Path());
    // Nothing is created at the backslash after a colon: no folder "C:".
    MakePath("C:\\APP\\FILE.EXE");
    EXPECT_FALSE(Exists(At("C:")));
    ASSERT_EQ(mkdir(At("C:").c_str(), 0777), 0);
    MakePath("C:\\APP\\SUB\\FILE.EXE");
    EXPECT_TRUE(IsFolder("C:/APP/SUB"));
    EXPECT_FALSE(Exists(At("C:/APP/SUB/FILE.EXE")));
}

TEST_F(FileSysDisk, MakePathHandlesPathsBeyond511Characters)
{
    testfs::InFolder here(folder_.Path());
    std::string path;
    for (int i = 0; i < 12; ++i)
        path += std::string(50, static_cast<char>('a' + i)) + "\\";
    MakePath((path + "file").c_str());
    std::string native = path;
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    EXPECT_GT(path.size(), 600u);
    EXPECT_TRUE(IsFolder(native));
}

// DelTree

// Makes one file impossible to delete for the length of a test: immutable
// for root, or its folder write-protected for anyone else.
class Undeletable {
public:
    explicit Undeletable(const std::string& file) : file_(file)
    {
        immutable_ = SetImmutable(true);
        if (!immutable_ && geteuid() != 0) {
            folder_ = std::filesystem::path(file).parent_path().string();
            protected_ = chmod(folder_.c_str(), 0555) == 0;
        }
    }
    ~Undeletable()
    {
        if (immutable_)
            SetImmutable(false);
        if (protected_)
            chmod(folder_.c_str(), 0755);
    }
    Undeletable(const Undeletable&) = delete;
    Undeletable& operator=(const Undeletable&) = delete;

    bool Ok() const { return immutable_ || protected_; }

private:
    bool SetImmutable(bool on)
    {
        const int fd = open(file_.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        close(fd);
        return ok;
    }

    std::string file_;
    std::string folder_;
    bool immutable_ = false;
    bool protected_ = false;
};

TEST_F(FileSysDisk, DelTreeRemovesTheWholeTree)
{
    ASSERT_EQ(mkdir(At("tree").c_str(), 0777), 0);
    std::filesystem::create_directories(At("tree/a/b/c"));
    std::filesystem::create_directories(At("tree/empty"));
    WriteFile(At("tree/top.txt"), "1");
    WriteFile(At("tree/a/one"), "2");
    WriteFile(At("tree/a/b/c/deep"), "3");
    WriteFile(At("tree/a/b/.hidden"), "4");
    chmod(At("tree/a/one").c_str(), 0444);  // permissions are not attributes here
    WriteFile(At("beside"), "kept");

    DelTree(folder_.Windows("tree\\").c_str());
    EXPECT_FALSE(Exists(At("tree")));
    EXPECT_EQ(ReadFile(At("beside")), "kept");
}

TEST_F(FileSysDisk, DelTreeRemovesAnEmptyFolderAndTakesAPathWithoutBackslash)
{
    ASSERT_EQ(mkdir(At("empty").c_str(), 0777), 0);
    DelTree(folder_.Windows("empty\\").c_str());
    EXPECT_FALSE(Exists(At("empty")));

    std::filesystem::create_directories(At("plain/sub"));
    WriteFile(At("plain/sub/f"), "x");
    WriteFile(At("plainfile"), "a name that starts like the folder");
    DelTree(folder_.Windows("plain").c_str());
    EXPECT_FALSE(Exists(At("plain")));
    EXPECT_TRUE(Exists(At("plainfile")));

    DelTree(folder_.Windows("missing\\").c_str());  // returns quietly
    EXPECT_TRUE(Exists(folder_.Path()));
}

TEST_F(FileSysDisk, DelTreeKeepsWhatCannotBeDeletedAndTheFoldersAboveIt)
{
    std::filesystem::create_directories(At("tree/locked"));
    std::filesystem::create_directories(At("tree/other/empty"));
    WriteFile(At("tree/locked/readonly"), "r");
    WriteFile(At("tree/other/file"), "f");
    WriteFile(At("tree/top"), "t");
    {
        Undeletable lock(At("tree/locked/readonly"));
        ASSERT_TRUE(lock.Ok()) << "no way to protect a file here";
        DelTree(folder_.Windows("tree\\").c_str());
        EXPECT_TRUE(Exists(At("tree/locked/readonly")));
    }
    EXPECT_TRUE(IsFolder("tree/locked"));
    EXPECT_TRUE(IsFolder("tree"));
    EXPECT_FALSE(Exists(At("tree/other")));
    EXPECT_FALSE(Exists(At("tree/top")));
    EXPECT_EQ(ReadFile(At("tree/locked/readonly")), "r");
}

TEST_F(FileSysDisk, DelTreeRemovesLinksWithoutFollowingThem)
{
    std::filesystem::create_directories(At("outside/inner"));
    WriteFile(At("outside/precious"), "p");
    WriteFile(At("outside/inner/more"), "m");
    std::filesystem::create_directories(At("tree/sub"));
    std::filesystem::create_directory_symlink(At("outside"), At("tree/to-folder"));
    std::filesystem::create_directory_symlink(At("outside"), At("tree/sub/again"));
    std::filesystem::create_symlink(At("outside/precious"), At("tree/to-file"));
    std::filesystem::create_symlink(At("nowhere"), At("tree/dangling"));

    DelTree(folder_.Windows("tree\\").c_str());
    EXPECT_FALSE(Exists(At("tree")));
    EXPECT_EQ(ReadFile(At("outside/precious")), "p");
    EXPECT_EQ(ReadFile(At("outside/inner/more")), "m");
}

TEST_F(FileSysDisk, DelTreeHandlesPathsBeyond511Characters)
{
    std::string relative = "tree";
    for (int i = 0; i < 12; ++i)
        relative += "/" + std::string(50, static_cast<char>('a' + i));
    std::filesystem::create_directories(At(relative));
    WriteFile(At(relative + "/file"), "x");
    EXPECT_GT(At(relative).size(), 600u);
    DelTree(folder_.Windows("tree\\").c_str());
    EXPECT_FALSE(Exists(At("tree")));
}

TEST(FileSysRoots, RootPathsAreRecognised)
{
    for (const char* root :
         {"", "C:", "C:\\", "c:\\\\", "C:/", "\\", "/", "\\\\", "/\\/", "\\\\server", "\\\\server\\share",
          "\\\\server\\share\\", "//server/share/", "\\\\?\\C:\\", "\\\\.\\D:", "\\\\?\\UNC\\server\\share\\"})
        EXPECT_TRUE(IsRootPath(root)) << root;
    for (const char* folder : {"C:\\APP\\", "\\APP", "/tmp/x/", "APP\\", "C:APP", "1:\\", ".\\",
                               "\\\\server\\share\\APP\\", "\\\\?\\C:\\APP\\", "\\\\?\\UNC\\server\\share\\APP"})
        EXPECT_FALSE(IsRootPath(folder)) << folder;
}

TEST_F(FileSysDisk, DelTreeRefusesADriveRootAndTheEmptyPath)
{
    // On this system "C:" is an ordinary folder name, so a refusal that
    // failed would show here without harm.
    testfs::InFolder here(folder_.Path());
    std::filesystem::create_directories(At("C:/APP"));
    WriteFile(At("C:/APP/file"), "x");
    WriteFile(At("current"), "y");
    DelTree("C:\\");
    DelTree("C:");
    DelTree("");
    EXPECT_TRUE(Exists(At("C:/APP/file")));
    EXPECT_TRUE(Exists(At("current")));
}

// CopyExe

TEST_F(FileSysDisk, CopyExeCopiesEveryByte)
{
    const std::vector<uint8_t> data = testdata::Generate(300000, 11, 0.3);
    WriteFile(At("SETUP.EXE"), std::string(data.begin(), data.end()));
    WriteFile(At("dest.exe"), std::string(400000, 'o'));  // longer: emptied first
    CopyExe(folder_.Windows().c_str(), "SETUP.EXE", folder_.Windows("dest.exe").c_str());
    EXPECT_EQ(ReadFile(At("dest.exe")), std::string(data.begin(), data.end()));

    WriteFile(At("empty"), "");
    testfs::InFolder here(folder_.Path());
    CopyExe(folder_.Windows().c_str(), "empty", "relative.copy");
    EXPECT_TRUE(Exists(At("relative.copy")));
    EXPECT_EQ(ReadFile(At("relative.copy")), "");
}

TEST_F(FileSysDisk, CopyExeOntoItselfKeepsTheFile)
{
    WriteFile(At("SETUP.EXE"), "the program and its package");
    ASSERT_EQ(mkdir(At("sub").c_str(), 0777), 0);
    CopyExe(folder_.Windows().c_str(), "SETUP.EXE", folder_.Windows("SETUP.EXE").c_str());
    CopyExe(folder_.Windows().c_str(), "SETUP.EXE", folder_.Windows("sub\\..\\SETUP.EXE").c_str());
    testfs::InFolder here(folder_.Path());
    CopyExe(folder_.Windows().c_str(), "SETUP.EXE", "SETUP.EXE");
    EXPECT_EQ(ReadFile(At("SETUP.EXE")), "the program and its package");
}

TEST_F(FileSysDisk, CopyExeReportsAnUnreadableSourceAfterEmptyingTheDestination)
{
    WriteFile(At("dest"), "old content");
    const Status missing = TryCopyExe(folder_.Windows().c_str(), "MISSING.EXE", folder_.Windows("dest").c_str());
    EXPECT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Text(), "is -> bad() || !is -> good()");
    EXPECT_EQ(missing.Caption(), "CopyExe");
    EXPECT_TRUE(Exists(At("dest")));
    EXPECT_EQ(ReadFile(At("dest")), "");
    EXPECT_FALSE(TryCopyExe(folder_.Windows().c_str(), "MISSING.EXE", folder_.Windows("new").c_str()).Ok());
    EXPECT_TRUE(Exists(At("new")));

    // A folder opens as a stream on this system but cannot be read.
    ASSERT_EQ(mkdir(At("folder").c_str(), 0777), 0);
    const Status unread = TryCopyExe(folder_.Windows().c_str(), "folder", folder_.Windows("dest").c_str());
    EXPECT_EQ(unread.Text(), "is -> bad() || !is -> good()");
    EXPECT_FALSE(Exists(At("dest")));

    // The program's own call shows the message and ends.
    EXPECT_EXIT(CopyExe(folder_.Windows().c_str(), "MISSING.EXE", folder_.Windows("dest").c_str()),
                ::testing::ExitedWithCode(1), "CopyExe: is -> bad\\(\\) \\|\\| !is -> good\\(\\)");
}

TEST_F(FileSysDisk, CopyExeReportsADestinationThatCannotBeWrittenAndRemovesIt)
{
    WriteFile(At("SETUP.EXE"), "x");
    const Status nowhere = TryCopyExe(folder_.Windows().c_str(), "SETUP.EXE",
                                      folder_.Windows("no-folder\\SETUP.EXE").c_str());
    EXPECT_FALSE(nowhere.Ok());
    EXPECT_EQ(nowhere.Text(), "Can't write \"" + folder_.Windows("no-folder\\SETUP.EXE") + "\"!");
    EXPECT_EQ(nowhere.Caption(), "CopyExe");
    if (!FullDisk::Enforced())
        GTEST_SKIP() << "this system does not enforce file size limits";
    WriteFile(At("BIG.EXE"), std::string(100000, 'x'));
    Status full;
    {
        FullDisk limit(4096);
        full = TryCopyExe(folder_.Windows().c_str(), "BIG.EXE", folder_.Windows("copy").c_str());
    }
    EXPECT_EQ(full.Text(), "Can't write \"" + folder_.Windows("copy") + "\"!");
    EXPECT_FALSE(Exists(At("copy")));  // no half copy left behind
}

}  // namespace
