// Everything a study asks of the person at the screen goes through this interface, so the
// desktop program answers with message boxes and chart windows, the command line with
// stderr and fixed answers, and the tests with scripted replies. Engine code never prints.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

enum class Answer { Yes, No, Cancel };

class Interaction {
public:
    virtual ~Interaction() = default;

    // A modal message with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A modal question with Yes, No and Cancel.
    virtual Answer AskYesNoCancel(const std::string& text) = 0;
    // Holds the run until the user presses "&Next chart" in the chart window.
    virtual void WaitForNextChart() = 0;
    // Holds the run until the user presses "Go &Back" in the summary-chart window.
    virtual void WaitForGoBack() = 0;
    // Progress of a long computation: `done` of `total` units of the named stage. Called
    // often; implementations throttle. May be called from worker threads.
    virtual void Progress(const std::string& stage, std::uint64_t done, std::uint64_t total) {
        (void)stage;
        (void)done;
        (void)total;
    }
    // True once the user has asked to stop; long loops check it between units of work.
    virtual bool StopRequested() const { return false; }
};

} // namespace quillon
