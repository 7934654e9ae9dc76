// The size of a run, told before it starts: the combinations of its lists (each list may
// hold up to MaxSpecificationValues values, but their product is not bounded) and how much
// the summary file grows. Above LargeRunCombinations the run goes ahead only when the user
// says so: a product of a few long lists can mean days of computing and gigabytes of
// summary lines started by one keystroke.
#pragma once

#include "study/events.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::uint64_t LargeRunCombinations = 1'000'000;

// `planCombinations` of the plan, each with `tests` tests (a combination and a summary line
// each), the lines about `bytesPerLine` bytes in `summaryFile`. Saturates instead of
// overflowing.
RunSize EstimateRunSize(std::uint64_t planCombinations, std::uint64_t tests, double bytesPerLine,
                        std::string_view summaryFile);

// "12 combinations; ParticularSummary.txt grows by about 12 lines (1.4 kB)".
std::string RunSizeText(const RunSize& size);

// Tells the sink the size and, above LargeRunCombinations, asks whether to go on. Returns
// the outcome that ends the run when the answer is anything but Yes.
std::optional<StudyOutcome> ConfirmRunSize(StudySink& sink, const RunSize& size);

// The text shown when a large run was not started.
inline constexpr std::string_view LargeRunNotStartedText = "The run was not started.";

} // namespace quillon
