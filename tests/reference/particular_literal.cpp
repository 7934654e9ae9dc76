#include "reference/particular_literal.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "reference/core_literal.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quillon::reference {

namespace {

const char* const kEol = "\r\n";

std::string S(double x) {
    return PlainNumberText(x);
}

} // namespace

LiteralEvaluation EvaluatePointLiteral(const LiteralPoint& point, const std::string& caption) {
    LiteralEvaluation out;
    std::string& f = out.resultsText;

    // Enumeration into rows 1..T of the table array.
    const std::vector<LiteralRow> rows =
        EnumerateTablesLiteral(point.design, point.N, point.p, point.w, point.x, point.wx);
    const std::size_t T = rows.size();
    auto& TA = out.tableArray;
    TA.assign(T + 1, std::array<double, 15>{});
    for (std::size_t t = 1; t <= T; ++t) {
        const LiteralRow& r = rows[t - 1];
        TA[t][1] = r.a;
        TA[t][2] = r.b;
        TA[t][3] = r.c;
        TA[t][4] = r.d;
        TA[t][5] = r.probability;
        TA[t][6] = r.lower;
        TA[t][7] = r.upper;
    }

    // First pass: labels per table and requested test.
    std::map<int, std::vector<std::string>> label;
    for (int k : point.tests) {
        label[k].assign(T + 1, "");
        for (std::size_t t = 1; t <= T; ++t)
            label[k][t] = S(TA[t][1]) + S(TA[t][2]) + S(TA[t][3]) + S(TA[t][4]);
    }

    // Second pass: the P values, or the policy code in all seven columns.
    const double N = static_cast<double>(point.N);
    for (std::size_t t = 1; t <= T; ++t) {
        const double a = TA[t][1], b = TA[t][2], c = TA[t][3], d = TA[t][4];
        const double R1 = a + b, R2 = c + d, C1 = a + c, C2 = b + d;
        const PolicyResult policy = CheckTablePolicy(N, R1, R2, C1, C2, point.MEN, point.MMT);
        if (!policy.eligible) {
            for (int k = 1; k <= 7; ++k)
                TA[t][7 + k] = policy.code;
            continue;
        }
        for (int k = 1; k <= 3; ++k)
            TA[t][7 + k] =
                2 * CumulativeNormalLiteral(-std::pow(ChiSquaredValue(a, b, c, d, k), 0.5));
        const FisherPValues fisher =
            FishersExactTestLiteral(static_cast<std::int64_t>(a), static_cast<std::int64_t>(b),
                                    static_cast<std::int64_t>(c), static_cast<std::int64_t>(d));
        TA[t][11] = fisher.test4;
        TA[t][12] = fisher.test5;
        TA[t][13] = fisher.test6;
        TA[t][14] = fisher.test7;
    }

    // Section 1.
    f += caption + kEol;
    f += std::string("A dummy P value of 1.1 is recorded if a marginal total is < MMT "
                     "specified; and a ") +
         "value of 1.2 if an expected number is < MEN specified; and a value of " +
         "1.3 if both.  " + kEol;
    f += "Table          \tProportion          \tUpper bound      ";
    for (int k = 1; k <= 7; ++k)
        f += "\tP (test" + S(k) + ")";
    f += kEol;
    const int firstTest = point.tests.front();
    for (std::size_t t = 1; t <= T; ++t) {
        f += label[firstTest][t] + "\t" + S(TA[t][5]) + "\t" + S(TA[t][7]);
        for (int col = 8; col <= 14; ++col)
            f += "\t" + GiveNumberTonsf(TA[t][col], 7);
        f += kEol;
    }

    // Records per test number: fields 1..7.
    std::map<int, std::vector<std::array<double, 8>>> rec;
    for (int k : point.tests) {
        rec[k].assign(T + 1, std::array<double, 8>{});
        for (std::size_t t = 1; t <= T; ++t) {
            rec[k][t][2] = TA[t][5];
            rec[k][t][6] = TA[t][7];
            rec[k][t][1] = TA[t][7 + k];
        }
    }

    // Per distinct test (a repeated test is sorted once), the records in increasing P
    // value, records of equal P value in table order: records are taken in table order
    // and each is placed after every record whose P value is not greater.
    std::map<int, bool> sortedAlready;
    for (int k : point.tests) {
        if (sortedAlready[k])
            continue;
        sortedAlready[k] = true;
        auto& R = rec[k];
        auto& L = label[k];
        std::vector<std::size_t> order(T);
        for (std::size_t t = 1; t <= T; ++t)
            order[t - 1] = t;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t x, std::size_t y) { return R[x][1] < R[y][1]; });
        auto sortedR = R;
        auto sortedL = L;
        for (std::size_t t = 1; t <= T; ++t) {
            sortedR[t] = R[order[t - 1]];
            sortedL[t] = L[order[t - 1]];
        }
        R = std::move(sortedR);
        L = std::move(sortedL);
    }

    // Section 2.
    const std::string H = std::string("P value   \tProportion\tCum. proportion\t") +
                          "Upper bound prop.\tUpper bound cum. prop.";
    f += kEol;
    f += std::string("After ordering tables by increasing P value:") + kEol;
    f += "Table     \t" + H + kEol;
    for (int k : point.tests) {
        f += kEol;
        f += "test" + S(k) + kEol;
        double cum = 0, cumUB = 0;
        for (std::size_t t = 1; t <= T; ++t) {
            cum = cum + rec[k][t][2];
            cumUB = cumUB + rec[k][t][6];
            f += label[k][t] + "\t" + GiveNumberTonsf(rec[k][t][1], 7) + "\t" + S(rec[k][t][2]) +
                 "\t" + GiveNumberTonsf(cum, 7) + "\t" + S(rec[k][t][6]) + "\t" +
                 GiveNumberTonsf(cumUB, 7) + kEol;
        }
    }

    // Combining per distinct test.
    std::map<int, std::size_t> groupCount;
    for (int k : point.tests) {
        if (groupCount.count(k) != 0)
            continue;
        auto& R = rec[k];
        auto& L = label[k];
        std::size_t g = 1;
        L[1] = " 1";
        for (std::size_t t = 2; t <= T; ++t) {
            if (std::fabs(R[t][1] - R[g][1]) != 0) {
                g = g + 1;
                L[g] = " 1";
                for (int fld = 1; fld <= 6; ++fld)
                    R[g][fld] = R[t][fld];
            } else {
                L[g] = S(NumericReading(L[g]) + 1);
                R[g][2] += R[t][2];
                R[g][6] += R[t][6];
            }
        }
        groupCount[k] = g;
    }

    // Section 3, filling the cumulative fields as it goes.
    f += kEol;
    f += std::string("After combining identical P values:") + kEol;
    f += "n(same)     \t" + H + kEol;
    for (int k : point.tests) {
        f += kEol;
        f += "test" + S(k) + kEol;
        double cum = 0, cumUB = 0;
        for (std::size_t g = 1; g <= groupCount[k]; ++g) {
            auto& r = rec[k][g];
            cum = cum + r[2];
            cumUB = cumUB + r[6];
            r[3] = cum;
            r[7] = cumUB;
            f += label[k][g] + "\t" + GiveNumberTonsf(r[1], 7) + "\t" + S(r[2]) + "\t" +
                 GiveNumberTonsf(r[3], 7) + "\t" + S(r[6]) + "\t" + GiveNumberTonsf(r[7], 7) + kEol;
        }
    }

    // Summaries.
    for (int k : point.tests) {
        LiteralSummary s;
        s.test = k;
        s.groupCount = groupCount[k];
        for (std::size_t g = 1; g <= groupCount[k]; ++g) {
            const auto& r = rec[k][g];
            if (r[1] <= point.parameter) {
                s.propSig = r[3];
                s.upperBound = r[7];
                if (r[3] - r[1] > s.maxDif)
                    s.maxDif = r[3] - r[1];
            }
        }
        out.summaries.push_back(s);
    }
    return out;
}

} // namespace quillon::reference
