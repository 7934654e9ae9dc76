#include "study/run_size.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace quillon {

namespace {

std::string Bytes(double bytes) {
    static constexpr const char* units[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
    int unit = 0;
    while (bytes >= 1000 && unit < 5) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%.0f %s", bytes, units[unit]);
    else
        std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
    return text;
}

} // namespace

RunSize EstimateRunSize(std::uint64_t planCombinations, std::uint64_t tests, double bytesPerLine,
                        std::string_view summaryFile) {
    RunSize size;
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    size.combinations =
        tests != 0 && planCombinations > most / tests ? most : planCombinations * tests;
    size.summaryLines = size.combinations;
    size.summaryBytes = static_cast<double>(size.summaryLines) * bytesPerLine;
    size.summaryFile = std::string(summaryFile);
    return size;
}

std::string RunSizeText(const RunSize& size) {
    return std::to_string(size.combinations) +
           (size.combinations == 1 ? " combination; " : " combinations; ") + size.summaryFile +
           " grows by about " + std::to_string(size.summaryLines) +
           (size.summaryLines == 1 ? " line (" : " lines (") + Bytes(size.summaryBytes) + ")";
}

std::optional<StudyOutcome> ConfirmRunSize(StudySink& sink, const RunSize& size) {
    sink.RunSized(size);
    if (size.combinations <= LargeRunCombinations)
        return std::nullopt;
    const std::string question = "This run has more than " + std::to_string(LargeRunCombinations) +
                                 " combinations: " + RunSizeText(size) +
                                 ".  Do you want to start it?";
    if (sink.Ask(Question::LargeRun, question) == Answer::Yes)
        return std::nullopt;
    // Not a fault of any value typed: the user chose not to run it, having just said so,
    // so no message follows (the command line says how to run it after all).
    return StudyOutcome{StudyStatus::Refused, std::string(LargeRunNotStartedText)};
}

} // namespace quillon
