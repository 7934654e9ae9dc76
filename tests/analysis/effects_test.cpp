// Effect sizes of one table against SciPy and R.
#include "analysis/effects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace quillon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The conditional roots are found to 1e-12 in ln(odds ratio); SciPy's agree with R's
// (rerun with uniroot(tol = 1e-15)) to about 1e-13. The closed forms differ from SciPy's
// and statsmodels' only by rounding.
constexpr double kRelativeTolerance = 1e-9;

struct Reference {
    double a, b, c, d;
    double conditional, conditionalLower, conditionalUpper;
    bool katz;
    double riskRatio, riskRatioLower, riskRatioUpper;
    double difference, differenceLower, differenceUpper;
};

// Produced with Python 3.11, SciPy 1.10.1 and statsmodels 0.13.5, for each table:
//   odds_ratio([[a, b], [c, d]], kind="conditional") and .confidence_interval(0.95)
//   relative_risk(a, a + b, c, c + d) and .confidence_interval(0.95)   (Katz log method)
//   confint_proportions_2indep(a, a + b, c, c + d, method="newcomb", compare="diff")
// The conditional figures were also checked against R 4.2's fisher.test(matrix(c(a, c, b,
// d), 2)), which agrees to its root-finding tolerance of about 1e-4 except for 50 1 1 50,
// where that tolerance makes R print an upper limit of 4.5e15 instead of 102061.8.
// RR columns are unused (katz false) where a or c is 0.
const Reference kReferences[] = {
    {10, 2, 3, 15, 21.305317556750314, 2.7533827882493185, 301.4623379715165, true,
     5.000000000000001, 1.726174767155342, 14.482890420880661, 0.6666666666666667,
     0.30605567317762084, 0.8280901457606976},
    {1, 0, 0, 3, kInf, 0.07692307692307725, kInf, false, 0, 0, 0, 1.0, 0.027969698422441902, 1.0},
    {0, 5, 5, 0, 0, 0, 0.43534120574505614, false, 0, 0, 0, -1.0, -1.0, -0.38554900569034356},
    {5, 0, 0, 5, kInf, 2.2970488132143876, kInf, false, 0, 0, 0, 1.0, 0.38554900569034356, 1.0},
    {0, 10, 3, 7, 0, 0, 2.2552275858089126, false, 0, 0, 0, -0.3, -0.6032218525388546,
     0.03759243457905065},
    {4, 6, 0, 10, kInf, 0.7704026886110295, kInf, false, 0, 0, 0, 0.4, 0.0383858208880023,
     0.6873262302663417},
    {3, 0, 2, 5, kInf, 0.4933854838390878, kInf, true, 3.5, 1.0848703152154964, 11.291672219427156,
     0.7142857142857143, 0.049790841170251454, 0.9177810759959434},
    {7, 3, 4, 0, 0, 0, 6.415138819724152, true, 0.7, 0.46653322613948905, 1.0503003270628672,
     -0.30000000000000004, -0.6032218525388546, 0.2262482575053919},
    {12, 5, 6, 12, 4.568252864013915, 0.9465288793123663, 25.720555399224125, true,
     2.11764705882353, 1.0289250895334714, 4.358363025025707, 0.3725490196078432,
     0.04271569007351794, 0.6073025363394392},
    {1, 1, 1, 1, 1.0, 0.006400016357890016, 156.2496006379585, true, 1.0, 0.1408634940932175,
     7.099071384231335, 0.0, -0.5734194679697172, 0.5734194679697172},
    {2, 8, 8, 2, 0.07545703556234867, 0.004174187856956184, 0.7636523111870257, true, 0.25,
     0.06966658044398853, 0.897130296932682, -0.6000000000000001, -0.8026820451433557,
     -0.161823565114959},
    {20, 30, 25, 25, 0.6693933078363379, 0.27988669221777035, 1.583173474347691, true, 0.8,
     0.516125760342172, 1.2400078608277643, -0.09999999999999998, -0.28218699265057545,
     0.09217743378376791},
    {100, 50, 80, 70, 1.7467012621654654, 1.0685851412185932, 2.8700856088098754, true, 1.25,
     1.0361286196905457, 1.5080174124199586, 0.1333333333333333, 0.022475171993890222,
     0.23968199390536415},
    {1, 99, 5, 95, 0.1932582942320283, 0.004017981407657096, 1.7725726643556248, true,
     0.19999999999999998, 0.02378967143290496, 1.6814019526420834, -0.04, -0.10229683479263399,
     0.012808937184152915},
    {0, 1, 1, 0, 0, 0, 38.99999999999997, false, 0, 0, 0, -1.0, -1.0, 0.12210872068194178},
    {3, 1, 1, 3, 6.408319658199662, 0.21173559544657966, 626.2435305888141, true, 3.0,
     0.5012843093869408, 17.95388331824468, 0.5, -0.13548840058295153, 0.7890832680847557},
    {50, 1, 1, 50, 1512.507433369351, 126.58051644405094, 102061.81206230854, true, 50.0,
     7.177717172189115, 348.30015449571283, 0.9607843137254901, 0.8427853829498815,
     0.9836071050288259},
    {9, 1, 1, 0, 0, 0, 390.00000000000045, true, 0.9, 0.7320116427439929, 1.106539777104723,
     -0.09999999999999998, -0.4041500267952386, 0.6976893548812331},
    {15, 0, 7, 8, kInf, 2.583369069748059, kInf, true, 2.142857142857143, 1.247496315003166,
     3.680841922713194, 0.5333333333333333, 0.22435387360713027, 0.7519046463426261},
    {0, 20, 1, 19, 0, 0, 38.99999999999997, false, 0, 0, 0, -0.05, -0.2361311934467421,
     0.11628906100603144},
    {1, 9, 1, 9, 1.0, 0.011479164490630184, 87.1143540818012, true, 1.0, 0.07210963413813187,
     13.867772482168172, 0.0, -0.3150421482518651, 0.3150421482518651},
    {30, 10, 10, 30, 8.704916211985289, 2.952980731050033, 28.15406539367957, true, 3.0,
     1.7037290739919277, 5.282530032144443, 0.5, 0.2851249369257627, 0.6529172346892126},
    {6, 2, 1, 7, 16.195700986601363, 1.0876028823630624, 1098.971432187751, true, 6.0,
     0.9187298324262341, 39.18453361303088, 0.625, 0.1394777379101626, 0.830895222236957},
    {200, 800, 150, 850, 1.4164203128671524, 1.1154115549483161, 1.8013289387101805, true,
     1.3333333333333335, 1.0996368244890444, 1.616695383590703, 0.05000000000000002,
     0.016701054306740445, 0.0832267033173967},
    {5, 5, 5, 5, 1.0, 0.12591482400346682, 7.941876644901064, true, 1.0, 0.4162278132637267,
     2.402530460804138, 0.0, -0.3725136238199143, 0.3725136238199143},
};

