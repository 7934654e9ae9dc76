// Comparison of two tests over all sample tables of one N: how many tables each test, both
// or neither find significant. Significant here means a P value (or dummy P value)
// strictly below the Parameter, unlike the actual Type I error, which counts P <= alpha
// (core/significance_rules.h).
#pragma once

#include "particular/evaluation.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct ComparisonCounts {
    std::uint64_t both = 0, firstOnly = 0, secondOnly = 0, neither = 0;
    std::uint64_t Total() const { return both + firstOnly + secondOnly + neither; }
    std::uint64_t SignificantByFirst() const { return both + firstOnly; }
    std::uint64_t SignificantBySecond() const { return both + secondOnly; }
    friend bool operator==(const ComparisonCounts&, const ComparisonCounts&) = default;
};

// Counts over the tables of `evaluation`, whose test columns of both tests must exist.
ComparisonCounts CountSignificantTables(const PointEvaluation& evaluation, int firstTest,
                                        int secondTest, double parameter);

// What the scatter diagram of one N is drawn from. Tables are in enumeration order; a
// table whose second P value exceeds 1 (a dummy P value) gets no cross.
struct TwoTestScatter {
    std::string caption; // the chart caption of the comparison
    int firstTest = 0;   // vertical axis
    int secondTest = 0;  // horizontal axis
    double parameter = 0;
    std::vector<double> first;  // P value by the first test, per table
    std::vector<double> second; // P value by the second test, per table
    ComparisonCounts counts;
};

TwoTestScatter MakeTwoTestScatter(const PointEvaluation& evaluation, int firstTest, int secondTest,
                                  std::string caption);

inline constexpr const char* ComparisonsFileName = "Comparisons_Of_Significant_Sample_Tables.txt";

// The summary message shown after each scatter diagram, lines joined by CRLF.
std::string ComparisonMessage(const ComparisonCounts& counts, int firstTest, int secondTest,
                              const std::filesystem::path& comparisonsFile);

// The two heading lines of the comparisons file, each ended by CRLF.
std::string ComparisonsFileHeading();

// One data line of the comparisons file (ended by CRLF). `date` is the six-digit date.
std::string ComparisonsFileLine(const std::string& date, const EvaluationPoint& point,
                                int firstTest, int secondTest, const ComparisonCounts& counts);

// Appends the line, writing the heading first when the file does not exist yet. Returns
// an error message naming the file on failure.
std::optional<std::string> AppendComparison(const std::filesystem::path& dataDirectory,
                                            const std::string& line);

} // namespace quillon
