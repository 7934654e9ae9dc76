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
#include "study/study_registry.h"
#include "summary/drawing_inspection.h"
#include "summary/summary_chart.h"
#include "support/golden.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

// Drawing positions are sums of a few products of the window size.
constexpr double kGeometryTolerance = 1e-9;

bool Overlap(const Box& a, const Box& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

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

TEST(PowerBars, OnlyWhenNeitherNNorP2Varies) {
    EXPECT_FALSE(PowerBarsOf({At(10, .6, 1, .2), At(20, .6, 1, .4)}, .8).has_value());
    EXPECT_FALSE(PowerBarsOf({At(30, .5, 1, .2), At(30, .6, 1, .4)}, .8).has_value());
    // Tests 1 and 4 at one combination; test 1 computed again (a repeated list value)
    // keeps one pair of bars with its latest figures.
    const auto bars =
        PowerBarsOf({At(30, .6, 1, .7, .05), At(30, .6, 4, .6, .03), At(30, .6, 1, .71, .04)}, .8);
    ASSERT_TRUE(bars.has_value());
    EXPECT_EQ(bars->tests, (std::vector<int>{1, 4}));
    EXPECT_EQ(bars->power, (std::vector<double>{.71, .6}));
    EXPECT_EQ(bars->size, (std::vector<double>{.04, .03}));
    EXPECT_EQ(bars->target, .8);
}

// What a reader of the bar chart relies on, at window sizes from small to a full screen and
// for one to seven tests: a pair of bars per test inside the frame, each bar's value above
// it with no label over another, the legend inside the frame clear of every bar and label,
// and the target line at its height.
TEST(PowerBars, DisplayListAtSeveralSizes) {
    const FixedTextMetrics metrics;
    struct Size {
        const char* name;
        double W, H;
    };
    const Size sizes[] = {{"small", 480, 360},
                          {"default", 800, 600},
                          {"wide", 1600, 500},
                          {"full_screen", 1920, 1080}};
    for (const Size& size : sizes)
        for (int n : {1, 2, 7}) {
            SCOPED_TRACE(std::string(size.name) + " with " + std::to_string(n) + " tests");
            PowerBars bars;
            bars.target = .8;
            for (int k = 1; k <= n; ++k) {
                bars.tests.push_back(k);
                bars.power.push_back(k == 1 ? 1.0 : 0.123456 * k);
                bars.size.push_back(k == 2 ? 0.0 : 0.0123456 * k);
            }
            const Drawing d = BuildPowerBarChart(bars, size.W, size.H, metrics);
            const PowerBarGeometry g = LayOutPowerBars(size.W, size.H, metrics);
            // Bars (and one legend swatch) in each colour.
            const auto power = testing::OpsIn<FilledRectOp>(d, kPowerBarColour);
            const auto sized = testing::OpsIn<FilledRectOp>(d, kSizeBarColour);
            ASSERT_EQ(power.size(), static_cast<std::size_t>(n) + 1);
            ASSERT_EQ(sized.size(), static_cast<std::size_t>(n) + 1);
            std::vector<Box> occupied; // bars and labels
            for (const auto* set : {&power, &sized})
                for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                    const FilledRectOp& bar = (*set)[i];
                    EXPECT_GE(bar.x1, g.left);
                    EXPECT_LE(bar.x2, g.right);
                    EXPECT_NEAR(bar.y2, g.bottom, kGeometryTolerance);
                    EXPECT_GE(bar.y1, g.yOfOne - kGeometryTolerance);
                    occupied.push_back({bar.x1, bar.y1, bar.x2 - bar.x1, bar.y2 - bar.y1});
                }
            // Full power reaches the height of 1 exactly.
            EXPECT_NEAR(power[0].y1, g.yOfOne, kGeometryTolerance);
            std::vector<Box> labels;
            for (const TextOp& t : testing::OpsOf<TextOp>(d))
                if (t.y < g.bottom && t.x > g.left && t.text != "Power" && t.text != "Size")
                    labels.push_back({t.x, t.y, metrics.TextWidth(t.text, t.fontSize, t.bold),
                                      metrics.TextHeight(t.fontSize, t.bold)});
            ASSERT_EQ(labels.size(), 2u * static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < labels.size(); ++i) {
                EXPECT_GE(labels[i].top, g.top);
                for (std::size_t j = i + 1; j < labels.size(); ++j)
                    EXPECT_FALSE(Overlap(labels[i], labels[j])) << i << " and " << j;
            }
            EXPECT_TRUE(testing::HasText(d, "1.00"));
            EXPECT_TRUE(testing::HasText(d, "0"));
            // The legend: inside the frame, over no bar and no label.
            ASSERT_TRUE(testing::HasText(d, "Power") && testing::HasText(d, "Size"));
            for (const TextOp& t : testing::OpsOf<TextOp>(d)) {
                if (t.text != "Power" && t.text != "Size")
                    continue;
                const Box box{t.x, t.y, metrics.TextWidth(t.text, t.fontSize, t.bold),
                              metrics.TextHeight(t.fontSize, t.bold)};
                EXPECT_GT(box.left, g.left);
                EXPECT_LT(box.left + box.width, g.right);
                EXPECT_GT(box.top, g.top);
                for (const Box& other : occupied)
                    EXPECT_FALSE(Overlap(box, other)) << t.text;
                for (const Box& other : labels)
                    EXPECT_FALSE(Overlap(box, other)) << t.text;
            }
            const auto grey = testing::OpsIn<LineOp>(d, testing::kGreyColour);
            ASSERT_EQ(grey.size(), 1u);
            EXPECT_NEAR(grey[0].y1, g.bottom - .8 * (g.bottom - g.yOfOne), kGeometryTolerance);
        }
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
    const std::string text = StudyHelpText(PowerStudyEntry, "/data/Quillon");
    for (const char* part : {"/data/Quillon/PowerSummary.txt", "/data/Quillon/PowerResults.txt",
                             "'First N'", "'Stable N'", "pooled proportion", "Worked example"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

} // namespace
} // namespace quillon
