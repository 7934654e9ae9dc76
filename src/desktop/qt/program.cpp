#include "desktop/qt/program.h"

#include "analysis/qt/analyse_window.h"
#include "core/files.h"
#include "core/tables.h"
#include "desktop/help_text.h"
#include "desktop/qt/chart_window.h"
#include "desktop/qt/help_window.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/welcome_window.h"
#include "maxima/qt/maxima_window.h"
#include "particular/qt/particular_window.h"
#include "power/qt/power_window.h"
#include "summary/qt/summary_chart_window.h"

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

Program::Program(std::filesystem::path dataDirectory) {
    state_.dataDirectory = std::move(dataDirectory);
    runs_ = std::make_unique<RunHost>();
    welcome_ = std::make_unique<WelcomeWindow>(*this);

    // Start-up duties, in order.
    ResetLogFactorialCache();
    state_.pixelSize = welcome_->MeasurePixelSize();
    state_.keyForTests = KeyForTests();
    const auto directoryProblem = PrepareDataDirectory(state_.dataDirectory);
    particular_ = std::make_unique<ParticularWindow>(*this);
    particular_->SetKeyForTests(state_.keyForTests);
    maxima_ = std::make_unique<MaximaWindow>(*this);
    maxima_->SetKeyForTests(state_.keyForTests);
    power_ = std::make_unique<PowerWindow>(*this);
    power_->SetKeyForTests(state_.keyForTests);
    state_.maximaSummaryFileName = "MaximaSummary.txt";

    analyse_ = std::make_unique<AnalyseWindow>(*this);
    help_ = std::make_unique<HelpWindow>();
    chart_ = std::make_unique<ChartWindow>(*this);
    summaryChart_ = std::make_unique<SummaryChartWindow>(*this);

    if (directoryProblem) {
        Messages().Show(nullptr, *directoryProblem);
    }
}

Program::~Program() = default;

void Program::ShowWelcome() {
    welcome_->show();
    welcome_->raise();
    welcome_->activateWindow();
}

void Program::ShowHelp() {
    help_->SetText(HelpText(state_.dataDirectory, state_.maximaSummaryFileName) + "\r\n" +
                   PowerHelpText(state_.dataDirectory) + "\r\n" + UnconditionalHelpText());
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void Program::RunStudy(SpecWindowBase& window, const std::function<void()>& run) {
    window.SetRunning(true);
    const std::string failure = Runs().Run(run);
    window.SetRunning(false);
    Chart().SetBusy(false);
    Chart().hide();
    SummaryChart().hide();
    window.show();
    if (!failure.empty())
        Messages().Show(&window, failure);
}

void Program::ShowProgress(const std::string& stage, double fraction) {
    if (chart_->isVisible()) {
        chart_->ShowProgress(stage, fraction);
    } else if (particular_->isVisible()) {
        particular_->ShowProgress(stage, fraction);
    } else if (maxima_->isVisible()) {
        maxima_->ShowProgress(stage, fraction);
    } else if (power_->isVisible()) {
        power_->ShowProgress(stage, fraction);
    }
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
