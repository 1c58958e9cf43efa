#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

namespace {

bool NodeAvailable()
{
    return std::system("command -v node > /dev/null 2>&1") == 0;
}

TEST(NodeParent, ExchangesMessagesBothWaysAndEndsCleanly)
{
    if (!NodeAvailable())
        GTEST_SKIP() << "node is not installed";
    std::string command = std::string("node '") + IPC_NODE_PARENT + "' '" + IPC_TEST_CHILD + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("ok commandsBothWays"), std::string::npos) << output;
    EXPECT_NE(output.find("ok parentGoingAway"), std::string::npos) << output;
}

}  // namespace
