// The chart of a power run as it goes, as data and as a display list (the grey line at the
// target power), and the power window's saved settings, examples and help text, which the
// window only shows.
#include "power/power_chart.h"

#include "core/files.h"
#include "core/tables.h"
#include "core/text_metrics.h"
#include "desktop/examples.h"
#include "desktop/help_text.h"
#include "desktop/settings.h"
#include "summary/drawing_inspection.h"
#include "summary/summary_chart.h"
#include "support/golden.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

PowerChartPoint At(double N, double p2, int test, double power, double size = 0) {
    PowerChartPoint p;
    p.N = N;
    p.row = .5;
    p.p1 = .2;
    p.p2 = p2;
    p.test = test;
    p.power = power;
    p.size = size;
    return p;
}

TEST(PowerChart, AgainstNWhenNVaries) {
    // Two N at p2 = .6, and one combination of another p2 that must stay off the chart.
    const std::vector<PowerChartPoint> points{At(10, .5, 1, .1), At(10, .6, 1, .2),
                                              At(10, .6, 5, .15), At(20, .6, 1, .4),
                                              At(20, .6, 5, .3)};
    const SummaryChartData data = PowerProgressChart(points, .8);
    EXPECT_EQ(data.axisLabel, "N");
    EXPECT_EQ(data.seriesLabel, "Test");
    EXPECT_EQ(data.referenceValue, .8);
    EXPECT_EQ(data.x, (std::vector<double>{10, 10, 20, 20}));
    EXPECT_EQ(data.y, (std::vector<double>{.2, .15, .4, .3}));
    EXPECT_EQ(data.series, (std::vector<double>{1, 5, 1, 5}));
}

TEST(PowerChart, AgainstP2WhenOnlyP2Varies) {
    const std::vector<PowerChartPoint> points{At(30, .3, 1, .1), At(30, .5, 1, .5),
                                              At(30, .7, 1, .9)};
    const SummaryChartData data = PowerProgressChart(points, .9);
    EXPECT_EQ(data.axisLabel, "p2");
    EXPECT_EQ(data.x, (std::vector<double>{.3, .5, .7}));
}

TEST(PowerChart, OneCombinationShowsPowerAndSizeByTest) {
    const std::vector<PowerChartPoint> points{At(30, .6, 1, .7, .05), At(30, .6, 4, .6, .03)};
    const SummaryChartData data = PowerProgressChart(points, .8);
    EXPECT_EQ(data.axisLabel, "Test");
    EXPECT_EQ(data.x, (std::vector<double>{1, 4, 1, 4}));
    EXPECT_EQ(data.y, (std::vector<double>{.7, .6, .05, .03}));
    EXPECT_EQ(data.series, (std::vector<double>{1, 1, 2, 2}));
}

TEST(PowerChart, DisplayListHasTheGreyTargetLine) {
    const double W = 1000, H = 700;
    const FixedTextMetrics metrics;
    const Drawing drawing = BuildSummaryChart(
        PowerProgressChart({At(10, .6, 1, .3), At(20, .6, 1, .6), At(30, .6, 1, .85)}, .8), W, H, 1,
        metrics);
    const auto grey = testing::OpsIn<LineOp>(drawing, testing::kGreyColour);
    ASSERT_EQ(grey.size(), 1u);
    // Power up to .85 with a target of .8: the scale tops at .9, so the line stands at 8/9
    // of the frame (0.7 H high, bottom at 0.85 H).
    EXPECT_DOUBLE_EQ(grey[0].y1, 0.85 * H - .8 * (0.7 * H / (9 * 0.1)));
    EXPECT_EQ(grey[0].y1, grey[0].y2);
}

TEST(PowerSettings, PowerIniRoundTripsAndKeepsWhatItCannotRead) {
    PowerSettings s;
    s.comparativeTrial = true;
    s.number = "10 to 60 step 10";
    s.row = ".5";
    s.p1 = ".2";
    s.p2 = ".6, .7";
    s.test = "1 - 7";
    s.men = "0";
    s.mmt = "1";
    s.alpha = ".05";
    s.target = ".8";
    s.pause = true;
    const std::string text = SettingsText(s);
    EXPECT_EQ(text, "True\r\n10 to 60 step 10\r\n.5\r\n.2\r\n.6, .7\r\n1 - 7\r\n0\r\n1\r\n"
                    ".05\r\n.8\r\n 1 \r\n");
    PowerSettings read;
    ParseSettings(text, read);
    EXPECT_EQ(read, s);

    const std::string dir = testing::MakeTempDirectory("power-settings");
    EXPECT_FALSE(SaveSettings(dir, s).has_value());
    EXPECT_TRUE(ReadTextFile(std::filesystem::path(dir) / "Power.ini").has_value());
    PowerSettings loaded;
    EXPECT_TRUE(LoadSettings(dir, loaded));
    EXPECT_EQ(loaded, s);

    // A short file fills what it holds.
    PowerSettings partial = s;
    ParseSettings("False\r\n40\r\n", partial);
    EXPECT_FALSE(partial.comparativeTrial);
    EXPECT_EQ(partial.number, "40");
    EXPECT_EQ(partial.target, ".8");
}

TEST(PowerExamples, EachExampleFillsEveryField) {
    ASSERT_GE(PowerExamples().size(), 3u);
    PowerSettings before;
    before.mmt = "5";
    before.pause = true;
    for (const PowerExample& example : PowerExamples()) {
        SCOPED_TRACE(std::string(example.listText));
        const PowerSettings after = ApplyExample(example, before);
        EXPECT_EQ(after.mmt, "1");
        EXPECT_FALSE(after.pause);
        EXPECT_EQ(after.comparativeTrial, example.design == ComparativeTrial);
        for (const std::string* f : {&after.number, &after.row, &after.p1, &after.p2, &after.test,
                                     &after.men, &after.alpha, &after.target})
            EXPECT_FALSE(f->empty());
    }
}

TEST(PowerHelp, NamesTheFilesAndExplainsTheSampleSizes) {
    const std::string text = PowerHelpText("/data/Quillon");
    for (const char* part : {"/data/Quillon/PowerSummary.txt", "/data/Quillon/PowerResults.txt",
                             "'First N'", "'Stable N'", "pooled proportion", "Worked example"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

} // namespace
} // namespace quillon
