// The studies as the shared run tests drive them: each study's case, in a file of its own
// (a translation unit holds one study's headers), listed once in StudyCases().
#pragma once

#include "study/events.h"
#include "study/run_clock.h"
#include "study/shard.h"
#include "support/unregistered_test.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace quillon::testing {

namespace fs = std::filesystem;

// How one run of a case is made.
struct CaseRun {
    enum class Kind {
        Calculation, // a small calculation of four combinations
        Refused,     // the same with a test number no test has (UnregisteredTestText)
        EarlierData, // "*" for the total numbers
    };
    Kind kind = Kind::Calculation;
    fs::path dataDirectory;
    unsigned jobs = 1;
    ShardChoice shard;
    bool stop = false;
};

// What a run reported.
struct Recorded {
    StudyOutcome outcome;
    std::vector<std::string> calls, messages, summaryLines;
    std::vector<MessageKind> kinds;
};

// One study as these tests drive it.
struct StudyCase {
    const char* name;
    std::function<Recorded(const CaseRun&)> run;
    const char* summaryFile; // the file the calculation appends its records to
    // The field that differs from run to run of the same records (the maximum study's Time
    // field, the last), from 1; 0 for none.
    std::size_t timeField;
};

inline void PrintTo(const StudyCase& study, std::ostream* os) {
    *os << study.name;
}

// Each study's case.
StudyCase ParticularCase();
StudyCase PowerCase();
StudyCase MaximumCase();

// Every study, in the order of the start window.
inline std::vector<StudyCase> StudyCases() {
    return {ParticularCase(), MaximumCase(), PowerCase()};
}

template <typename Sink> class CaseSink : public Sink {
public:
    explicit CaseSink(bool stop) : stop_(stop) {}
    bool StopRequested() const override { return stop_; }

private:
    bool stop_;
};

template <typename Sink> Recorded Record(const StudyOutcome& outcome, const Sink& sink) {
    return {outcome, sink.calls, sink.messages, sink.summaryLines, sink.messageKinds};
}

// The date, a survey's time of day and seconds that step 1.5 at every reading.
inline RunClock FixedClock() {
    RunClock clock(RunDate{6, 12, 2026});
    clock.FixTimeOfDay("10:00:00");
    clock.FixSeconds([t = 0.0]() mutable { return t += 1.5; });
    return clock;
}

} // namespace quillon::testing
