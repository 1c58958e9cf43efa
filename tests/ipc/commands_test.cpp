// The text protocol without a loop: lines in (assembler, commands) and lines
// out (messages).
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "channel_harness.h"
#include "ipc/command_hash.h"
#include "ipc/line_assembler.h"
#include "ipc/messages.h"
#include "support/log_capture.h"

namespace {

std::vector<std::string> FeedAll(LineAssembler& assembler, const std::vector<std::string>& reads)
{
    std::vector<std::string> lines;
    for (auto& read : reads)
        assembler.feed(read.data(), read.size(), [&](std::string_view line) {
            lines.emplace_back(line);
            return true;
        });
    return lines;
}

// The stream cut into three reads at every pair of positions (the uncut
// stream among them) gives the same lines, a carriage return kept.
TEST(LineAssembler, JoinsLinesCutAtEveryPosition)
{
    const std::string stream = "{\"cmd\":\"quit\"}\r\n\n{\"cmd\":\"set-bitrate\",\"value\":7}\nlast\npartial";
    const std::vector<std::string> expected = {"{\"cmd\":\"quit\"}\r", "", "{\"cmd\":\"set-bitrate\",\"value\":7}",
                                               "last"};
    for (size_t first = 0; first <= stream.size(); ++first) {
        for (size_t second = first; second <= stream.size(); ++second) {
            LineAssembler assembler;
            auto lines = FeedAll(assembler, {stream.substr(0, first), stream.substr(first, second - first),
                                             stream.substr(second)});
            ASSERT_EQ(lines, expected) << "cut at " << first << " and " << second;
            ASSERT_EQ(assembler.pendingBytes(), 7u);
        }
    }
}

TEST(LineAssembler, LongestLineIsKeptAndOneByteMoreIsDroppedWhole)
{
    for (size_t length : {LineAssembler::kMaxLineLength, LineAssembler::kMaxLineLength + 1, size_t{200000}}) {
        bool kept = length <= LineAssembler::kMaxLineLength;
        LogCapture log;
        LineAssembler assembler;
        std::string stream = "first\n" + std::string(length, 'x') + "\nafter\n";
        // Reads no larger than the pipe's buffer, as the transport delivers them.
        std::vector<std::string> reads;
        for (size_t at = 0; at < stream.size(); at += 65535)
            reads.push_back(stream.substr(at, 65535));
        std::vector<std::string> expected = {"first"};
        if (kept)
            expected.push_back(std::string(length, 'x'));
        expected.push_back("after");
        EXPECT_EQ(FeedAll(assembler, reads), expected) << length;
        EXPECT_EQ(log.count("ipc: line longer than 65535 bytes dropped"), kept ? 0u : 1u) << length;
        EXPECT_EQ(assembler.pendingBytes(), 0u);
    }
}

struct CommandCase {
    std::string line;
    std::vector<std::string> events;  // with every command callback set
    std::string log;                  // expected log text prefix, "" for none
    bool logsWithoutCallbacks;        // same log when no command callback is set
};

// Each line is run with every command callback set and with none: a missing
// callback must cost nothing, not even a log line.
TEST(Commands, EachLineHasItsEffect)
{
    const std::string jsonError = "ipc: error parsing json... ([json.exception.";
    const CommandCase cases[] = {
        {R"({"cmd":"quit"})", {"quit"}, "", false},
        {R"({"cmd":"restart-windows","extra":[1,2]})", {"restart-windows"}, "", false},
        {R"({"cmd":"reboot-stream"})", {"reboot-stream"}, "", false},
        {R"({"cmd":"set-bitrate","value":2.9})", {"bitrate 8 2"}, "", false},
        {R"({"cmd":"set-bitrate","value":-2.9})", {"bitrate 8 -2"}, "", false},
        {R"({"cmd":"set-bitrate","value":true})", {"bitrate 8 1"}, "", false},
        {R"({"cmd":"set-bitrate","value":4294967297})", {"bitrate 8 1"}, "", false},
        // The value is only looked at when someone listens for it.
        {R"({"cmd":"set-bitrate","value":"fast"})", {}, jsonError + "type_error.302] type must be number, but is string",
         false},
        {R"({"cmd":"set-bitrate","value":1e20})", {}, "ipc: error parsing json... (set-bitrate value out of range)",
         false},
        {R"({"cmd":"set-colorspace","value":"full"})", {"colorspace full"}, "", false},
        {R"({"cmd":"set-colorspace","value":"situ"})", {"colorspace other"}, "", false},
        {R"({"cmd":"set-colorspace","value":"ful"})", {}, "ipc: unknown color space request: ful ...", true},
        {R"({"cmd":"set-colorspace"})", {}, jsonError + "type_error.302] type must be string, but is null", true},
        {"[1,2]", {}, jsonError + "type_error.305] cannot use operator[] with a string argument with array", true},
        {"null", {}, "", false},
        {R"({"cmd":7})", {}, "", false},
        {R"({"cmd":"QUIT"})", {}, "", false},
        {"", {}, jsonError + "parse_error.101]", true},
        {R"({"cmd":"quit"} {"cmd":"quit"})", {}, jsonError + "parse_error.101]", true},
        {"\xEF\xBB\xBF{\"cmd\":\"quit\"}\r", {"quit"}, "", false},
        {" \t{\"cmd\":\"quit\"} ", {"quit"}, "", false},
    };
    for (auto& c : cases) {
        for (bool withCallbacks : {true, false}) {
            SCOPED_TRACE(c.line + (withCallbacks ? " (callbacks)" : " (no callbacks)"));
            LogCapture log;
            std::vector<std::string> events;
            auto channel = RecordingChannel(-1, events, withCallbacks);
            std::string bytes = c.line + "\n";
            channel->onData(bytes.data(), bytes.size());

            EXPECT_EQ(events, withCallbacks ? c.events : std::vector<std::string>{});
            auto messages = log.messages();
            if (!c.log.empty() && (withCallbacks || c.logsWithoutCallbacks)) {
                ASSERT_EQ(messages.size(), 1u);
                EXPECT_EQ(messages[0].rfind(c.log, 0), 0u) << messages[0];
            } else {
                EXPECT_TRUE(messages.empty()) << messages.front();
            }
        }
    }
}

TEST(Commands, MalformedOrDeeplyNestedLineCostsOnlyItself)
{
    LogCapture log;
    std::vector<std::string> events;
    auto channel = RecordingChannel(-1, events);
    std::string nested = "{\"cmd\":\"reboot-stream\",\"deep\":" + std::string(30000, '[') + std::string(30000, ']') + "}\n";
    std::string bytes = "{\"cmd\":\"quit\"}\n{\"cmd\":\"qu\n" + nested + "{\"cmd\":\"restart-windows\"}\n";
    channel->onData(bytes.data(), bytes.size());
    EXPECT_EQ(events, (std::vector<std::string>{"quit", "reboot-stream", "restart-windows"}));
    EXPECT_EQ(log.messages().size(), 1u);
    EXPECT_EQ(log.count("ipc: error parsing json..."), 1u);
}

TEST(Commands, ThrowingCallbackIsReportedLikeABadLine)
{
    LogCapture log;
    ComChanChannel channel(-1, {}, {}, {}, {}, {}, [] { throw std::runtime_error("quit refused"); }, {});
    std::string bytes = "{\"cmd\":\"quit\"}\n{\"cmd\":\"quit\"}\n";
    channel.onData(bytes.data(), bytes.size());
    EXPECT_EQ(log.count("ipc: error parsing json... (quit refused)"), 2u);
}

// A command callback that shuts the channel down ends the handling of the read.
TEST(Commands, NoLineIsHandledAfterACallbackShutsTheChannelDown)
{
    int quits = 0;
    std::unique_ptr<ComChanChannel> channel;
    channel = std::make_unique<ComChanChannel>(-1, nullptr, nullptr, nullptr, nullptr, nullptr, [&] {
        ++quits;
        channel->shutdown(ComChanShutdownReason::Requested);
    }, nullptr);
    std::string bytes = "{\"cmd\":\"quit\"}\n{\"cmd\":\"quit\"}\n";
    channel->onData(bytes.data(), bytes.size());
    EXPECT_EQ(quits, 1);
}

// The text `message` writes at `offset` into `capacity` bytes, or "<refused>";
// a guard byte shows any write past the capacity.
std::string Written(ComChanMessage& message, size_t capacity, size_t offset = 0)
{
    std::vector<char> buffer(capacity + 1, '#');
    int64_t end = message.write(buffer.data(), capacity, offset);
    EXPECT_EQ(buffer[capacity], '#') << "wrote past the capacity";
    return end < 0 ? "<refused>" : std::string(buffer.data() + offset, static_cast<size_t>(end) - offset);
}

TEST(Messages, WireTextIsCompactJsonAndOneNewlineOrRefusedWhenItDoesNotFit)
{
    HeartbeatComChanMessage heartbeat;
    EXPECT_EQ(Written(heartbeat, 65535), "{\"cmd\":\"heartbeat\"}\n");
    ComChanJsonMessage report(nlohmann::json{{"zeta", 1}, {"cmd", "bench"}, {"list", {1.5, true, nullptr}}});
    EXPECT_EQ(Written(report, 65535), "{\"cmd\":\"bench\",\"list\":[1.5,true,null],\"zeta\":1}\n");
    ComChanMessage bare;
    EXPECT_EQ(Written(bare, 16, 3), "\n");
    // Invalid UTF-8 is replaced rather than thrown.
    ComChanJsonMessage name(nlohmann::json{{"name", std::string("gpu\xff")}});
    EXPECT_EQ(Written(name, 256), "{\"name\":\"gpu\xEF\xBF\xBD\"}\n");

    // Text that does not fit is refused. {"k":"..."} is the value's length
    // plus 8, then the newline.
    const size_t capacity = 64;
    for (size_t valueLength : {capacity - 9, capacity - 8, capacity}) {
        ComChanJsonMessage message(nlohmann::json{{"k", std::string(valueLength, 'v')}});
        std::string text = Written(message, capacity);
        EXPECT_EQ(text, valueLength + 9 <= capacity ? "{\"k\":\"" + std::string(valueLength, 'v') + "\"}\n"
                                                    : "<refused>")
            << valueLength;
    }
    EXPECT_EQ(Written(heartbeat, 19), "<refused>");
    EXPECT_EQ(Written(heartbeat, 20), "{\"cmd\":\"heartbeat\"}\n");
    char byte = 0;
    EXPECT_LT(bare.write(&byte, 1, 1), 0);
}

TEST(CommandHash, SeedAndSignedBytes)
{
    const uint64_t seed = 5381;
    EXPECT_EQ(commandHash(""), seed);
    EXPECT_EQ(commandHash("a"), 'a' + 33 * seed);
    // Bytes from 0x80 count as negative chars widened to 32 bits.
    EXPECT_EQ(commandHash("\x80"), 0xFFFFFF80u + 33 * seed);
    EXPECT_EQ(commandHash("\xff" "a"), 0xFFFFFFFFu + 33 * ('a' + 33 * seed));
}

}  // namespace
