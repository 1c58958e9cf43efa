#pragma once

#include <chrono>
#include <filesystem>
#include <string>

struct ChannelChildRun {
    int exitStatus = -1;  // 0..255; -1 when ended by a signal (SIGALRM at the time limit)
    std::string output;   // stdout and stderr, merged
    std::chrono::milliseconds elapsed{0};
};

// Runs `program` in `workingDirectory` the way the parent starts it, with one
// end of a socket pair as NODE_CHANNEL_FD; writes `toChild` on the other end
// and, unlike a real parent, never reads it. The program is killed after
// `limitSeconds`. socketBufferBytes > 0 shrinks both ends' socket buffers.
ChannelChildRun RunChannelChild(const std::filesystem::path& program, const std::filesystem::path& workingDirectory,
                                const std::string& toChild, int socketBufferBytes, unsigned limitSeconds);
