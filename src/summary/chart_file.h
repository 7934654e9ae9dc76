// Writing a summary chart to a file, for the command line and for tests: the chart is laid
// out at the given size in device-independent pixels (one pixel per unit) with the fixed
// text metrics, its title is added where the window shows it in its title box, and the
// result is written as SVG.
#pragma once

#include "summary/summary_chart_data.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quillon {

// The SVG text of the summary chart of `data`, as WriteSummaryChartSvg writes it.
// Precondition: data has at least one point.
std::string SummaryChartSvg(const SummaryChartData& data, double width = 1200, double height = 800);

// A message when `file` cannot name an SVG chart (its extension is another than .svg, in
// any case), so a command can refuse it before a run rather than after.
std::optional<std::string> CheckSummaryChartFileName(const std::filesystem::path& file);

// Writes the summary chart of `data` as SVG to `file` (replacing it). Returns an error
// message naming the file when it cannot be written, when its name ends in another
// extension than .svg (any case), or when there is no point to draw.
std::optional<std::string> WriteSummaryChartSvg(const SummaryChartData& data,
                                                const std::filesystem::path& file,
                                                double width = 1200, double height = 800);

} // namespace quillon
