#include "app/process_main.h"

int main()
{
    // The parent's commands have no effect in this program.
    return RunTarselProcess(CommandCallbacks{});
}
