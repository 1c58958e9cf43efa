#include <gtest/gtest.h>

#include "app/channel_fd.h"

TEST(ParseChannelFd, PlainDecimalConversion)
{
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"3", 3}, {"  12", 12}, {"+7", 7}, {"-1", -1}, {"42abc", 42}, {"4 2", 4},
        {"", 0}, {"abc", 0}, {" ", 0}, {"0x10", 0}, {"007", 7},
    };
    for (auto& c : cases)
        EXPECT_EQ(ParseChannelFd(c.text), c.expected) << '"' << c.text << '"';
}
