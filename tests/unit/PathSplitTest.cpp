#include "PathSplit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC; trail bytes
// 0x40-0xFC, 0x5C among them.
bool IsLead932(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// "表" (0x95 0x5C) and "ソ" (0x83 0x5C) end in the byte of a backslash.
const std::string kHyou = "\x95\x5C";
const std::string kSo = "\x83\x5C";

}  // namespace

TEST(PathSplit, TrailBytesOfDoubleByteCharactersAreNoSeparators)
{
    const std::string folder = "C:\\" + kHyou + "\\" + kSo + "ft";
    const std::string path = folder + "\\setup" + kSo + ".exe";
    EXPECT_EQ(pathsplit::LastSeparator(path, &IsLead932), folder.size());
    EXPECT_EQ(pathsplit::FileName(path, &IsLead932), "setup" + kSo + ".exe");
    EXPECT_EQ(pathsplit::FolderName(path, &IsLead932), folder);

    // A name that ends in such a character: its last byte is not where the
    // path splits.
    const std::string trailing = "C:\\Apps\\" + kHyou;
    EXPECT_EQ(pathsplit::FileName(trailing, &IsLead932), kHyou);
    EXPECT_EQ(pathsplit::FolderName(trailing, &IsLead932), "C:\\Apps");
    // Read byte by byte the same path splits inside the character.
    EXPECT_EQ(pathsplit::FileName(trailing, &pathsplit::NoLeadBytes), "");
    EXPECT_EQ(pathsplit::FolderName(trailing, &pathsplit::NoLeadBytes), "C:\\Apps\\\x95");

    // Two characters in a row, then a real separator right behind them.
    const std::string pair = kHyou + kSo + "\\x";
    EXPECT_EQ(pathsplit::LastSeparator(pair, &IsLead932), 4u);
}

TEST(PathSplit, PlainPathsAndEdges)
{
    EXPECT_EQ(pathsplit::FileName("C:\\Program Files\\Demo\\setup.exe", &IsLead932), "setup.exe");
    EXPECT_EQ(pathsplit::FolderName("C:\\Program Files\\Demo\\setup.exe", &IsLead932), "C:\\Program Files\\Demo");
    EXPECT_EQ(pathsplit::LastSeparator("setup.exe", &IsLead932), std::string::npos);
    EXPECT_EQ(pathsplit::FileName("setup.exe", &IsLead932), "setup.exe");
    EXPECT_EQ(pathsplit::FolderName("setup.exe", &IsLead932), "");
    EXPECT_EQ(pathsplit::FileName("", &IsLead932), "");
    EXPECT_EQ(pathsplit::FileName("C:\\", &IsLead932), "");
    EXPECT_EQ(pathsplit::FolderName("C:\\", &IsLead932), "C:");
    // A lead byte as the very last byte (a cut path) takes nothing along
    // and reads nothing behind the end.
    EXPECT_EQ(pathsplit::LastSeparator("a\\b\x95", &IsLead932), 1u);
    // In a single-byte code page the same bytes are letters.
    EXPECT_EQ(pathsplit::FileName("C:\\\xE9t\xE9\\\xFC.txt", &pathsplit::NoLeadBytes), "\xFC.txt");
    // Read as code page 932 the same bytes hide the second separator.
    EXPECT_EQ(pathsplit::LastSeparator("C:\\\xE9t\xE9\\\xFC.txt", &IsLead932), 2u);
}
