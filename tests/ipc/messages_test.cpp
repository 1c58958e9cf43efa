#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/command_hash.h"
#include "ipc/messages.h"

namespace {

std::string Written(ComChanMessage& message, size_t capacity, size_t offset = 0)
{
    std::vector<char> buffer(capacity + 1, '#');
    int64_t end = message.write(buffer.data(), capacity, offset);
    if (end < 0)
        return "<refused>";
    EXPECT_EQ(buffer[capacity], '#') << "wrote past the capacity";
    return std::string(buffer.data() + offset, static_cast<size_t>(end) - offset);
}

TEST(Messages, WireTextIsCompactJsonAndOneNewline)
{
    HeartbeatComChanMessage heartbeat;
    EXPECT_EQ(Written(heartbeat, 65535), "{\"cmd\":\"heartbeat\"}\n");

    ComChanJsonMessage report(nlohmann::json{{"zeta", 1}, {"cmd", "bench"}, {"list", {1.5, true, nullptr}}});
    EXPECT_EQ(Written(report, 65535), "{\"cmd\":\"bench\",\"list\":[1.5,true,null],\"zeta\":1}\n");

    ComChanMessage bare;
    EXPECT_EQ(Written(bare, 16, 3), "\n");
}

TEST(Messages, TextThatDoesNotFitIsRefusedUntouched)
{
    // "{"k":"..."}" is the value's length plus 8, then the newline.
    const size_t capacity = 64;
    for (size_t valueLength : {capacity - 9, capacity - 8, capacity}) {
        ComChanJsonMessage message(nlohmann::json{{"k", std::string(valueLength, 'v')}});
        bool fits = valueLength + 9 <= capacity;
        std::string text = Written(message, capacity);
        EXPECT_EQ(text == "<refused>", !fits) << valueLength;
        if (fits) {
            EXPECT_EQ(text.size(), valueLength + 9);
        }
    }
    HeartbeatComChanMessage heartbeat;
    EXPECT_EQ(Written(heartbeat, 19), "<refused>");
    EXPECT_EQ(Written(heartbeat, 20), "{\"cmd\":\"heartbeat\"}\n");
    ComChanMessage bare;
    char byte = 0;
    EXPECT_LT(bare.write(&byte, 1, 1), 0);
}

TEST(Messages, InvalidUtf8IsReplacedRatherThanThrown)
{
    ComChanJsonMessage message(nlohmann::json{{"name", std::string("gpu\xff")}});
    std::string text = Written(message, 256);
    EXPECT_EQ(text, "{\"name\":\"gpu\xEF\xBF\xBD\"}\n");
}

TEST(Messages, JsonMessageKeepsItsOwnCopy)
{
    auto value = std::make_unique<nlohmann::json>(nlohmann::json{{"cmd", "bench"}});
    ComChanJsonMessage message(*value);
    value.reset();
    EXPECT_EQ(Written(message, 256), "{\"cmd\":\"bench\"}\n");
}

TEST(CommandHash, SeedAndSignedBytes)
{
    EXPECT_EQ(commandHash(""), 5381u);
    const uint64_t seed = 5381;
    EXPECT_EQ(commandHash("a"), 'a' + 33 * seed);
    // Bytes from 0x80 count as negative chars widened to 32 bits.
    EXPECT_EQ(commandHash("\x80"), 0xFFFFFF80u + 33 * seed);
    EXPECT_EQ(commandHash("\xff" "a"), 0xFFFFFFFFu + 33 * ('a' + 33 * seed));
    // The second colour-space value is a four-letter word with a fixed hash.
    EXPECT_EQ(commandHash("situ"), kColorSpaceLimitedHash);
}

}  // namespace
