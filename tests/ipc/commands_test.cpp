// The text protocol without a loop: lines into the assembler and the commands.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "channel_harness.h"
#include "ipc/line_assembler.h"
#include "support/log_capture.h"

namespace {

// The lines that `reads` complete, in order.
std::vector<std::string> Feed(LineAssembler& assembler, const std::vector<std::string>& reads)
{
    std::vector<std::string> lines;
    for (auto& read : reads)
        assembler.feed(read.data(), read.size(), [&](std::string_view line) { return lines.emplace_back(line), true; });
    return lines;
}

// Cut into three reads at every pair of positions, the stream gives the same lines.
TEST(LineAssembler, JoinsLinesCutAtEveryPosition)
{
    const std::string stream = "{\"cmd\":\"quit\"}\r\n\n{\"cmd\":\"set-bitrate\",\"value\":7}\nlast\npartial";
    const std::vector<std::string> expected = {"{\"cmd\":\"quit\"}\r", "", "{\"cmd\":\"set-bitrate\",\"value\":7}", "last"};
    for (size_t first = 0; first <= stream.size(); ++first)
        for (size_t second = first; second <= stream.size(); ++second) {
            LineAssembler assembler;
            ASSERT_EQ(Feed(assembler, {stream.substr(0, first), stream.substr(first, second - first), stream.substr(second)}),
                      expected) << first << " " << second;
            ASSERT_EQ(assembler.pendingBytes(), 7u);
        }
}

// What each line does; the program itself sets no callbacks, and the
// end-to-end run shows that a missing callback costs nothing.
TEST(Commands, EachLineHasItsEffect)
{
    const std::string json = "ipc: error parsing json... (";
    const struct {
        std::string line, event, log;  // the event and the start of the one log line, if any
    } cases[] = {
        {R"({"cmd":"restart-windows","extra":[1]})", "restart-windows", ""},
        {R"({"cmd":"set-bitrate","value":-2.9})", "bitrate 8 -2", ""},
        {R"({"cmd":"set-bitrate","value":4294967297})", "bitrate 8 1", ""},
        {R"({"cmd":"set-bitrate","value":1e20})", "", json + "set-bitrate value out of range)"},
        {R"({"cmd":"set-colorspace","value":"full"})", "colorspace full", ""},
        {R"({"cmd":"set-colorspace","value":"ful"})", "", "ipc: unknown color space request: ful ..."},
        {R"({"cmd":"QUIT"})", "", ""},
        {"[1,2]", "", json + "[json.exception.type_error.305]"},
        {R"({"cmd":"quit"} {"cmd":"quit"})", "", json + "[json.exception.parse_error.101]"},
    };
    for (auto& c : cases) {
        LogCapture log;
        std::vector<std::string> events;
        std::string bytes = c.line + "\n";
        RecordingChannel(-1, events)->onData(bytes.data(), bytes.size());
        EXPECT_EQ(events, c.event.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.event}) << c.line;
        ASSERT_EQ(log.messages().size(), c.log.empty() ? 0u : 1u) << c.line;
        EXPECT_TRUE(c.log.empty() || log.messages()[0].starts_with(c.log)) << log.messages()[0];
    }
}

// A callback that throws costs only its line; one that shuts the channel down ends the read.
TEST(Commands, ThrowingOrShuttingDownCallbackEndsOnlyWhatItShould)
{
    LogCapture log;
    std::string twice = "{\"cmd\":\"quit\"}\n{\"cmd\":\"quit\"}\n";
    ComChanChannel(-1, {}, {}, {}, {}, {}, [] { throw std::runtime_error("refused"); }, {}).onData(twice.data(), twice.size());
    EXPECT_EQ(log.count("ipc: error parsing json... (refused)"), 2u);
    int quits = 0;
    std::unique_ptr<ComChanChannel> channel;
    channel = std::make_unique<ComChanChannel>(-1, nullptr, nullptr, nullptr, nullptr, nullptr,
                                               [&] { ++quits, channel->shutdown(ComChanShutdownReason::Requested); }, nullptr);
    channel->onData(twice.data(), twice.size());
    EXPECT_EQ(quits, 1);
}

}  // namespace
