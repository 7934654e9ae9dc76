// What the program gives its windows. Each window is handed only the services it uses, so
// no window reaches another through the program: the start window and the composition of
// the program (src/app) sit above the study windows, and the shared windows here below.
#pragma once

#include "desktop/field_help.h"

#include <filesystem>
#include <string>

namespace quillon {

class ChartWindow;
class RunHost;
class SummaryChartWindow;

// Settings of the whole program, fixed once it has started.
struct DeskSettings {
    std::filesystem::path dataDirectory;
    double pixelSize = 1; // one screen pixel in window units
    // Combinations of a run computed at once (quillon --jobs K). One by default: the search
    // is then drawn as it runs; with more, each combination's chart is drawn when its turn
    // comes, in the same order.
    unsigned jobs = 1;
};

// Moving between the program's windows, answered by the program above them.
class Navigation {
public:
    virtual ~Navigation() = default;
    // The start window (whenever a window is closed).
    virtual void ShowWelcome() = 0;
    // The help text, anew, opened at the section of `topic`.
    virtual void ShowHelp(HelpTopic topic) = 0;
    // Ends the program at once, from anywhere (e&Xit, &Abandon): a running study is not
    // waited for; every file line already written is complete on disk.
    virtual void EndProgram() = 0;
};

// What a study's run works with: the run host and the two chart windows.
struct RunWindows {
    RunHost& runs;
    ChartWindow& chart;
    SummaryChartWindow& summary;
};

} // namespace quillon
