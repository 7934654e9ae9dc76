// The SVG writer and the drawing helpers: exact document text for each primitive, the
// handling of clears, escaping of what a title read from a file may hold, numbers that do
// not depend on the locale, and the wrapping of text boxes.
#include "core/svg.h"

#include "core/drawing.h"
#include "core/text_metrics.h"
#include "summary/drawing_inspection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <clocale>
#include <string>
#include <vector>

namespace quillon {
namespace {

// The document of a drawing 100 x 50 holding only `ops`, without the opening and closing
// lines.
std::string Body(std::vector<DrawOp> ops) {
    const std::string svg = DrawingToSvg(Drawing{100, 50, std::move(ops)});
    const std::size_t start = svg.find(">\n", svg.find("<svg")) + 2;
    const std::size_t end = svg.rfind("</svg>");
    return svg.substr(start, end - start);
}

TEST(SvgWriter, Primitives) {
    struct Case {
        const char* name;
        DrawOp op;
        std::string svg;
    };
    const std::vector<Case> cases = {
        {"line", LineOp{1, 2.5, 3.25, 4, {255, 0, 16}},
         "<line x1=\"1\" y1=\"2.5\" x2=\"3.25\" y2=\"4\" stroke=\"#ff0010\"/>\n"},
        {"outline with corners in any order", RectOp{10, 20, 4, 2, {0, 0, 0}},
         "<rect x=\"4\" y=\"2\" width=\"6\" height=\"18\" fill=\"none\" stroke=\"#000000\"/>\n"},
        {"filled", FilledRectOp{0, 0, 1, 1, {191, 191, 191}, {0, 0, 0}},
         "<rect x=\"0\" y=\"0\" width=\"1\" height=\"1\" fill=\"#bfbfbf\" stroke=\"#000000\"/>\n"},
        {"numbers to three decimals, no minus zero", LineOp{1.00049, -0.0001, 2.0005, 1e-9, {}},
         "<line x1=\"1\" y1=\"0\" x2=\"2.001\" y2=\"0\" stroke=\"#000000\"/>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Body({c.op}), c.svg);
    }
}

TEST(SvgWriter, TextByItsTopWithTheBaselineBelow) {
    // 9 points are 12 units; the line is 1.15 em, the baseline .905 em below the top.
    const std::string body = Body({TextOp{5, 10, "MMT < 5 & more", 9, true, {0, 0, 255}}});
    EXPECT_EQ(body, "<text x=\"5\" y=\"20.86\" font-size=\"12\" font-weight=\"bold\" "
                    "fill=\"#0000ff\">MMT &lt; 5 &amp; more</text>\n");
}

TEST(SvgWriter, TextThatIsNotCleanXmlIsMadeSafe) {
    // A control character becomes a blank, a stray byte the replacement character;
    // well-formed UTF-8 passes unchanged.
    const std::string body = Body({TextOp{0, 0, "a\tb\xff c \xc3\xa9", 9, false, {}}});
    EXPECT_NE(body.find(">a b\xEF\xBF\xBD c \xc3\xa9</text>"), std::string::npos) << body;
}

TEST(SvgWriter, AClearWipesWhatCameBefore) {
    const std::string body =
        Body({LineOp{0, 0, 1, 1, {}}, ClearOp{{255, 255, 255}}, LineOp{2, 2, 3, 3, {}}});
    EXPECT_EQ(body.find("x1=\"0\""), std::string::npos);
    EXPECT_EQ(body.find("<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>"),
              0U);
    EXPECT_NE(body.find("x1=\"2\""), std::string::npos);
}

TEST(SvgWriter, NumbersIgnoreTheLocale) {
    const std::string before = DrawingToSvg(Drawing{10.5, 5, {LineOp{0.25, 1, 2, 3, {}}}});
    // A locale with a decimal comma, where the system has one; the output must not change.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const std::string after = DrawingToSvg(Drawing{10.5, 5, {LineOp{0.25, 1, 2, 3, {}}}});
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(after, before);
}

TEST(TextBoxes, WrapAtBlanksToTheWidth) {
    const FixedTextMetrics metrics;
    const double em = 12; // 9 points
    // Digits are .556 em wide, a blank .278 em.
    const double width = metrics.TextWidth("1234 5678", 9, false);
    EXPECT_EQ(WrapText("1234 5678 9012", width, 9, false, metrics),
              (std::vector<std::string>{"1234 5678", "9012"}));
    EXPECT_EQ(WrapText("12345678901234", 2 * em, 9, false, metrics),
              std::vector<std::string>{"12345678901234"}); // one long word keeps its line
    EXPECT_EQ(WrapText("first\r\nsecond\n\nfourth", 100 * em, 9, false, metrics),
              (std::vector<std::string>{"first", "second", "", "fourth"}));
    // A leading blank of a number text stays when the line fits.
    EXPECT_EQ(WrapText(" .05", 100 * em, 9, false, metrics), std::vector<std::string>{" .05"});
}

// A chart heading's items, set apart by runs of blanks, are never split from their values
// while each fits a line: at every width from one item to the whole heading, each line is
// whole items. An item wider than the line breaks at its own blanks.
TEST(TextBoxes, HeadingsWrapBetweenItems) {
    const FixedTextMetrics metrics;
    const std::string heading = "07.12.26       N = 20       Comparative trial       alpha = .05"
                                "       MEN = 0       MMT = 1";
    const std::vector<std::string> items{"07.12.26",    "N = 20",  "Comparative trial",
                                         "alpha = .05", "MEN = 0", "MMT = 1"};
    double widest = 0;
    for (const std::string& item : items)
        widest = std::max(widest, metrics.TextWidth(item, 9, false));
    const double whole = metrics.TextWidth(heading, 9, false);
    for (double width = widest; width <= whole; width += 3) {
        SCOPED_TRACE(width);
        std::size_t next = 0;
        for (const std::string& line : WrapText(heading, width, 9, false, metrics)) {
            EXPECT_LE(metrics.TextWidth(line, 9, false), width);
            // The line is items[next], ..., joined by their blanks.
            std::string rebuilt = items[next++];
            while (rebuilt.size() < line.size() && next < items.size())
                rebuilt += "       " + items[next++];
            EXPECT_EQ(line, rebuilt);
        }
        EXPECT_EQ(next, items.size());
    }
    const double narrow = metrics.TextWidth("alpha =", 9, false);
    const std::vector<std::string> lines =
        WrapText("N = 20       alpha = .05", narrow, 9, false, metrics);
    EXPECT_EQ(lines, (std::vector<std::string>{"N = 20", "alpha =", ".05"}));
}

TEST(TextBoxes, DrawnAsAFramedBoxClippedToItsHeight) {
    const FixedTextMetrics metrics;
    const double th = metrics.TextHeight(9, false);
    Drawing drawing{200, 100, {}};
    // Room for two lines (with the margins) but not three.
    AppendTextBox(drawing, TextBox{Box{10, 20, 150, 2.6 * th}, "one\ntwo\nthree", 9, {0, 0, 255}},
                  metrics);
    const auto frames = testing::OpsOf<FilledRectOp>(drawing);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].x1, 10);
    EXPECT_EQ(frames[0].y2, 20 + 2.6 * th);
    EXPECT_EQ(testing::Texts(drawing), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(testing::OpsOf<TextOp>(drawing)[0].colour, (Colour{0, 0, 255}));
}

TEST(FixedTextMetrics, MultiByteCharactersCountOnce) {
    const FixedTextMetrics metrics;
    // 72 points are 96 units: one em. A two-byte UTF-8 character counts once.
    EXPECT_DOUBLE_EQ(metrics.TextWidth("\xc3\xa9", 72, false), 0.6 * 96);
    EXPECT_EQ(metrics.TextWidth("", 10, false), 0);
}

TEST(WindowFont, TwipsOfTheWindowArea) {
    // 1000 x 640 pixels are 15000 x 9600 twips, whose geometric mean is 12000.
    EXPECT_DOUBLE_EQ(WindowFontSize(0.001, 1000, 640), 12);
}

} // namespace
} // namespace quillon
