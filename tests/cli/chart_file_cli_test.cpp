// --chart FILE.png and FILE.pdf on the study commands: valid files of their format with
// the chart's size (1200 by 800 units), or, in a build without Qt, a clear refusal.
#include "cli/chart_output.h"
#include "cli/commands.h"
#include "cli/painted_picture.h"
#include "core/files.h"
#include "support/cli_run.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// PNG: the eight-byte signature, then the IHDR chunk (length 13) with width and height.
void ExpectPng(const std::string& bytes, std::uint32_t width, std::uint32_t height) {
    ASSERT_GT(bytes.size(), 33U);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(BigEndian32(bytes, 8), 13U);
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndian32(bytes, 16), width);
    EXPECT_EQ(BigEndian32(bytes, 20), height);
    EXPECT_EQ(bytes.substr(bytes.size() - 8, 4), "IEND");
}

// PDF: header, one page whose media box is the chart's size in points (96 units per
// inch, 72 points per inch), cross-reference trailer and end-of-file marker.
void ExpectPdf(const std::string& bytes, double widthPoints, double heightPoints) {
    ASSERT_GT(bytes.size(), 100U);
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
    EXPECT_NE(bytes.find("trailer"), std::string::npos);
    EXPECT_NE(bytes.find("startxref"), std::string::npos);
    EXPECT_NE(bytes.rfind("%%EOF"), std::string::npos);
    EXPECT_GT(bytes.rfind("%%EOF"), bytes.size() - 8);
    const std::size_t box = bytes.find("/MediaBox [");
    ASSERT_NE(box, std::string::npos);
    std::istringstream corners(bytes.substr(box + 11, 80));
    double x0 = -1, y0 = -1, x1 = -1, y1 = -1;
    corners >> x0 >> y0 >> x1 >> y1;
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(y0, 0);
    EXPECT_EQ(x1, widthPoints);
    EXPECT_EQ(y1, heightPoints);
    EXPECT_EQ(bytes.find("/MediaBox [", box + 1), std::string::npos) << "one page only";
    EXPECT_NE(bytes.find("/Type /Page\n"), std::string::npos);
}

TEST(ChartFileCli, PngAndPdfOfEveryStudyCommand) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"particular", {"particular", "--n", "10, 12"}},
        {"maximum", {"maximum", "--n", "6, 8", "--row1", "overall"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = testing::MakeTempDirectory(std::string("cli-chart-") + c.name);
        for (const char* name : {"chart.png", "chart.PDF", "chart.svg"}) {
            SCOPED_TRACE(name);
            const fs::path file = fs::path(dir) / name;
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"--chart", file.string(), "--data-dir", dir});
            const cli::CliResult r = cli::RunCliCaptured(args);
            const bool svg = fs::path(name).extension() == ".svg";
            if (!svg && !cli::PaintedPicturesAvailable()) {
                EXPECT_EQ(r.status, 2);
                EXPECT_NE(r.err.find("built without Qt, so it writes charts only as SVG"),
                          std::string::npos)
                    << r.err;
                EXPECT_FALSE(fs::exists(file));
                continue;
            }
            ASSERT_EQ(r.status, 0) << r.err;
            const std::optional<std::string> bytes = ReadTextFile(file);
            ASSERT_TRUE(bytes.has_value());
            if (fs::path(name).extension() == ".png")
                ExpectPng(*bytes, 1200, 800);
            else if (!svg)
                ExpectPdf(*bytes, 900, 600);
            else
                EXPECT_NE(bytes->find("width=\"1200\" height=\"800\""), std::string::npos);
        }
        // No temporary file is left beside the charts.
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
    }
}

TEST(ChartFileCli, NamesChecked) {
    EXPECT_FALSE(cli::CheckChartFileName("chart.svg").has_value());
    EXPECT_FALSE(cli::CheckChartFileName("chart").has_value());
    EXPECT_EQ(cli::CheckChartFileName("chart.PNG").has_value(), !cli::PaintedPicturesAvailable());
    EXPECT_EQ(cli::CheckChartFileName("chart.pdf").has_value(), !cli::PaintedPicturesAvailable());
    const std::optional<std::string> jpeg = cli::CheckChartFileName("chart.jpg");
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_EQ(*jpeg,
              "The chart can be written as SVG, PNG or PDF: chart.jpg does not end in .svg, .png "
              "or .pdf");
}

} // namespace
} // namespace quillon
