#include "app/arguments.h"

ProgramArguments ParseArguments(const std::vector<std::string>& arguments)
{
    ProgramArguments parsed;
    for (const std::string& argument : arguments) {
        if (argument == "--capabilities") {
            parsed.capabilities = true;
        } else if (argument == "--capabilities-only") {
            parsed.capabilitiesOnly = true;
        } else {
            parsed.unknown = argument;
            break;
        }
    }
    return parsed;
}
