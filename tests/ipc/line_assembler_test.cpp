#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/line_assembler.h"
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

TEST(LineAssembler, SplitsOneReadAtNewlines)
{
    struct Case {
        std::string read;
        std::vector<std::string> lines;
        size_t pending;
    } cases[] = {
        {"{\"a\":1}\n{\"b\":2}\n", {"{\"a\":1}", "{\"b\":2}"}, 0},
        {"one\n\ntwo\n", {"one", "", "two"}, 0},
        {"crlf\r\n", {"crlf\r"}, 0},
        {"\n", {""}, 0},
        {"done\npartial", {"done"}, 7},
        {"no newline yet", {}, 14},
        {"", {}, 0},
        {"\xEF\xBB\xBF{}\n", {"\xEF\xBB\xBF{}"}, 0},
    };
    for (auto& c : cases) {
        LineAssembler assembler;
        EXPECT_EQ(FeedAll(assembler, {c.read}), c.lines) << c.read;
        EXPECT_EQ(assembler.pendingBytes(), c.pending) << c.read;
    }
}

// Cutting the same stream into three reads at every pair of positions must
// give exactly the lines of the uncut stream.
TEST(LineAssembler, JoinsLinesCutAtEveryPosition)
{
    const std::string stream = "{\"cmd\":\"quit\"}\r\n\n{\"cmd\":\"set-bitrate\",\"value\":7}\nlast\n";
    LineAssembler whole;
    const std::vector<std::string> expected = FeedAll(whole, {stream});
    ASSERT_EQ(expected.size(), 4u);

    for (size_t first = 0; first <= stream.size(); ++first) {
        for (size_t second = first; second <= stream.size(); ++second) {
            LineAssembler assembler;
            auto lines = FeedAll(assembler, {stream.substr(0, first), stream.substr(first, second - first),
                                             stream.substr(second)});
            ASSERT_EQ(lines, expected) << "cut at " << first << " and " << second;
            ASSERT_EQ(assembler.pendingBytes(), 0u);
        }
    }
}

TEST(LineAssembler, LongestLineIsKeptAndOneByteMoreIsDroppedWhole)
{
    struct Case {
        size_t length;
        bool kept;
    } cases[] = {{LineAssembler::kMaxLineLength, true}, {LineAssembler::kMaxLineLength + 1, false}, {200000, false}};
    for (auto& c : cases) {
        LogCapture log;
        LineAssembler assembler;
        std::string stream = "first\n" + std::string(c.length, 'x') + "\nafter\n";
        // Reads no larger than the pipe's buffer, as the transport delivers them.
        std::vector<std::string> reads;
        for (size_t at = 0; at < stream.size(); at += 65535)
            reads.push_back(stream.substr(at, 65535));
        auto lines = FeedAll(assembler, reads);

        std::vector<std::string> expected = {"first"};
        if (c.kept)
            expected.push_back(std::string(c.length, 'x'));
        expected.push_back("after");
        EXPECT_EQ(lines, expected) << c.length;
        EXPECT_EQ(log.count("ipc: line longer than 65535 bytes dropped"), c.kept ? 0u : 1u) << c.length;
        EXPECT_EQ(assembler.pendingBytes(), 0u);
    }
}

}  // namespace
