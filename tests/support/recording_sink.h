// A sink for tests: answers questions from a script and records every event as one line
// of text, so a test can check what a run reported and in which order. Each study's tests
// add the events of their own study (RecordingSink<ParticularSink>, ...).
#pragma once

#include "study/events.h"
#include "study/plan.h"

#include <deque>
#include <string>
#include <vector>

namespace quillon::testing {

inline const char* StatusText(StudyStatus status) {
    switch (status) {
    case StudyStatus::Completed:
        return "completed";
    case StudyStatus::Refused:
        return "refused";
    case StudyStatus::Failed:
        return "failed";
    case StudyStatus::Stopped:
        return "stopped";
    }
    return "?";
}

inline // A variation key from its text ("_Number_Test"), as the decision tables are written.
    DimensionSet
    Key(const std::string& text) {
    DimensionSet key;
    for (std::size_t i = 0; i < DimensionCount; ++i) {
        const auto d = static_cast<Dimension>(i);
        const std::string part(DimensionText(d));
        // "_Pcol" must not be found inside a longer part; every part ends at "_" or the end.
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1))
            if (at + part.size() == text.size() || text[at + part.size()] == '_')
                key.Add(d);
    }
    return key;
}

template <typename Sink> class RecordingSink : public Sink {
public:
    std::vector<std::string> calls;
    std::vector<std::string> messages;
    std::vector<MessageKind> messageKinds;
    std::vector<SummaryChartData> summaryCharts;
    std::vector<std::string> summaryLines;
    std::vector<std::string> questions;
    std::deque<Answer> answers; // given in order; No when the script has run out
    bool singleCombination = true;

    void RunStarted(const RunStart& start) override {
        singleCombination = start.singleCombination;
        const char* kind = start.kind == RunKind::Combinations  ? "combinations"
                           : start.kind == RunKind::EarlierData ? "earlier data"
                                                                : "comparison";
        calls.push_back(std::string("started ") + kind +
                        (start.singleCombination ? " single" : " several"));
    }
    void CombinationStarted() override { calls.push_back("combination"); }
    void Message(MessageKind kind, const std::string& text) override {
        calls.push_back("message");
        messages.push_back(text);
        messageKinds.push_back(kind);
    }
    Answer Ask(Question, const std::string& text) override {
        calls.push_back("question");
        questions.push_back(text);
        if (answers.empty())
            return Answer::No;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void CombinationDelivered() override { calls.push_back("delivered"); }
    void RunDelivered() override { calls.push_back("all delivered"); }
    void SummaryChart(const SummaryChartData& data) override {
        calls.push_back("summary chart");
        summaryCharts.push_back(data);
    }
    void SummaryLine(const std::string& line) override { summaryLines.push_back(line); }
    void RunEnded(const StudyOutcome& outcome) override {
        calls.push_back(std::string("ended ") + StatusText(outcome.status));
    }

    std::size_t Count(const std::string& call) const {
        std::size_t n = 0;
        for (const std::string& c : calls)
            n += c == call ? 1 : 0;
        return n;
    }
};

} // namespace quillon::testing
