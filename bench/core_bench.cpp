// Core statistics: all seven P values of every table of a comparative trial.
#include "bench.h"
#include "core/pvalues.h"
#include "core/tables.h"
#include "reference/core_literal.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

namespace quillon::bench {
namespace {

constexpr std::int64_t kN = 1000;
constexpr std::int64_t kM = 500;

struct Table {
    std::int64_t a, b, c, d;
};

std::vector<Table> Tables() {
    std::vector<Table> tables;
    for (std::int64_t a = 0; a <= kM; ++a)
        for (std::int64_t c = 0; c <= kN - kM; ++c)
            tables.push_back({a, kM - a, c, kN - kM - c});
    return tables;
}

// Consumes a result so the compiler keeps the work.
double gSink = 0;

void SevenPValues(const Table& t, bool literal) {
    const double a = double(t.a), b = double(t.b), c = double(t.c), d = double(t.d);
    if (a + b == 0 || c + d == 0 || a + c == 0 || b + d == 0)
        return; // a zero margin never reaches the chi squared tests
    for (int test = 1; test <= 3; ++test) {
        const double X = ChiSquaredValue(a, b, c, d, test);
        gSink += literal ? 2 * reference::CumulativeNormalLiteral(-std::pow(X, 0.5))
                         : ChiSquaredPValue(X);
    }
    const FisherPValues f = literal ? reference::FishersExactTestLiteral(t.a, t.b, t.c, t.d)
                                    : FishersExactTest(t.a, t.b, t.c, t.d);
    gSink += f.test4 + f.test5 + f.test6 + f.test7;
}

void Run() {
    LogFactorial(kN);
    const std::vector<Table> tables = Tables();
    std::printf("  %zu tables (comparative trial N = %lld, m = %lld)\n", tables.size(),
                static_cast<long long>(kN), static_cast<long long>(kM));

    // The literal procedures are slow: time every 25th table and scale.
    constexpr std::size_t kStride = 25;
    std::size_t sampled = 0;
    const double literal = Seconds([&] {
        for (std::size_t i = 0; i < tables.size(); i += kStride, ++sampled)
            SevenPValues(tables[i], true);
    });
    const double literalRate = double(sampled) / literal;

    const double fast = Seconds([&] {
        for (const Table& t : tables)
            SevenPValues(t, false);
    });
    const double fastRate = double(tables.size()) / fast;

    // Sharing the hypergeometric terms of one set of margins, as the studies do.
    std::map<std::tuple<std::int64_t, std::int64_t, std::int64_t>, FisherTerms> cache;
    const double shared = Seconds([&] {
        for (const Table& t : tables) {
            const double a = double(t.a), b = double(t.b), c = double(t.c), d = double(t.d);
            if (a + b == 0 || c + d == 0 || a + c == 0 || b + d == 0)
                continue;
            for (int test = 1; test <= 3; ++test)
                gSink += ChiSquaredPValue(ChiSquaredValue(a, b, c, d, test));
            const FisherWorkingTable w = MakeWorkingTable(t.a, t.b, t.c, t.d);
            const auto key = std::make_tuple(w.R1(), w.K1(), w.K2());
            auto it = cache.find(key);
            if (it == cache.end())
                it = cache.emplace(key, FisherTerms(w.R1(), w.K1(), w.K2())).first;
            const FisherPValues f = it->second.PValues(w.A);
            gSink += f.test4 + f.test5 + f.test6 + f.test7;
        }
    });
    const double sharedRate = double(tables.size()) / shared;

    std::printf("  literal procedures           %12.0f tables/s (%zu tables sampled)\n",
                literalRate, sampled);
    std::printf("  fast core, per table         %12.0f tables/s (%.3f s, %.1f x literal)\n",
                fastRate, fast, fastRate / literalRate);
    std::printf("  fast core, terms per margins %12.0f tables/s (%.3f s, %.1f x literal)\n",
                sharedRate, shared, sharedRate / literalRate);
    std::printf("  (checksum %.6g)\n", gSink);
}

Registrar gCore("core-pvalues", "all seven P values, comparative trial N = 1000, m = 500", Run);

} // namespace
} // namespace quillon::bench
