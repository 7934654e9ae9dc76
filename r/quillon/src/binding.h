// The R functions' way into the engine: R's arguments become the engine's (the texts of a
// study's fields, the cells of a table), the engine's results become columns, and the
// engine's messages become R errors and warnings. Nothing here decides anything a study
// or the analysis decides.
//
// R may only be called from its own thread. The studies report from the thread that runs
// them (R's, here) and ask whether to stop from their workers too, so a sink asks R about
// an interrupt only when it is called on R's thread, and tells the workers through a flag.
//
// Each study's binding is a file of its own, as the studies sit side by side in the engine
// (binding_particular.cpp, binding_maximum.cpp, binding_power.cpp); binding_analysis.cpp
// binds the analysis of tables.
#pragma once

#include <R_ext/Utils.h>
#include <Rcpp.h>

#include "core/designs.h"
#include "core/tables.h"
#include "study/events.h"
#include "study/speclang.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quillon::r {

// How often R is asked whether the user pressed Ctrl-C.
constexpr std::chrono::milliseconds kInterruptPoll(100);

inline void CheckInterrupt(void*) {
    R_CheckUserInterrupt();
}

// The part of every study's sink that R needs: interrupts, messages, the questions.
template <typename Base> class RSink : public Base {
public:
    void Message(MessageKind kind, const std::string& text) override {
        // Refusals and failures end the run and come back in its outcome.
        if (kind == MessageKind::Notice)
            notices_.push_back(text);
    }
    // From R the lists are the user's own code: a large run is meant (and Ctrl-C ends it);
    // two tests are evaluated, not drawn as a scatter diagram.
    Answer Ask(Question question, const std::string&) override {
        return question == Question::LargeRun ? Answer::Yes : Answer::No;
    }
    void CombinationStarted() override { Poll(); }
    void Progress(ProgressStage, std::uint64_t, std::uint64_t) override { Poll(); }
    bool StopRequested() const override {
        Poll();
        return interrupted_.load();
    }

    // After the run, on R's thread: the interrupt, the refusal or failure as an R error,
    // the notices as warnings.
    void Conclude(const StudyOutcome& outcome) const {
        if (interrupted_.load())
            throw Rcpp::internal::InterruptedException();
        if (outcome.status == StudyStatus::Refused || outcome.status == StudyStatus::Failed)
            Rcpp::stop(outcome.message);
        for (const std::string& notice : notices_)
            Rcpp::warning(notice);
    }

private:
    void Poll() const {
        if (std::this_thread::get_id() != rThread_ || interrupted_.load())
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPoll_ < kInterruptPoll)
            return;
        lastPoll_ = now;
        if (!R_ToplevelExec(CheckInterrupt, nullptr))
            interrupted_.store(true);
    }

    std::thread::id rThread_ = std::this_thread::get_id();
    mutable std::chrono::steady_clock::time_point lastPoll_ = std::chrono::steady_clock::now();
    mutable std::atomic<bool> interrupted_ = false;
    std::vector<std::string> notices_;
};

inline std::string DesignText(DesignCode design) {
    return std::string(DesignOf(design).option);
}

inline DesignCode Design(const std::string& text) {
    if (const std::optional<DesignCode> design = DesignFromOption(text))
        return *design;
    Rcpp::stop("design" + DesignOptionRefusal(text));
}

// Where a study writes: the data folder given, and whether it writes the latest results in
// full besides the summary lines.
// What every study's run takes alike from R: its threads, one combination at a time,
// strict reading of every field, and the folder it writes in; the latest results are
// written only when they are kept.
template <typename Specification>
void SetRunFields(Specification& spec, int threads, const std::string& folder, bool keepResults) {
    spec.threads = static_cast<unsigned>(threads);
    spec.jobs = 1;
    spec.reading = Reading::Strict;
    spec.dataDirectory = folder;
    spec.summaryOnly = !keepResults;
}

inline double Na() {
    return NA_REAL;
}

} // namespace quillon::r
