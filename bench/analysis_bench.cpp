// Effect sizes of one table: the conditional odds ratio visits every value a can take
// under the margins at each step of its root finding, so its time grows with the table.
#include "analysis/effects.h"
#include "bench.h"

#include <cstdio>

namespace quillon::bench {
namespace {

double gSink = 0;

void Run() {
    // Balanced tables (the widest range of a for their total), up to the largest range for
    // which the conditional figures are computed.
    for (const double cell : {10.0, 100.0, 1'000.0, 10'000.0, 100'000.0, 499'999.0}) {
        EffectSizes e;
        const double seconds =
            Seconds([&] { e = ComputeEffectSizes(cell, cell + 1, cell + 1, cell); });
        gSink += e.conditionalInterval.upper;
        char label[96];
        std::snprintf(label, sizeof label, "table %.0f %.0f %.0f %.0f", cell, cell + 1, cell + 1,
                      cell);
        // The analysis window waits for the figures with the busy pointer: keep it short.
        Report(label, seconds, cell == 499'999.0 ? 2.0 : 0);
    }
    std::printf("  (checksum %.6g)\n", gSink);
}

Registrar gEffects("analysis-effects",
                   "effect sizes of one table (conditional odds ratio and its exact interval)",
                   Run);

} // namespace
} // namespace quillon::bench
