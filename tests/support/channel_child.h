#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

struct ChannelChildRun {
    int exitStatus = -1;  // 0..255; -1 when ended by a signal (SIGALRM at the time limit)
    std::string output;   // stdout and stderr, merged
    std::chrono::milliseconds elapsed{0};
};

// Runs `program` in `workingDirectory` the way the parent starts it, with one
// end of a socket pair as NODE_CHANNEL_FD; writes `toChild` on the other end
// and, unlike a real parent, never reads it. The program is killed after
// `limitSeconds`. socketBufferBytes > 0 shrinks both ends' socket buffers.
inline ChannelChildRun RunChannelChild(const std::filesystem::path& program,
                                       const std::filesystem::path& workingDirectory, const std::string& toChild,
                                       int socketBufferBytes, unsigned limitSeconds)
{
    int channel[2], output[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, channel) != 0 || pipe2(output, O_CLOEXEC) != 0)
        throw std::runtime_error("socketpair or pipe failed");
    for (int option : {SO_SNDBUF, SO_RCVBUF})
        for (int fd : channel)
            if (socketBufferBytes > 0)
                setsockopt(fd, SOL_SOCKET, option, &socketBufferBytes, sizeof socketBufferBytes);
    const std::string programPath = program.string(), directory = workingDirectory.string();
    const std::string fdVariable = "NODE_CHANNEL_FD=" + std::to_string(channel[0]);
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        close(channel[1]);
        alarm(limitSeconds);  // survives exec: the time limit of the run
        char* argv[] = {const_cast<char*>(programPath.c_str()), nullptr};
        char* envp[] = {const_cast<char*>(fdVariable.c_str()), nullptr};
        if (chdir(directory.c_str()) == 0)
            execve(programPath.c_str(), argv, envp);
        _exit(127);
    }
    close(channel[0]);
    close(output[1]);
    if (write(channel[1], toChild.data(), toChild.size()) != static_cast<ssize_t>(toChild.size()))
        throw std::runtime_error("write to the child failed");
    ChannelChildRun run;
    char buffer[4096];
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<size_t>(n));
    int status = 0;
    waitpid(pid, &status, 0);
    run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    close(channel[1]);
    close(output[0]);
    return run;
}
