#include "summary/chart_file.h"

#include "core/files.h"
#include "core/svg.h"
#include "core/text_metrics.h"
#include "summary/summary_chart.h"

#include <cctype>
#include <cmath>

namespace quillon {

std::string SummaryChartSvg(const SummaryChartData& data, double width, double height) {
    const FixedTextMetrics metrics;
    return DrawingToSvg(BuildSummaryChartPicture(data, width, height, 1.0, metrics));
}

std::optional<std::string> CheckSummaryChartFileName(const std::filesystem::path& file) {
    // The file is SVG whatever its name says; a name promising another format would
    // give a file that no viewer opens.
    std::string extension = file.extension().string();
    for (char& ch : extension) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    if (!extension.empty() && extension != ".svg") {
        return "The chart can only be written as SVG: " + file.string() + " does not end in .svg";
    }
    return std::nullopt;
}

std::optional<std::string> WriteSummaryChartSvg(const SummaryChartData& data,
                                                const std::filesystem::path& file, double width,
                                                double height) {
    if (data.Count() == 0) {
        return "There is no data to chart, so no chart was written to " + file.string();
    }
    if (auto problem = CheckSummaryChartFileName(file)) {
        return problem;
    }
    if (!(std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0)) {
        return "The chart size must be a positive width and height";
    }
    return WriteTextFileAtomically(file, SummaryChartSvg(data, width, height));
}

} // namespace quillon
