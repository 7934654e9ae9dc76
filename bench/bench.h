// A small benchmark registry. Each case measures one workload, prints its figures and,
// where there is a target, whether it was met. Run `quillon-bench` for all cases or
// `quillon-bench NAME...` for some; `--list` names them.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quillon::bench {

struct Case {
    std::string name;
    std::string description;
    std::function<void()> run;
};

std::vector<Case>& Registry();

struct Registrar {
    Registrar(std::string name, std::string description, std::function<void()> run) {
        Registry().push_back({std::move(name), std::move(description), std::move(run)});
    }
};

// CPU seconds of the whole process so far (every thread).
double ProcessCpuSeconds();
// The CPU seconds of the latest Seconds() call; Report prints them beside the wall clock,
// since on a shared machine the wall clock says more about the neighbours than the code.
double& LastCpuSeconds();

// Wall-clock seconds taken by f.
template <typename F> double Seconds(F&& f) {
    const double cpu = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    f();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    LastCpuSeconds() = ProcessCpuSeconds() - cpu;
    return wall;
}

// The least wall-clock seconds of `repeats` calls of f, its CPU seconds left for Report:
// on a shared virtual machine the least is the run the neighbours disturbed least.
template <typename F> double LeastOf(int repeats, F&& f) {
    double least = 0, leastCpu = 0;
    for (int i = 0; i < repeats; ++i) {
        const double s = Seconds(f);
        if (i == 0 || s < least) {
            least = s;
            leastCpu = LastCpuSeconds();
        }
    }
    LastCpuSeconds() = leastCpu;
    return least;
}

// Peak resident memory of the process so far, in bytes.
long long PeakResidentBytes();

// Prints "  label: value", the CPU seconds of the latest Seconds() call and, with a
// target, "(target < X: met|MISSED)" (judged on the wall clock).
void Report(const std::string& label, double seconds, double targetSeconds = 0);

} // namespace quillon::bench
