#include "GroupCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using groupcommand::kCommandSize;
using groupcommand::kMaxCommandLength;
using Names = std::vector<std::string>;

// The command buffer with guard bytes behind it, to see that nothing is
// written past its 256 bytes.
struct Guarded {
    groupcommand::CommandBuffer buffer;
    char guard[32];

    Guarded()
    {
        std::memset(buffer, '#', sizeof buffer);
        std::memset(guard, '#', sizeof guard);
    }
    bool GuardIntact() const { return std::string(guard, sizeof guard) == std::string(sizeof guard, '#'); }
};

// A reply as the service sends it: each name followed by CR LF.
std::string Reply(const Names& names)
{
    std::string text;
    for (const std::string& name : names)
        text += name + "\r\n";
    return text;
}

// The first Len bytes of a reply in a buffer of exactly Len bytes (zeros
// after a shorter reply), so that a read beyond them is an error under ASan.
Names Split(const std::string& reply, size_t Len)
{
    std::vector<char> list(Len, '\0');
    std::copy_n(reply.begin(), std::min(Len, reply.size()), list.begin());
    return groupcommand::SplitGroups(list.data(), Len);
}

Names SplitExact(const std::string& bytes)
{
    return Split(bytes, bytes.size());
}

TEST(GroupCommandFormat, EachCommandHasItsTextAndAddItemQuotesOnlyTheCommandLine)
{
    Guarded g;
    ASSERT_TRUE(groupcommand::CreateGroup(g.buffer, "Kelvo Demo"));
    EXPECT_STREQ(g.buffer, "[CreateGroup(Kelvo Demo)]");
    ASSERT_TRUE(groupcommand::AddItem(g.buffer, "C:\\Apps\\Demo\\demo.exe", "Demo"));
    EXPECT_STREQ(g.buffer, "[AddItem(\"C:\\Apps\\Demo\\demo.exe\", Demo)]");
    // The name goes in bare: what follows a comma reaches the service as
    // further arguments, which is how the uninstall item gets its icon.
    ASSERT_TRUE(groupcommand::AddItem(g.buffer, "C:\\Apps\\Demo\\setup.exe",
                                      "Uninstall, C:\\windows\\SYSTEM\\shell32.dll, 58"));
    EXPECT_STREQ(g.buffer, "[AddItem(\"C:\\Apps\\Demo\\setup.exe\", Uninstall, C:\\windows\\SYSTEM\\shell32.dll, 58)]");
    ASSERT_TRUE(groupcommand::DeleteGroup(g.buffer, "Kelvo Demo"));
    EXPECT_STREQ(g.buffer, "[DeleteGroup(Kelvo Demo)]");
    ASSERT_TRUE(groupcommand::DeleteItem(g.buffer, "Uninstall"));
    EXPECT_STREQ(g.buffer, "[DeleteItem(Uninstall)]");
    ASSERT_TRUE(groupcommand::ExitProgman(g.buffer));
    EXPECT_STREQ(g.buffer, "[ExitProgman(1)]");
    // Nothing is escaped: a percent sign or a bracket is the caller's text.
    ASSERT_TRUE(groupcommand::CreateGroup(g.buffer, "100% [Tools]"));
    EXPECT_STREQ(g.buffer, "[CreateGroup(100% [Tools])]");
    // A null name counts as an empty one.
    ASSERT_TRUE(groupcommand::CreateGroup(g.buffer, nullptr));
    EXPECT_STREQ(g.buffer, "[CreateGroup()]");
    ASSERT_TRUE(groupcommand::AddItem(g.buffer, nullptr, nullptr));
    EXPECT_STREQ(g.buffer, "[AddItem(\"\", )]");
    EXPECT_TRUE(g.GuardIntact());
}

TEST(GroupCommandFormat, TheLongestCommandHas255CharactersAndALongerOneLeavesTheBufferEmpty)
{
    // Characters each command adds to its arguments.
    struct Case {
        const char* what;
        size_t frame;
        bool (*format)(groupcommand::CommandBuffer&, const std::string&);
    };
    const Case cases[] = {
        {"CreateGroup", std::strlen("[CreateGroup()]"),
         [](groupcommand::CommandBuffer& b, const std::string& s) { return groupcommand::CreateGroup(b, s.c_str()); }},
        {"DeleteGroup", std::strlen("[DeleteGroup()]"),
         [](groupcommand::CommandBuffer& b, const std::string& s) { return groupcommand::DeleteGroup(b, s.c_str()); }},
        {"DeleteItem", std::strlen("[DeleteItem()]"),
         [](groupcommand::CommandBuffer& b, const std::string& s) { return groupcommand::DeleteItem(b, s.c_str()); }},
        {"AddItem, all in the name", std::strlen("[AddItem(\"\", )]"),
         [](groupcommand::CommandBuffer& b, const std::string& s) { return groupcommand::AddItem(b, "", s.c_str()); }},
        {"AddItem, all in the path", std::strlen("[AddItem(\"\", )]"),
         [](groupcommand::CommandBuffer& b, const std::string& s) { return groupcommand::AddItem(b, s.c_str(), ""); }},
    };
    static_assert(kCommandSize == 256 && kMaxCommandLength == 255, "255 characters and a terminator");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t room = kMaxCommandLength - c.frame;
        Guarded g;
        ASSERT_TRUE(c.format(g.buffer, std::string(room, 'n')));
        EXPECT_EQ(std::strlen(g.buffer), kMaxCommandLength);
        EXPECT_NE(std::string(g.buffer).find(std::string(room, 'n')), std::string::npos);
        // One more character, and far more: refused, and no part of the
        // command (nor the one before) stays behind.
        for (size_t length : {room + 1, room + 2, size_t(4096)}) {
            EXPECT_FALSE(c.format(g.buffer, std::string(length, 'n'))) << length;
            EXPECT_STREQ(g.buffer, "") << length;
        }
        EXPECT_TRUE(g.GuardIntact());
    }
    // The two AddItem arguments count together.
    Guarded g;
    const size_t room = kMaxCommandLength - std::strlen("[AddItem(\"\", )]");
    EXPECT_TRUE(groupcommand::AddItem(g.buffer, std::string(100, 'a').c_str(), std::string(room - 100, 'b').c_str()));
    EXPECT_FALSE(groupcommand::AddItem(g.buffer, std::string(101, 'a').c_str(), std::string(room - 100, 'b').c_str()));
    EXPECT_STREQ(g.buffer, "");
    EXPECT_TRUE(g.GuardIntact());
}

