// The exact unconditional tests: one table as the analysis prints it (both tests, the
// whole text), and the P values of every table of a comparative trial as the studies need
// them once per N and row value.
#include "analysis/unconditional_tests.h"
#include "bench.h"
#include "core/unconditional.h"

#include <cstdio>
#include <string>

namespace quillon::bench {
namespace {

double gSink = 0;

void OneTable() {
    struct Row {
        double a, b, c, d, target;
    };
    const Row rows[] = {{14, 33, 48, 235, 0},
                        {100, 100, 120, 80, 0},
                        {110, 90, 130, 70, 0.02},
                        {520, 480, 560, 440, 0.5}};
    for (const Row& r : rows) {
        std::string text;
        const double seconds =
            Seconds([&] { text = UnconditionalTestsText(r.a, r.b, r.c, r.d, "\n"); });
        gSink += static_cast<double>(text.size());
        char label[96];
        std::snprintf(label, sizeof label, "analyse %.0f %.0f %.0f %.0f --unconditional", r.a, r.b,
                      r.c, r.d);
        Report(label, seconds, r.target);
    }
    std::printf("  (checksum %.6g)\n", gSink);
}

void EveryTable() {
    struct Row {
        std::int64_t N, m;
        double target;
    };
    const Row rows[] = {{60, 30, 0}, {200, 100, 1.0}, {1000, 500, 60.0}};
    for (const Row& r : rows) {
        double sum = 0;
        const double seconds = Seconds([&] {
            for (int test : {UnconditionalChiSquaredTest, UnconditionalFisherTest})
                for (const UnconditionalResult& u : UnconditionalDesign(test, r.N, r.m))
                    sum += u.pValue;
        });
        gSink += sum;
        char label[96];
        std::snprintf(label, sizeof label, "every table of N = %lld, m = %lld, tests 8 and 9",
                      static_cast<long long>(r.N), static_cast<long long>(r.m));
        Report(label, seconds, r.target);
    }
    std::printf("  (checksum %.6g)\n", gSink);
}

Registrar gOne("unconditional-table", "exact unconditional tests 8 and 9 of one table", OneTable);
Registrar gEvery("unconditional-design",
                 "P values of tests 8 and 9 for every table of a comparative trial", EveryTable);

} // namespace
} // namespace quillon::bench
