// The figures of the significant tables of a pass (SignificantTables) at one point's
// proportions.
//
// A table's probability is M(a, b, c, d) K_row(r) K_col(k): its coefficient times its
// margins' kernels (the comparative trial has no row kernel). So a test's significant
// proportion is
//     sum over margins (r, k) of K_row(r) K_col(k) W_t(r, k),
// with W_t(r, k) the sum of the coefficients of the tables of those margins the test calls
// significant. W does not depend on the proportions, so a point costs one product per
// margin instead of one per table; the upper bound is the same form with the kernels'
// upper bounds.
//
// Max. dif. is the largest excess of the cumulative probability of the tables with
// P <= P_g over P_g, over the distinct P values P_g <= alpha. The entries' probabilities
// are summed into buckets of P values (SignificantBucket); the excess within a bucket is
// at most (cumulative after it) - (its least P), so only buckets whose bound beats the
// excess already found at some bucket's last value are sorted and walked group by group.
//
// Arithmetic: where a margin's kernels and coefficients are sound, a term is the direct
// product (W K_row) K_col, the table-order product regrouped; where a kernel underflows or
// a coefficient overflows it is W' exp(logScale + ln K_row + ln K_col), W' the sum of the
// coefficients scaled by the margin's largest. Every sum has a fixed order (margins in
// order; entries of a margin in table order), so serial runs, --jobs and shards agree to
// the bit, and each stays within (number of tables) x 2^-52 of the table-order sum in
// relative terms: the literal procedures in the tests are the reference.
// Limits: a table whose coefficient is below 2^-1022 times its margin's largest counts as 0
// where the logarithmic form is taken (its probability is then below 2^-1022 as well).
#pragma once

#include "core/tables.h"
#include "study/significance.h"

#include <span>
#include <vector>

namespace quillon {

// The probability of every entry of `tables` under the null kernels (the value, not the
// bounds), indexed as tables.tables.
void EntryProbabilities(const SignificantTables& tables, const NullKernels& kernels,
                        LargeArray<double>& out);
// The same under an alternative.
void EntryProbabilities(const SignificantTables& tables, const AlternativeKernels& kernels,
                        LargeArray<double>& out);

// Prop. sig. and the upper bound of `test` (one of tables.needed) under `kernels`.
struct NullSums {
    double proportion = 0, upperBound = 0;
};
NullSums SignificantSums(const SignificantTables& tables, int test, const NullKernels& kernels);

// The sum of `probability` (by entry) over the entries `test` calls significant, in entry
// order.
double SumOverTest(const SignificantTables& tables, int test, std::span<const double> probability);

// Max. dif. of every test of tables.order (in that order) with the entries' `probability`
// (by entry), from one reading of the entries. Precondition: tables.ordered.
std::vector<double> MaximumExcesses(const SignificantTables& tables,
                                    std::span<const double> probability);

} // namespace quillon
