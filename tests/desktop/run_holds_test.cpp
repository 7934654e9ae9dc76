// Where the desktop holds a run for the user: "Next chart" after a combination's results,
// "Go Back" after the whole run's, from what the run reported and the windows' convention.
#include "desktop/run_holds.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(RunHolds, NextChart) {
    struct Case {
        const char* name;
        RunStart start;
        bool pause;
        bool holds;
    };
    const Case cases[] = {
        {"several combinations run on", {RunKind::Combinations, false}, false, false},
        {"several combinations, paused", {RunKind::Combinations, false}, true, true},
        {"a single combination is the whole result", {RunKind::Combinations, true}, false, true},
        {"each chart of a comparison", {RunKind::Comparison, true}, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HoldsAtNextChart(c.start, c.pause), c.holds) << c.name;
}

TEST(RunHolds, GoBack) {
    struct Case {
        const char* name;
        RunStart start;
        bool onlyAfterSummaryChart;
        bool summaryChartShown;
        bool holds;
    };
    const Case cases[] = {
        {"point by point, no summary chart", {RunKind::Combinations, true}, false, false, true},
        {"point by point, summary chart", {RunKind::Combinations, false}, false, true, true},
        {"earlier data, no data", {RunKind::EarlierData, true}, false, false, true},
        {"search, no summary chart", {RunKind::Combinations, true}, true, false, false},
        {"search, summary chart", {RunKind::Combinations, false}, true, true, true},
        {"search, earlier data not programmed", {RunKind::EarlierData, true}, true, false, false},
        {"a comparison has nothing to go back from",
         {RunKind::Comparison, true},
         false,
         false,
         false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HoldsAtGoBack(c.start, c.onlyAfterSummaryChart, c.summaryChartShown), c.holds)
            << c.name;
}

} // namespace
} // namespace quillon
