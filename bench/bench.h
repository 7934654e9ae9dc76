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

// Wall-clock seconds taken by f.
template <typename F> double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory of the process so far, in bytes.
long long PeakResidentBytes();

// Prints "  label: value" and, with a target, "(target < X: met|MISSED)".
void Report(const std::string& label, double seconds, double targetSeconds = 0);

} // namespace quillon::bench
