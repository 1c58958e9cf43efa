#include "app/process_main.h"

int main(int argc, char** argv)
{
    // The parent's commands have no effect in this program.
    return RunTarselProcess(CommandCallbacks{}, std::vector<std::string>(argv + 1, argv + argc));
}
