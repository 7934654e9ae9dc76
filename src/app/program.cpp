#include "app/program.h"

#include "analysis/qt/analyse_window.h"
#include "app/welcome_window.h"
#include "core/files.h"
#include "core/tables.h"
#include "desktop/field_help.h"
#include "desktop/help_text.h"
#include "desktop/qt/chart_window.h"
#include "desktop/qt/desk_style.h"
#include "desktop/qt/help_window.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/summary_chart_window.h"
#include "maxima/qt/maxima_window.h"
#include "particular/qt/particular_window.h"
#include "power/qt/power_window.h"
#include "study/study_registry.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace quillon {

namespace {

std::function<void()>& EndHandler() {
    static std::function<void()> handler;
    return handler;
}

} // namespace

void Program::SetEndHandler(std::function<void()> handler) {
    EndHandler() = std::move(handler);
}

Program::Program(std::filesystem::path dataDirectory, unsigned jobs) {
    settings_.dataDirectory = std::move(dataDirectory);
    settings_.jobs = jobs;
    // Before any window: every scroll bar of the program reads the right way round.
    InstallDeskStyle();
    runs_ = std::make_unique<RunHost>();
    welcome_ = std::make_unique<WelcomeWindow>(*this);

    // Start-up duties, in order.
    ResetLogFactorialCache();
    settings_.pixelSize = welcome_->MeasurePixelSize();
    const std::string keyForTests = KeyForTests();
    const auto directoryProblem = PrepareDataDirectory(settings_.dataDirectory);
    chart_ = std::make_unique<ChartWindow>(settings_, *this, *runs_);
    summaryChart_ = std::make_unique<SummaryChartWindow>(settings_, *this, *runs_);
    runWindows_.emplace(RunWindows{*runs_, *chart_, *summaryChart_});
    particular_ = std::make_unique<ParticularWindow>(settings_, *this, *runWindows_);
    particular_->SetKeyForTests(keyForTests);
    maxima_ = std::make_unique<MaximaWindow>(settings_, *this, *runWindows_);
    maxima_->SetKeyForTests(keyForTests);
    power_ = std::make_unique<PowerWindow>(settings_, *this, *runWindows_);
    power_->SetKeyForTests(keyForTests);

    analyse_ = std::make_unique<AnalyseWindow>(settings_, *this);
    help_ = std::make_unique<HelpWindow>();

    if (directoryProblem) {
        Messages().Show(nullptr, *directoryProblem);
    }
}

Program::~Program() = default;

QWidget* Program::StudyWindow(const StudyEntry& study) {
    const std::pair<const StudyEntry*, QWidget*> windows[] = {
        {&ParticularStudyEntry, particular_.get()},
        {&MaximumStudyEntry, maxima_.get()},
        {&PowerStudyEntry, power_.get()}};
    for (const auto& [entry, window] : windows)
        if (entry == &study)
            return window;
    return nullptr;
}

void Program::ShowWelcome() {
    welcome_->show();
    welcome_->raise();
    welcome_->activateWindow();
}

void Program::ShowHelp(HelpTopic topic) {
    // The general text as it always was, then a section a specification window.
    std::string text = HelpWindowText(settings_.dataDirectory, maxima_->SummaryFileName());
    for (HelpTopic window : {HelpTopic::Particular, HelpTopic::Maximum, HelpTopic::Power})
        text += "\r\n" + HelpSection(window);
    help_->SetText(text);
    help_->show();
    help_->raise();
    help_->activateWindow();
    // Laid out on screen first, so the section's heading can be brought to the top.
    help_->ShowFrom(std::string(HelpSectionHeading(topic)));
}

void Program::EndProgram() {
    if (EndHandler()) {
        runs_->Abandon();
        EndHandler()();
        return;
    }
    if (runs_->Active()) {
        // A study is running on its worker thread: end at once. Every result line is
        // written whole and flushed as it is made, so nothing written is left half done.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    for (QWidget* window : std::initializer_list<QWidget*>{
             help_.get(), chart_.get(), summaryChart_.get(), analyse_.get(), particular_.get(),
             maxima_.get(), power_.get(), welcome_.get()}) {
        window->hide();
    }
    QApplication::quit();
}

} // namespace quillon
