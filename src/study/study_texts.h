// Texts every study shows the same way.
#pragma once

namespace quillon {

// A chart of earlier data found no record for the specifications.
inline constexpr const char* NoDataMessage =
    "No data has been generated yet for these specifications - you need to "
    "generate some data before a chart can be produced";

// A "*" run whose varying lists have no chart of earlier data.
inline constexpr const char* NotProgrammedMessage =
    "The analysis that you have requested has not been programmed";

} // namespace quillon