TEST(GroupCommandSplit, TheNamesOfAReplyInTheOptionsPageBuffer)
{
    const Names names = {"Accessories", "Games", "Main", "My Great App", "Caf\xe9"};
    EXPECT_EQ(Split(Reply(names), 2048), names);
    EXPECT_EQ(Split(Reply(names), Reply(names).size()), names);
    // An empty reply, an empty buffer, no buffer.
    EXPECT_EQ(Split("", 2048), Names{});
    EXPECT_EQ(SplitExact(""), Names{});
    EXPECT_EQ(groupcommand::SplitGroups(nullptr, 2048), Names{});
    // Empty names are taken as they come.
    EXPECT_EQ(Split("\r\n\r\nA\r\n", 64), (Names{"", "", "A"}));
    // Text after the last carriage return is not taken, line feed or not.
    EXPECT_EQ(Split("A\r\nB", 64), Names{"A"});
    EXPECT_EQ(Split("A\r\nB\n", 64), Names{"A"});
    // A line feed alone ends nothing.
    EXPECT_EQ(Split("A\nB\r\n", 64), Names{"A\nB"});
}

TEST(GroupCommandSplit, AReplyLongerThanTheBufferIsCutAtLenBytes)
{
    const std::string reply = Reply({"Alpha", "Beta", "Gamma"});  // 20 bytes
    // Cut inside a name: that name is not taken.
    EXPECT_EQ(Split(reply, 15), (Names{"Alpha", "Beta"}));
    // Cut between a carriage return and its line feed: the return is the
    // last byte, and its name is taken.
    EXPECT_EQ(Split(reply, 19), (Names{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Split(reply, 6), Names{"Alpha"});
    EXPECT_EQ(Split(reply, 5), Names{});
    EXPECT_EQ(Split(reply, 1), Names{});
    // A whole buffer of one name and no carriage return gives nothing.
    EXPECT_EQ(SplitExact(std::string(2048, 'x')), Names{});
}

TEST(GroupCommandSplit, AnyBytesAreSplitAsTheWalkGoesWithoutReadingBeyondLen)
{
    // A carriage return without its line feed costs the next name its
    // first character.
    EXPECT_EQ(Split("A\rBC\r", 64), (Names{"A", "C"}));
    EXPECT_EQ(Split("A\rB\rC\r", 64), (Names{"A", "", ""}));
    // A zero inside a name ends it there.
    EXPECT_EQ(Split(std::string("Ab\0cd\r\nEf\r\n", 11), 64), (Names{"Ab", "Ef"}));
    EXPECT_EQ(Split(std::string("\0\r\n", 3), 64), Names{""});
    // Two returns in a row: the second name starts after the second return
    // and runs on to the next zero, returns and line feeds included.
    EXPECT_EQ(Split("A\r\rB\r\n", 64), (Names{"A", "B\r\n", ""}));
    // ... or to the end of the buffer, and never beyond it.
    EXPECT_EQ(SplitExact("\r\r\r\r"), (Names{"", "\r\r", "\r", ""}));
    EXPECT_EQ(SplitExact("A\r\r"), (Names{"A", ""}));
    EXPECT_EQ(SplitExact("\r"), Names{""});
    EXPECT_EQ(SplitExact("AB\r\rCD"), (Names{"AB", "CD"}));
}

TEST(GroupCommandSplit, GeneratedRepliesComeBackNameForName)
{
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> letter(0x20, 0xff);
    for (int round = 0; round < 200; ++round) {
        Names names(static_cast<size_t>(random() % 40));
        for (std::string& name : names) {
            name.resize(static_cast<size_t>(random() % 60));
            for (char& c : name) {
                do
                    c = static_cast<char>(letter(random));
                while (c == '\r' || c == '\0');
            }
        }
        const std::string reply = Reply(names);
        const size_t Len = 1 + static_cast<size_t>(random() % 2600);
        // The names whose carriage return lies inside the first Len bytes.
        Names kept;
        size_t end = 0;
        for (const std::string& name : names) {
            end += name.size() + 2;
            if (end - 1 > Len)
                break;
            kept.push_back(name);
        }
        ASSERT_EQ(Split(reply, Len), kept) << "round " << round << ", Len " << Len;
    }
}

}  // namespace
