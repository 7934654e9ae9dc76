#include "cli/commands.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    quillon::cli::Streams io{std::cout, std::cerr, isatty(STDERR_FILENO) != 0};
    const int status = quillon::cli::RunCli(args, io);
    std::cout.flush();
    return status;
}
