// A parent that stays but stops reading must not keep the child alive: the
// close that waits for queued writes gives up after a few seconds and says
// how many bytes the parent never took.
#include <regex>

#include <gtest/gtest.h>

#include "support/channel_child.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(ShutdownBound, ChildEndsWithinTheBoundWhenTheParentNeverReadsTheReply)
{
    TempDir dir;
    // A 4 KiB socket buffer cannot hold the child's 60 KB farewell to "quit".
    ChannelChildRun run = RunChannelChild(IPC_TEST_CHILD, dir.path(), "{\"cmd\":\"quit\"}\n", 4096, 30);
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_GE(run.elapsed, 4s);  // waited for the parent first
    EXPECT_LT(run.elapsed, 10s);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(run.output, match, std::regex(R"(\[error\] pipe: .* (\d+) bytes unsent)")))
        << run.output;
    EXPECT_GT(std::stoul(match[1].str()), 0u);
    EXPECT_LT(std::stoul(match[1].str()), 60100u);
}

}  // namespace