void ExpectNear(double actual, double expected, const char* what) {
    if (std::isinf(expected)) {
        EXPECT_TRUE(std::isinf(actual) && actual > 0) << what << " = " << actual;
        return;
    }
    EXPECT_NEAR(actual, expected, kRelativeTolerance * std::max(1.0, std::fabs(expected))) << what;
}

TEST(EffectSizes, AgreeWithScipyAndStatsmodelsOnTwentyFiveTables) {
    for (const Reference& r : kReferences) {
        SCOPED_TRACE(testing::Message() << r.a << " " << r.b << " " << r.c << " " << r.d);
        const EffectSizes e = ComputeEffectSizes(r.a, r.b, r.c, r.d);
        // The sample odds ratio is the exact rational a d / (b c).
        if (r.b * r.c == 0)
            EXPECT_EQ(e.sampleOddsRatio, kInf);
        else
            EXPECT_EQ(e.sampleOddsRatio, (r.a * r.d) / (r.b * r.c));
        ASSERT_TRUE(e.conditionalComputed);
        ExpectNear(e.conditionalOddsRatio, r.conditional, "conditional estimate");
        ExpectNear(e.conditionalInterval.lower, r.conditionalLower, "conditional lower");
        ExpectNear(e.conditionalInterval.upper, r.conditionalUpper, "conditional upper");
        EXPECT_EQ(e.riskRatioIntervalDefined, r.katz);
        if (r.katz) {
            ExpectNear(e.riskRatio, r.riskRatio, "risk ratio");
            ExpectNear(e.riskRatioInterval.lower, r.riskRatioLower, "Katz lower");
            ExpectNear(e.riskRatioInterval.upper, r.riskRatioUpper, "Katz upper");
        } else {
            EXPECT_EQ(e.riskRatio, r.c == 0 ? kInf : 0.0);
        }
        ExpectNear(e.riskDifference, r.difference, "risk difference");
        ExpectNear(e.riskDifferenceInterval.lower, r.differenceLower, "Newcombe lower");
        ExpectNear(e.riskDifferenceInterval.upper, r.differenceUpper, "Newcombe upper");
    }
}

