#include "cli.h"
#include "cli_command.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::Io io{std::cout, std::cerr, &std::cin, isatty(0) == 1, isatty(2) == 1};
    return RunCli(args, io);
}
