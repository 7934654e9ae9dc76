// The chart file of a study command (--chart FILE): SVG, or PNG or PDF where the command
// line is built with Qt, all drawn from the same display list as the summary-chart window.
#pragma once

#include "summary/summary_chart_data.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quillon::cli {

// A message when `file` names no chart this command line can write: an extension other
// than .svg, .png or .pdf (any case; no extension means SVG), or .png or .pdf in a build
// without Qt.
std::optional<std::string> CheckChartFileName(const std::filesystem::path& file);

// Writes the summary chart of `data`, `width` by `height` units, to `file` (replaced in
// one step), in the format its extension names. An error message naming the file when it
// cannot be written.
std::optional<std::string> WriteChartFile(const SummaryChartData& data,
                                          const std::filesystem::path& file, double width = 1200,
                                          double height = 800);

} // namespace quillon::cli
