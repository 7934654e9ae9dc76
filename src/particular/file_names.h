// The names of the particular study's files in the data directory, apart from the rest of
// its file code so that a window listing every study's files can name them.
#pragma once

namespace quillon {

inline constexpr const char* ParticularResultsFileName = "ParticularResults.txt";
inline constexpr const char* ParticularSummaryFileName = "ParticularSummary.txt";

} // namespace quillon
