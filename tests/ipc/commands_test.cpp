#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "channel_harness.h"
#include "support/log_capture.h"

namespace {

struct CommandCase {
    std::string line;
    std::vector<std::string> events;  // with every command callback set
    std::string log;                  // expected log text prefix, "" for none
    bool logsWithoutCallbacks;        // same log when no command callback is set
};

void RunCase(const CommandCase& c, bool withCallbacks)
{
    SCOPED_TRACE(c.line + (withCallbacks ? " (callbacks)" : " (no callbacks)"));
    LogCapture log;
    ChannelHarness h(ComChanChannel::kPingIntervalMs, withCallbacks);
    std::string bytes = c.line + "\n";
    h.channel->onData(bytes.data(), bytes.size());

    EXPECT_EQ(h.events, withCallbacks ? c.events : std::vector<std::string>{});
    bool logs = !c.log.empty() && (withCallbacks || c.logsWithoutCallbacks);
    auto messages = log.messages();
    if (logs) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind(c.log, 0), 0u) << messages[0];
    } else {
        EXPECT_TRUE(messages.empty()) << messages.front();
    }
}

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
        {R"({"cmd":"set-bitrate","value":false})", {"bitrate 8 0"}, "", false},
        {R"({"cmd":"set-bitrate","value":4294967297})", {"bitrate 8 1"}, "", false},
        {R"({"cmd":"set-bitrate","value":-5})", {"bitrate 8 -5"}, "", false},
        // Only looked at when someone listens for it.
        {R"({"cmd":"set-bitrate","value":"fast"})", {}, jsonError + "type_error.302] type must be number, but is string",
         false},
        {R"({"cmd":"set-bitrate"})", {}, jsonError + "type_error.302] type must be number, but is null", false},
        {R"({"cmd":"set-bitrate","value":1e20})", {}, "ipc: error parsing json... (set-bitrate value out of range)",
         false},
        {R"({"cmd":"set-colorspace","value":"full"})", {"colorspace full"}, "", false},
        {R"({"cmd":"set-colorspace","value":"situ"})", {"colorspace other"}, "", false},
        {R"({"cmd":"set-colorspace","value":"ful"})", {}, "ipc: unknown color space request: ful ...", true},
        {R"({"cmd":"set-colorspace","value":""})", {}, "ipc: unknown color space request:  ...", true},
        {R"({"cmd":"set-colorspace"})", {}, jsonError + "type_error.302] type must be string, but is null", true},
        {R"({"cmd":"set-colorspace","value":1})", {}, jsonError + "type_error.302] type must be string, but is number",
         true},
        {"[1,2]", {}, jsonError + "type_error.305] cannot use operator[] with a string argument with array", true},
        {"\"quit\"", {}, jsonError + "type_error.305] cannot use operator[] with a string argument with string", true},
        {"null", {}, "", false},
        {"{}", {}, "", false},
        {R"({"cmd":7})", {}, "", false},
        {R"({"cmd":"unknown"})", {}, "", false},
        {R"({"cmd":"QUIT"})", {}, "", false},
        {"", {}, jsonError + "parse_error.101]", true},
        {"{\"cmd\":\"quit\"", {}, jsonError + "parse_error.101]", true},
        {R"({"cmd":"quit"} {"cmd":"quit"})", {}, jsonError + "parse_error.101]", true},
        {"\xEF\xBB\xBF{\"cmd\":\"quit\"}\r", {"quit"}, "", false},
        {" \t{\"cmd\":\"quit\"} ", {"quit"}, "", false},
    };
    for (auto& c : cases) {
        RunCase(c, true);
        RunCase(c, false);
    }
}

TEST(Commands, MalformedLineCostsOnlyItself)
{
    LogCapture log;
    ChannelHarness h;
    std::string bytes = "{\"cmd\":\"quit\"}\n{\"cmd\":\"qu\n{\"cmd\":\"reboot-stream\"}\n";
    h.channel->onData(bytes.data(), bytes.size());
    EXPECT_EQ(h.events, (std::vector<std::string>{"quit", "reboot-stream"}));
    EXPECT_EQ(log.count("ipc: error parsing json..."), 1u);
}

TEST(Commands, DeeplyNestedLineCostsOnlyItself)
{
    LogCapture log;
    ChannelHarness h;
    std::string nested = "{\"cmd\":\"quit\",\"deep\":" + std::string(30000, '[') + std::string(30000, ']') + "}\n";
    std::string bytes = nested + "{\"cmd\":\"reboot-stream\"}\n";
    h.channel->onData(bytes.data(), bytes.size());
    EXPECT_EQ(h.events, (std::vector<std::string>{"quit", "reboot-stream"}));
    EXPECT_TRUE(log.messages().empty());
}

TEST(Commands, ThrowingCallbackIsReportedLikeABadLine)
{
    LogCapture log;
    ComChanChannel channel(
        -1, {}, {}, {}, {}, {}, [] { throw std::runtime_error("quit refused"); }, {});
    std::string bytes = "{\"cmd\":\"quit\"}\n{\"cmd\":\"quit\"}\n";
    channel.onData(bytes.data(), bytes.size());
    EXPECT_EQ(log.count("ipc: error parsing json... (quit refused)"), 2u);
}

// A command callback that shuts the channel down ends the handling of the read.
TEST(Commands, NoLineIsHandledAfterACallbackShutsTheChannelDown)
{
    int quits = 0;
    ComChanChannel* channel = nullptr;
    ComChanChannel own(
        -1, {}, {}, {}, {}, {},
        [&] {
            ++quits;
            channel->shutdown(ComChanShutdownReason::Requested);
        },
        {});
    channel = &own;
    std::string bytes = "{\"cmd\":\"quit\"}\n{\"cmd\":\"quit\"}\n";
    own.onData(bytes.data(), bytes.size());
    EXPECT_EQ(quits, 1);
}

}  // namespace
