// Evaluation points for the particular study's tests, and the same point as the literal
// transcription takes it.
#pragma once

#include "particular/evaluation.h"
#include "reference/particular_literal.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace quillon::testing {

// A point at pi(col) p with interval w, row x (m, or pi(row) with the same interval).
inline EvaluationPoint Point(DesignCode design, std::int64_t N, double p, double w, double x,
                             double MEN, double MMT, std::vector<int> tests, double parameter) {
    EvaluationPoint point;
    point.design = design;
    point.N = N;
    point.pCol = p;
    point.interval = w;
    point.row = x;
    point.rowInterval = design == CrossSectionalStudy ? w : 0;
    point.MEN = MEN;
    point.MMT = MMT;
    point.tests = std::move(tests);
    point.parameter = parameter;
    return point;
}

inline reference::LiteralPoint LiteralOf(const EvaluationPoint& point) {
    reference::LiteralPoint lp;
    lp.design = point.design;
    lp.N = point.N;
    lp.p = point.pCol;
    lp.w = point.interval;
    lp.x = point.row;
    lp.wx = point.rowInterval;
    lp.MEN = point.MEN;
    lp.MMT = point.MMT;
    lp.parameter = point.parameter;
    lp.tests = point.tests;
    return lp;
}

} // namespace quillon::testing
