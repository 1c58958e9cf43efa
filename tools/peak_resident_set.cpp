// Runs a program as its own child, with the same descriptors and environment
// (an inherited IPC channel keeps working), waits for it and writes its peak
// resident set in KiB, as the kernel accounted it at exit, to <out-file>.
// Exits with the program's status; a signal-killed program gives 128 + signal.
//   peak-resident-set <out-file> <program> [argument...]
#include <cerrno>
#include <cstdio>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: peak-resident-set <out-file> <program> [argument...]\n");
        return 2;
    }
    pid_t child = fork();
    if (child < 0) {
        std::perror("peak-resident-set: fork");
        return 127;
    }
    if (child == 0) {
        execv(argv[2], argv + 2);
        std::perror("peak-resident-set: exec");
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("peak-resident-set: wait");
            return 127;
        }
    }
    if (FILE* out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%ld\n", usage.ru_maxrss);
        std::fclose(out);
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
