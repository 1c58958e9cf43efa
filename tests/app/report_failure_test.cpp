#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "support/channel_child.h"
#include "support/temp_dir.h"

namespace {

// The parent keeps the channel open and has no time limit of its own: only
// the program can end the run when its report cannot be built.
TEST(Process, ExitsZeroWhenTheReportCannotBeBuilt)
{
    TempDir dir;  // no data/: every case fails at once, and the report is still due
    ChannelChildRun run = RunChannelChild(REPORT_FAILURE_CHILD, dir.path(), "", 0, 60);
    EXPECT_EQ(run.exitStatus, 0) << "-1: still running after 60 s\n" << run.output;

    std::ifstream logFile(dir.path() / "tarsel.log");
    const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("[error] bench: report failed: std::bad_alloc"), std::string::npos) << log;
    EXPECT_NE(log.find("com chan disconnected for reason 0"), std::string::npos) << log;
}

}  // namespace
