#include "cli/commands.h"
#include "cli/stop_signals.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool terminal = isatty(STDERR_FILENO) != 0;
    quillon::cli::Streams io{std::cout, std::cerr, terminal, !terminal};
    // A file-size limit (ulimit -f) makes a write fail with a message rather than end the
    // process part way through a line.
    std::signal(SIGXFSZ, SIG_IGN);
    quillon::cli::InstallStopSignals();
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
    // A command without safe points of its own (a merge, a dedupe, an analysis) is short
    // and writes all or nothing: it finishes, and the signal still ends it as a stop.
    if (const int signal = quillon::cli::StopSignal(); signal != 0 && status == 0) {
        std::cerr << "quillon-cli: " << quillon::cli::StopSignalName(signal)
                  << " received; the command had finished its work\n";
        return quillon::cli::StopExitStatus(signal);
    }
    return status;
}
