#include "cli/chart_output.h"

#include "cli/painted_picture.h"
#include "core/files.h"
#include "core/text_metrics.h"
#include "summary/chart_file.h"
#include "summary/summary_chart.h"

#include <cctype>
#include <cmath>

namespace quillon::cli {

namespace {

enum class ChartFormat { Svg, Png, Pdf, Unknown };

ChartFormat FormatOf(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    for (char& ch : extension)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (extension.empty() || extension == ".svg")
        return ChartFormat::Svg;
    if (extension == ".png")
        return ChartFormat::Png;
    if (extension == ".pdf")
        return ChartFormat::Pdf;
    return ChartFormat::Unknown;
}

} // namespace

std::optional<std::string> CheckChartFileName(const std::filesystem::path& file) {
    switch (FormatOf(file)) {
    case ChartFormat::Svg:
        return std::nullopt;
    case ChartFormat::Png:
    case ChartFormat::Pdf:
        if (PaintedPicturesAvailable())
            return std::nullopt;
        return "This quillon-cli was built without Qt, so it writes charts only as SVG: " +
               file.string() + " cannot be written";
    case ChartFormat::Unknown:
        break;
    }
    return "The chart can be written as SVG, PNG or PDF: " + file.string() +
           " does not end in .svg, .png or .pdf";
}

std::optional<std::string> WriteChartFile(const SummaryChartData& data,
                                          const std::filesystem::path& file, double width,
                                          double height) {
    const ChartFormat format = FormatOf(file);
    if (format == ChartFormat::Svg)
        return WriteSummaryChartSvg(data, file, width, height);
    if (auto problem = CheckChartFileName(file))
        return problem;
    if (data.Count() == 0)
        return "There is no data to chart, so no chart was written to " + file.string();
    if (!(std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0))
        return "The chart size must be a positive width and height";
    // The same picture as the SVG: laid out with the fixed text metrics, title included.
    const FixedTextMetrics metrics;
    const Drawing picture = BuildSummaryChartPicture(data, width, height, 1.0, metrics);
    std::string bytes;
    if (auto error = PaintPicture(
            picture, format == ChartFormat::Png ? PaintedFormat::Png : PaintedFormat::Pdf, bytes))
        return *error + ", so no chart was written to " + file.string();
    return WriteTextFileAtomically(file, bytes);
}

} // namespace quillon::cli
