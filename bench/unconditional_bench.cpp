// The exact unconditional tests: one table as the analysis prints it (both tests, the
// whole text), the P values of every table of a comparative trial as the studies need
// them once per N and row value, and a particular and a power point that take them.
#include "analysis/unconditional_tests.h"
#include "bench.h"
#include "core/tables.h"
#include "core/unconditional.h"
#include "particular/evaluation.h"
#include "power/evaluation.h"

#include <cstdio>
#include <optional>
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

// A particular-proportion point and a power point of a comparative trial N = 200, m = 100,
// with tests 8 and 9: the P values of the design's tables walked once per test.
void StudyPoints() {
    LogFactorial(200);
    EvaluationPoint point;
    point.design = ComparativeTrial;
    point.N = 200;
    point.row = 100;
    point.pCol = 0.3;
    point.tests = {UnconditionalChiSquaredTest, UnconditionalFisherTest};
    double sum = 0;
    double seconds = Seconds([&] {
        const std::optional<PointEvaluation> ev = EvaluatePoint(point);
        for (const TestEvaluation& r : ev->results)
            sum += r.propSig;
    });
    Report("particular point N = 200, m = 100, tests 8 and 9 with the seven listed", seconds, 1.0);

    PowerPoint power;
    power.N = 200;
    power.row = 100;
    power.p1 = 0.2;
    power.p2 = 0.35;
    power.tests = {UnconditionalChiSquaredTest, UnconditionalFisherTest};
    PowerOptions options;
    options.allTestColumns = false;
    seconds = Seconds([&] {
        const std::optional<PowerEvaluation> ev = EvaluatePower(power, options);
        for (const PowerTestResult& r : ev->results) {
            sum += r.power;
            std::printf("  power of test %d: %.7f, size %.7f\n", r.test, r.power, r.size);
        }
    });
    Report("power point N = 200, m = 100, p1 .2, p2 .35, tests 8 and 9", seconds, 1.0);
    gSink += sum;
    std::printf("  (checksum %.6g)\n", gSink);
}

Registrar gOne("unconditional-table", "exact unconditional tests 8 and 9 of one table", OneTable);
Registrar gEvery("unconditional-design",
                 "P values of tests 8 and 9 for every table of a comparative trial", EveryTable);
Registrar
    gStudies("unconditional-studies",
             "a particular and a power point of a comparative trial N = 200 with tests 8 and 9",
             StudyPoints);

} // namespace
} // namespace quillon::bench
