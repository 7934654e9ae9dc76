// A test added to the registry reaches every place that lists, checks, names, computes or
// colours tests, without any of them being edited: the test field, the key for tests, the
// particular and power evaluations, the maximum search and the summary chart. The added
// test computes the P value of test 5 by its own (one table at a time) path, so every
// figure it yields must equal test 5's exactly.
#include "core/test_registry.h"
#include "core/text_metrics.h"
#include "desktop/help_text.h"
#include "maxima/search.h"
#include "particular/evaluation.h"
#include "power/evaluation.h"
#include "study/fields.h"
#include "summary/drawing_inspection.h"
#include "summary/summary_chart.h"
#include "support/unregistered_test.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

// The added test takes the number after the registered ones, whatever their count.
const int kAdded = HighestTestNumber() + 1;
const std::string kAddedText = std::to_string(kAdded);
constexpr int kCopied = 5;
constexpr Colour kAddedColour{90, 60, 30};

double CopyOfTest5(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    return FindTest(kCopied)->pValue(a, b, c, d);
}

class AddedTest : public ::testing::Test {
protected:
    TestRegistration added_{{kAdded, "Added test, one table at a time", TestFamily::Unconditional,
                             CopyOfTest5, kAddedColour}};
};

TEST_F(AddedTest, TestListsAcceptExactlyTheRegisteredNumbers) {
    ListField field;
    ASSERT_FALSE(ReadListField("1 - " + kAddedText, TestListRule(), field).has_value());
    EXPECT_EQ(field.values.size(), static_cast<std::size_t>(kAdded));
    const std::string beyond = std::to_string(kAdded + 1);
    const auto refusal = ReadListField(beyond, TestListRule(), field);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->message, "The value " + beyond +
                                    " for variable 'Test(s)' is greater than the maximum value "
                                    "allowed of " +
                                    kAddedText + ".");
}

TEST(TestList, RefusesANumberNoTestHas) {
    ListField field;
    const auto refusal = ReadListField(testing::UnregisteredTestText(), TestListRule(), field);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->message, testing::UnregisteredTestRefusal());
}

TEST_F(AddedTest, TheKeyForTestsNamesIt) {
    const std::string key = KeyForTests();
    const int last = kAdded - 1; // the last test registered before it
    EXPECT_NE(key.find(std::to_string(last) + ": " + std::string(TestName(last))),
              std::string::npos);
    EXPECT_NE(key.find(kAddedText + ": Added test, one table at a time"), std::string::npos);
    EXPECT_EQ(AllTestsSpecification(), "1 - " + kAddedText);
}

TEST_F(AddedTest, ParticularEvaluationGivesTheFiguresOfTheTestItCopies) {
    struct Case {
        const char* name;
        EvaluationPoint point;
    };
    EvaluationPoint ct;
    ct.design = ComparativeTrial;
    ct.N = 18;
    ct.pCol = 0.3;
    ct.interval = 0.02;
    ct.row = 7;
    EvaluationPoint policy = ct;
    policy.MEN = 1.5;
    policy.MMT = 3;
    EvaluationPoint cs;
    cs.design = CrossSectionalStudy;
    cs.N = 11;
    cs.pCol = 0.4;
    cs.row = 0.3;
    const Case cases[] = {
        {"comparative trial", ct}, {"MEN and MMT", policy}, {"cross-sectional", cs}};
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        c.point.tests = {kAdded, kCopied};
        const std::optional<PointEvaluation> ev = EvaluatePoint(c.point);
        ASSERT_TRUE(ev.has_value());
        ASSERT_TRUE(ev->tables.HasTest(kAdded));
        for (std::size_t row = 1; row <= ev->tables.Count(); ++row)
            ASSERT_EQ(ev->tables.Result(row, kAdded), ev->tables.Result(row, kCopied)) << row;
        const TestEvaluation& added = ev->ForTest(kAdded);
        const TestEvaluation& copied = ev->ForTest(kCopied);
        EXPECT_EQ(added.propSig, copied.propSig);
        EXPECT_EQ(added.upperBound, copied.upperBound);
        EXPECT_EQ(added.maxDif, copied.maxDif);
    }
}

TEST_F(AddedTest, PowerEvaluationGivesTheFiguresOfTheTestItCopies) {
    PowerPoint point;
    point.N = 16;
    point.row = 8;
    point.p1 = 0.2;
    point.p2 = 0.7;
    point.MEN = 1;
    point.tests = {kCopied, kAdded};
    const std::optional<PowerEvaluation> ev = EvaluatePower(point);
    ASSERT_TRUE(ev.has_value());
    EXPECT_EQ(ev->ForTest(kAdded).power, ev->ForTest(kCopied).power);
    EXPECT_EQ(ev->ForTest(kAdded).size, ev->ForTest(kCopied).size);
}

TEST_F(AddedTest, TheMaximumSearchComputesItsPValues) {
    for (TestPolicy policy : {TestPolicy::Simple, TestPolicy::Combined15}) {
        SearchTables tables(ComparativeTrial, 14, 6, 1, 2);
        const std::vector<double> copied = tables.PValues(kCopied, policy);
        EXPECT_EQ(tables.PValues(kAdded, policy), copied);
        EXPECT_EQ(SearchPValue(3, 3, 1, 7, kAdded, 1, 2, policy),
                  SearchPValue(3, 3, 1, 7, kCopied, 1, 2, policy));
    }
}

TEST_F(AddedTest, SummaryChartsDrawEachTestInItsOwnColour) {
    SummaryChartData data;
    data.axisLabel = "N";
    data.seriesLabel = "Test";
    data.seriesAreTests = true;
    data.x = {10, 20, 10, 20};
    data.y = {0.04, 0.05, 0.03, 0.06};
    data.series = {4, 4, static_cast<double>(kAdded), static_cast<double>(kAdded)};
    const FixedTextMetrics metrics;
    const Drawing drawing = BuildSummaryChart(data, 1000, 700, 1, metrics);
    EXPECT_FALSE(testing::OpsIn<LineOp>(drawing, kAddedColour).empty());
    EXPECT_FALSE(testing::OpsIn<LineOp>(drawing, TestColour(4)).empty());
    // By position the second line would take the summary chart's second colour instead.
    data.seriesAreTests = false;
    EXPECT_TRUE(testing::OpsIn<LineOp>(BuildSummaryChart(data, 1000, 700, 1, metrics), kAddedColour)
                    .empty());
}

} // namespace
} // namespace quillon