TEST(EffectSizes, ExactValuesWithoutRootFinding) {
    // A symmetric table has the conditional estimate 1 exactly (its mean at psi = 1 is a),
    // and for 1 0 0 3 the lower limit solves psi / (psi + 3) = 0.025 exactly: 3 / 39.
    EXPECT_EQ(ComputeEffectSizes(5, 5, 5, 5).conditionalOddsRatio, 1.0);
    EXPECT_NEAR(ComputeEffectSizes(1, 0, 0, 3).conditionalInterval.lower, 3.0 / 39.0,
                kRelativeTolerance);
    // 0 1 1 0: upper limit solves 1 / (1 + psi) = 0.025, psi = 39.
    EXPECT_NEAR(ComputeEffectSizes(0, 1, 1, 0).conditionalInterval.upper, 39.0,
                39 * kRelativeTolerance);
}

TEST(EffectSizes, RefusesTablesTheAnalysisRefuses) {
    EXPECT_THROW(ComputeEffectSizes(0, 0, 1, 1), std::invalid_argument);
    EXPECT_THROW(ComputeEffectSizes(1, 0, 1, 0), std::invalid_argument);
    EXPECT_THROW(ComputeEffectSizes(-1, 2, 1, 1), std::invalid_argument);
}

TEST(EffectSizes, LargeSupportLeavesTheConditionalFiguresOut) {
    const EffectSizes e = ComputeEffectSizes(1'500'000, 1'500'000, 1'500'000, 1'500'000);
    EXPECT_FALSE(e.conditionalComputed);
    EXPECT_EQ(e.sampleOddsRatio, 1.0);
    EXPECT_EQ(e.riskRatio, 1.0);
    const std::string t = EffectSizesText(1'500'000, 1'500'000, 1'500'000, 1'500'000, "\n");
    EXPECT_NE(t.find("conditional maximum likelihood estimate: not computed (a can take more "
                     "than 1000000 values under these totals)\n"),
              std::string::npos)
        << t;
}

TEST(EffectSizesText, WorkedTable) {
    // Figures: SciPy values above to 6 significant figures; 25 = 150 / 6.
    EXPECT_EQ(EffectSizesText(10, 2, 3, 15, "\n"),
              "Effect sizes for a = 10, b = 2, c = 3, d = 15 (row B against row Not-B, for "
              "column A; 95% confidence intervals):\n"
              "Odds ratio, sample value a d / b c: 25.0000\n\n"
              "Odds ratio, conditional maximum likelihood estimate: 21.3053; exact conditional "
              "interval: 2.75338 to 301.462\n\n"
              "Risk ratio, (a / (a + b)) / (c / (c + d)): 5.00000; interval by the Katz log "
              "method: 1.72617 to 14.4829\n\n"
              "Risk difference, a / (a + b) - c / (c + d): .666667; interval by Newcombe's "
              "hybrid score method: .306056 to .828090\n\n" +
                  std::string(100, '-') + "\n");
}

TEST(EffectSizesText, ZeroCellsAreNamed) {
    struct Case {
        const char* name;
        double a, b, c, d;
        std::string expected[3];
    };
    const Case cases[] = {
        {"c is 0",
         4,
         6,
         0,
         10,
         {"sample value a d / b c: infinite (b c is 0)",
          "estimate: infinite (a is as large as the totals allow); exact conditional interval: "
          ".770403 to infinity",
          "(c / (c + d)): infinite (c is 0); the Katz log interval is undefined when a or c is 0"}},
        {"a is 0",
         0,
         10,
         3,
         7,
         {"sample value a d / b c: 0 (a d is 0)",
          "estimate: 0 (a is as small as the totals allow); exact conditional interval: 0 to "
          "2.25523",
          "(c / (c + d)): 0 (a is 0); the Katz log interval is undefined when a or c is 0"}},
        {"d is 0",
         9,
         1,
         1,
         0,
         {"sample value a d / b c: 0 (a d is 0)", "estimate: 0 (a is as small",
          "(c / (c + d)): .900000; interval by the Katz log method: .732012 to 1.10654"}},
    };
    for (const Case& c : cases) {
        const std::string t = EffectSizesText(c.a, c.b, c.c, c.d, "\r\n");
        for (const std::string& part : c.expected)
            EXPECT_NE(t.find(part), std::string::npos) << c.name << ": " << part << "\n" << t;
        EXPECT_EQ(t.find("nan"), std::string::npos) << c.name;
        EXPECT_EQ(t.find("inf\r"), std::string::npos) << c.name;
    }
}

} // namespace
} // namespace quillon
