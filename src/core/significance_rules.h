// The two rules by which a P value counts as significant, side by side.
//
// Both are the system's own and both stay: stored summary files and published figures were
// made with them, and a table whose P value equals the level exactly falls on different
// sides of them.
//   - At the level (P <= alpha): the particular study's Prop. sig., Upper bound and
//     Max. dif., the power study's power and size, and the maximum search's "2MaxDif"
//     cutoff.
//   - Strictly below the level (P < alpha): the maximum search's actual Type I error
//     ("1ProSig") and the particular study's table-by-table comparison of two tests.
// A policy code (1.1, 1.2, 1.3) is above every level, so a table outside the MEN/MMT
// policy is never significant under either rule.
#pragma once

namespace quillon {

inline bool SignificantAtLevel(double pValue, double alpha) {
    return pValue <= alpha;
}

inline bool SignificantBelowLevel(double pValue, double alpha) {
    return pValue < alpha;
}

} // namespace quillon
