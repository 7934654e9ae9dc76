// The P-value pass alone (every needed test's P value or policy code for every enumerated
// table, as the particular and power studies fill their test columns), on one thread, at
// the sizes of the speed targets: a comparative trial N = 1000, a cross-sectional study
// N = 150, and the passes of the power sweep N = 10 to 400.
#include "bench.h"

#include "core/tables.h"
#include "study/significance.h"

#include <cstdio>
#include <string>

namespace quillon::bench {
namespace {

const std::vector<int> kSevenTests{1, 2, 3, 4, 5, 6, 7};

// CPU seconds of the pass over a fresh enumeration (made outside the timing), the least of
// `repeats`: on a shared machine the least is the one the neighbours disturbed least.
double TimedPass(DesignCode design, std::int64_t N, double row, int repeats = 5) {
    const PValuePass pass = MakePValuePass(design, N, row, 0, 1);
    const TestSet needed = NeededTests(kSevenTests, false);
    double least = 0;
    for (int i = 0; i < repeats; ++i) {
        TableArray tables;
        EnumerateTables(design, N, .3, 0, row, 0, tables);
        Seconds([&] { ComputeTablePValues(pass, needed, tables, 1, nullptr); });
        if (i == 0 || LastCpuSeconds() < least)
            least = LastCpuSeconds();
    }
    return least;
}

Registrar gPass("pvalue-pass",
                "the P-value pass alone, tests 1 - 7, one thread, least of repeats: comparative "
                "trial N = 1000, "
                "cross-sectional N = 150, the power sweep's passes N = 10 to 400",
                [] {
                    LogFactorial(1000);
                    const double ct = TimedPass(ComparativeTrial, 1000, 500);
                    std::printf("  comparative trial N = 1000, m = 500    cpu %7.3f s (aim <= "
                                "0.03 s: %s)\n",
                                ct, ct <= 0.03 ? "met" : "MISSED");
                    const double cs = TimedPass(CrossSectionalStudy, 150, .4);
                    std::printf("  cross-sectional N = 150                 cpu %7.3f s\n", cs);
                    double sweep = 0;
                    for (std::int64_t N = 10; N <= 400; ++N)
                        sweep += TimedPass(ComparativeTrial, N, static_cast<double>(N / 2), 3);
                    std::printf("  power sweep's passes N = 10 to 400      cpu %7.3f s (aim <= "
                                "0.4 s: %s)\n",
                                sweep, sweep <= 0.4 ? "met" : "MISSED");
                });

} // namespace
} // namespace quillon::bench
