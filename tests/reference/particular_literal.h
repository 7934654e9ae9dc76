// The particular-proportion study's evaluation of one point written out step by step: a
// table array of 15 columns with the rows of the enumeration, every P value computed afresh
// for every table, records of seven fields per test, ordered by increasing P value
// (records of equal P value in table order) with their label texts, the combining with its n(same)
// label texts, and the three listings of the results file printed as they are built. The fast
// engine must produce the same figures and the same text, bit for bit and byte for byte.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/designs.h"

namespace quillon::reference {

struct LiteralPoint {
    DesignCode design = ComparativeTrial;
    std::int64_t N = 20;
    double p = 0.5, w = 0, x = 10, wx = 0, MEN = 0, MMT = 1, parameter = 0.05;
    std::vector<int> tests{1};
};

struct LiteralSummary {
    int test = 0;
    double propSig = 0, upperBound = 0, maxDif = 0;
    std::uint64_t groupCount = 0;
};

struct LiteralEvaluation {
    // Rows 1..T (row 0 unused), columns 0..14 as in the program.
    std::vector<std::array<double, 15>> tableArray;
    // The three sections of "ParticularResults.txt", the caption line being given.
    std::string resultsText;
    // One per requested test in list order (a repeated test repeats its results).
    std::vector<LiteralSummary> summaries;
};

// `caption` is the caption line written at the top of the listing.
LiteralEvaluation EvaluatePointLiteral(const LiteralPoint& point, const std::string& caption);

} // namespace quillon::reference
