// Holds a file open the way most Windows programs open one: the C runtime's
// fopen, which shares reading and writing but not renaming or deletion.
// Says "holding" once it has the file and lets go when its input ends.
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::printf("cannot open %s\n", argv[1]);
        return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    std::fclose(file);
    return 0;
}
