// A ParticularView for tests: answers questions from a script and records every call as
// one line of text, so a test can check what a run showed and in which order.
#pragma once

#include "particular/run.h"

#include <deque>
#include <string>
#include <vector>

namespace quillon::testing {

class RecordingView : public ParticularView {
public:
    std::vector<std::string> calls;
    std::vector<std::string> messages;
    std::vector<SummaryChartData> summaryCharts;
    std::vector<std::string> chartCaptions;
    std::vector<bool> chartMaximised;
    std::vector<TwoTestScatter> scatters;
    std::vector<std::string> comparisonMessages;
    std::vector<std::string> summaryLines;
    std::vector<std::string> questions;
    std::deque<Answer> answers; // given in order; No when the script has run out

    void ShowMessage(const std::string& text) override {
        calls.push_back("message");
        messages.push_back(text);
    }
    Answer AskYesNoCancel(const std::string& text) override {
        calls.push_back("question");
        questions.push_back(text);
        if (answers.empty())
            return Answer::No;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void WaitForNextChart() override { calls.push_back("wait next chart"); }
    void WaitForGoBack() override { calls.push_back("wait go back"); }
    void SetBusy(bool busy) override { calls.push_back(busy ? "busy" : "arrow"); }
    void SetChartBusy(bool busy) override { calls.push_back(busy ? "chart busy" : "chart arrow"); }
    void ShowSpecificationWindow(bool visible) override {
        calls.push_back(visible ? "show specification" : "hide specification");
    }
    void ShowChartWindow(bool visible) override {
        calls.push_back(visible ? "show chart" : "hide chart");
    }
    void ShowSummaryChartWindow(bool visible) override {
        calls.push_back(visible ? "show summary chart" : "hide summary chart");
    }
    void DrawCumulativeChart(const CumulativeChartRequest& request) override {
        calls.push_back("cumulative chart");
        chartCaptions.push_back(request.caption);
        chartMaximised.push_back(request.maximised);
    }
    void DrawSummaryChart(const SummaryChartData& data) override {
        calls.push_back("summary chart");
        summaryCharts.push_back(data);
    }
    void DrawScatter(const TwoTestScatter& scatter) override {
        calls.push_back("scatter");
        scatters.push_back(scatter);
    }
    void ShowComparisonMessage(const std::string& text) override {
        calls.push_back("comparison message");
        comparisonMessages.push_back(text);
    }
    void SummaryLineAppended(const std::string& line) override { summaryLines.push_back(line); }

    std::size_t Count(const std::string& call) const {
        std::size_t n = 0;
        for (const std::string& c : calls)
            n += c == call ? 1 : 0;
        return n;
    }
};

} // namespace quillon::testing
