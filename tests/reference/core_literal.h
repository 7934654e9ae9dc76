// The core statistics written out step by step, exactly as the program's procedures read,
// with no caching or look-up of any kind. The fast engine must agree with these bit for
// bit; the benchmark measures against them.
#pragma once

#include "core/designs.h"
#include "core/pvalues.h"
#include "core/tables.h"

#include <cstdint>
#include <vector>

namespace quillon::reference {

// The registered tests these procedures give P values for, ascending: the chi squared and
// Fisher-Irwin families. Tests of other families are checked against references of their
// own.
std::vector<int> LiteralTests();

// ln(x!) summed afresh: ln 1 + ln 2 + ... + ln x in ascending order, starting from 0.
double LogFactorialLiteral(std::int64_t x);

// The midpoint integral, one step at a time from -6.
double CumulativeNormalLiteral(double z);

// One pass over P(0..R1) computed term by term from the log-factorial cache, with the
// exact tie rule for tests 5 and 7 decided by comparing factorial products for every j
// whose term lies within a millionth of P(A) (valid for totals up to 10000).
FisherPValues FishersExactTestLiteral(std::int64_t a, std::int64_t b, std::int64_t c,
                                      std::int64_t d);

struct LiteralRow {
    double a, b, c, d, probability, lower, upper;
};

// The enumeration with one KernelBounds call per table, as the loops are written.
std::vector<LiteralRow> EnumerateTablesLiteral(DesignCode design, std::int64_t N, double p,
                                               double w, double x, double wx);

} // namespace quillon::reference
