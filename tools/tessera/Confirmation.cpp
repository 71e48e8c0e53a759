#include "Confirmation.h"

#include <unistd.h>

#include <iostream>

#include "CommandFailure.h"

bool confirmed(const std::string& question) {
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO))
        throw CommandFailure(ExitCode::Usage,
                             question + ": nobody at a terminal to answer; --yes answers yes");
    std::cerr << question << " [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}
