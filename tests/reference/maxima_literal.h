// The area search for the maximum written out step by step: every area enumerates its
// tables afresh (one KernelBounds call per table), the P values are computed table by
// table with the step-by-step core, and "2MaxDif" sorts its P values with the comb sort
// and sums the mass of each distinct value by scanning every table. It carries the same
// safeguards as the program's search (the largest value kept within a search, no stop
// before the first survey, survey cells reaching above the diagonal, a floor on widths).
// The fast search must produce the same areas, values and bounds bit for bit.
#pragma once

#include "maxima/search.h"

#include <cstdint>
#include <vector>

namespace quillon::reference {

// The P value of one table, step by step (policy check, then the test, then the combined
// policies).
double SearchPValueLiteral(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, int test,
                           double MEN, double MMT, TestPolicy policy);

// Value at the corner and bound over the area of one area, enumerating its tables.
// `pvalues` are the tables' P values in enumeration order.
AreaValue EvaluateAreaLiteral(const SearchSpec& spec, const std::vector<double>& pvalues,
                              double pcol, double wcol, double prow, double wrow);

struct LiteralEvaluation {
    double pcol, wcol, prow, wrow, value, bound;
};

struct LiteralSearch {
    std::vector<LiteralEvaluation> evaluations; // every area, in the order evaluated
    FoundMaximum maximum;
    double residueBound = 0;
    bool residueEmpty = false;
    bool converged = true;
};

// One search. `carried` as in RunAreaSearch.
LiteralSearch AreaSearchLiteral(const SearchSpec& spec, const FoundMaximum* carried);

} // namespace quillon::reference
