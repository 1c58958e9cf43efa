#include "support/process.h"

#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

ProcessResult RunProcess(const std::filesystem::path& program,
                         const std::filesystem::path& workingDirectory,
                         const std::map<std::string, std::string>& environment)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    std::vector<std::string> envStrings;
    for (auto& [name, value] : environment)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string programPath = program.string();
    std::string dir = workingDirectory.string();

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        char* argv[] = {programPath.data(), nullptr};
        execve(programPath.c_str(), argv, envp.data());
        _exit(127);
    }
    close(out[1]);
    ProcessResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        result.standardOutput.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
