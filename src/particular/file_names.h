// The names of the particular study's files in the data directory, apart from the rest of
// its file code so that a window listing every study's files can name them.
#pragma once

#include "study/study_registry.h"

#include <string_view>

namespace quillon {

inline constexpr std::string_view ParticularResultsFileName = ParticularStudyEntry.resultsFiles[0];
inline constexpr std::string_view ParticularSummaryFileName = ParticularStudyEntry.SummaryFile();

} // namespace quillon
