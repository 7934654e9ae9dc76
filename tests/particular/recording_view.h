// A particular-study sink for tests: the recording sink of every study, with the points,
// scatters and comparison summaries of this one.
#pragma once

#include "particular/run.h"
#include "support/recording_sink.h"

#include <string>
#include <vector>

namespace quillon::testing {

class RecordingView : public RecordingSink<ParticularSink> {
public:
    std::vector<std::string> chartCaptions;
    std::vector<bool> chartMaximised; // the point charted alone (the whole screen)
    std::vector<TwoTestScatter> scatters;
    std::vector<std::string> comparisonMessages;

    void PointEvaluated(const PointChart& chart) override {
        calls.push_back("point");
        chartCaptions.push_back(chart.caption);
        chartMaximised.push_back(singleCombination);
    }
    void ScatterReady(const TwoTestScatter& scatter) override {
        calls.push_back("scatter");
        scatters.push_back(scatter);
    }
    void ComparisonSummary(const std::string& text) override {
        calls.push_back("comparison message");
        comparisonMessages.push_back(text);
    }
};

} // namespace quillon::testing
