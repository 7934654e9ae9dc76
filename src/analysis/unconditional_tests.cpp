#include "analysis/unconditional_tests.h"

#include "core/numtext.h"
#include "core/unconditional.h"

#include <cstdint>

namespace quillon {

namespace {

// Near its maximum the total is flat to the certificate's 1e-7 over a range of p about a
// thousandth of p wide, so three figures of the proportion are all that are known.
constexpr double kProportionFigures = 3;

} // namespace

std::string UnconditionalTestsText(double a, double b, double c, double d, std::string_view eol) {
    const std::string e(eol);
    const double m = a + b, n = c + d;
    std::string t = "Exact unconditional tests for a = " + GeneralNumberText(a) +
                    ", b = " + GeneralNumberText(b) + ", c = " + GeneralNumberText(c) +
                    ", d = " + GeneralNumberText(d) + " (rows B and Not-B as two independent" +
                    " samples of " + GeneralNumberText(m) + " and " + GeneralNumberText(n) +
                    " with one proportion p of column A; each P value is the largest over p" +
                    " from 0 to 1 of the probability of a table at least as extreme, and the" +
                    " search proves that no p gives more than 1.0000001 times it):" + e;
    const auto total = static_cast<std::int64_t>(m + n);
    for (int test : {UnconditionalChiSquaredTest, UnconditionalFisherTest}) {
        t += std::string(UnconditionalTestName(test)) + ": ";
        if (total > MaxUnconditionalTotal) {
            t += "not computed (the total exceeds" + PlainNumberText(MaxUnconditionalTotal) + ")" +
                 e;
            continue;
        }
        const UnconditionalResult r =
            UnconditionalTest(test, static_cast<std::int64_t>(a), static_cast<std::int64_t>(b),
                              static_cast<std::int64_t>(c), static_cast<std::int64_t>(d));
        t += "P value = " + GiveNumberTonsf(r.pValue, 6);
        if (r.everyTable)
            t += ", the same at every p (every table is as extreme)";
        else if (r.proportion == 0.5)
            t += ", largest at p = " + GiveNumberTonsf(r.proportion, kProportionFigures);
        else
            t += ", largest at p = " + GiveNumberTonsf(r.proportion, kProportionFigures) +
                 " and at 1 - p";
        t += e;
    }
    t += e + std::string(100, '-') + e;
    return t;
}

} // namespace quillon
