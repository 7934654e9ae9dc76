#include "cli/commands.h"

#include <exception>
#include <iostream>
#include <new>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool terminal = isatty(STDERR_FILENO) != 0;
    quillon::cli::Streams io{std::cout, std::cerr, terminal, !terminal};
    int status = 1;
    // What escapes a command (memory exhausted, an unexpected fault of the program) ends
    // it with a message and status 1, as the desktop program reports it in a message box,
    // rather than an abort. Every summary line already written is complete on disk.
    try {
        status = quillon::cli::RunCli(args, io);
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << "\nquillon-cli: the run needed more memory than the machine could give; "
                     "nothing further was computed.\n";
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "\nquillon-cli: the run stopped unexpectedly: " << e.what() << '\n';
        return 1;
    } catch (...) {
        std::cout.flush();
        std::cerr << "\nquillon-cli: the run stopped unexpectedly.\n";
        return 1;
    }
    std::cout.flush();
    return status;
}
