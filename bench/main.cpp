#include "bench.h"

#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <time.h>

namespace quillon::bench {

std::vector<Case>& Registry() {
    static std::vector<Case> cases;
    return cases;
}

long long PeakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double& LastCpuSeconds() {
    static double seconds = 0;
    return seconds;
}

void Report(const std::string& label, double seconds, double targetSeconds) {
    if (targetSeconds > 0)
        std::printf("  %-58s %9.3f s  cpu %8.3f s  (target < %g s: %s)\n", label.c_str(), seconds,
                    LastCpuSeconds(), targetSeconds, seconds < targetSeconds ? "met" : "MISSED");
    else
        std::printf("  %-58s %9.3f s  cpu %8.3f s\n", label.c_str(), seconds, LastCpuSeconds());
    std::fflush(stdout);
}

} // namespace quillon::bench

int main(int argc, char** argv) {
    using quillon::bench::Registry;
    if (argc > 1 && std::strcmp(argv[1], "--list") == 0) {
        for (const auto& c : Registry())
            std::printf("%-28s %s\n", c.name.c_str(), c.description.c_str());
        return 0;
    }
    int ran = 0;
    for (const auto& c : Registry()) {
        bool wanted = argc == 1;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || c.name == argv[i];
        if (!wanted)
            continue;
        std::printf("%s: %s\n", c.name.c_str(), c.description.c_str());
        c.run();
        ++ran;
    }
    if (ran == 0) {
        std::fprintf(stderr, "quillon-bench: no case matched (try --list)\n");
        return 2;
    }
    return 0;
}
