#include "BoundedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A buffer of `size` bytes with guard bytes behind it, to see that nothing
// is written past its end.
struct Guarded {
    explicit Guarded(size_t _size) : size(_size) { std::memset(bytes, '#', sizeof bytes); }
    bool GuardIntact() const
    {
        for (size_t i = size; i < sizeof bytes; ++i)
            if (bytes[i] != '#')
                return false;
        return true;
    }
    char bytes[64];
    size_t size;
};

TEST(BoundedText, Hex8KeepsLeadingZerosAndEveryDigit)
{
    EXPECT_EQ(text::Hex8(0), "00000000");
    EXPECT_EQ(text::Hex8(0x1a), "0000001a");
    EXPECT_EQ(text::Hex8(0x89abcdefu), "89abcdef");
    EXPECT_EQ(text::Hex8(0xffffffffu), "ffffffff");
    EXPECT_EQ(text::Hex8(0x01234567u), "01234567");
}

TEST(BoundedText, CopyBoundedStopsAtTheLimitTheRoomOrTheEnd)
{
    Guarded g(8);
    EXPECT_EQ(text::CopyBounded(g.bytes, g.size, "full", 3), 3U);
    EXPECT_STREQ(g.bytes, "ful");
    EXPECT_EQ(text::CopyBounded(g.bytes, g.size, "ab"), 2U);
    EXPECT_STREQ(g.bytes, "ab");
    // Seven characters and the zero fill eight bytes; the rest is cut.
    EXPECT_EQ(text::CopyBounded(g.bytes, g.size, "0123456789"), 7U);
    EXPECT_STREQ(g.bytes, "0123456");
    EXPECT_EQ(text::CopyBounded(g.bytes, g.size, ""), 0U);
    EXPECT_STREQ(g.bytes, "");
    EXPECT_TRUE(g.GuardIntact());

    Guarded one(1);
    EXPECT_EQ(text::CopyBounded(one.bytes, one.size, "x"), 0U);
    EXPECT_EQ(one.bytes[0], '\0');
    EXPECT_TRUE(one.GuardIntact());
    Guarded none(0);
    EXPECT_EQ(text::CopyBounded(none.bytes, none.size, "x"), 0U);
    EXPECT_TRUE(none.GuardIntact());
}

TEST(BoundedText, JoinWholeKeepsOnlyAWholeText)
{
    Guarded g(10);
    ASSERT_TRUE(text::JoinWhole(g.bytes, g.size, {"[A(", "bc", ")]"}));
    EXPECT_STREQ(g.bytes, "[A(bc)]");
    // Nine characters and the zero fit exactly; one more does not.
    ASSERT_TRUE(text::JoinWhole(g.bytes, g.size, {"1234", nullptr, "56789"}));
    EXPECT_STREQ(g.bytes, "123456789");
    EXPECT_FALSE(text::JoinWhole(g.bytes, g.size, {"12345", "67890"}));
    EXPECT_STREQ(g.bytes, "");
    EXPECT_FALSE(text::JoinWhole(g.bytes, g.size, {"", "0123456789abc"}));
    EXPECT_STREQ(g.bytes, "");
    ASSERT_TRUE(text::JoinWhole(g.bytes, g.size, {}));
    EXPECT_STREQ(g.bytes, "");
    EXPECT_TRUE(g.GuardIntact());
    Guarded none(0);
    EXPECT_FALSE(text::JoinWhole(none.bytes, none.size, {"a"}));
    EXPECT_TRUE(none.GuardIntact());
}

}  // namespace
