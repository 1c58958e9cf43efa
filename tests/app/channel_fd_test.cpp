#include <utility>

#include <gtest/gtest.h>

#include "app/channel_fd.h"

// Plain decimal: leading white space and a sign, digits up to the first other character, 0 without digits.
TEST(ParseChannelFd, PlainDecimalConversion)
{
    const std::pair<const char*, int> cases[] = {{"3", 3},     {"  12", 12}, {"+7", 7},   {"-1", -1}, {"42abc", 42},
                                                 {"4 2", 4},   {"", 0},      {"abc", 0},  {"0x10", 0}, {"007", 7}};
    for (auto& [text, fd] : cases)
        EXPECT_EQ(ParseChannelFd(text), fd) << '"' << text << '"';
}
