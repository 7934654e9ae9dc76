#include "maxima/qt/maximum_driver.h"

#include "maxima/result_files.h"
#include "maxima/run.h"
#include "maxima/search_charts.h"
#include "particular/qt/chart_window.h"
#include "summary/qt/summary_chart_window.h"
#include "ui/qt/drawing_painter.h"
#include "ui/qt/maxima_window.h"
#include "ui/qt/messages.h"
#include "ui/qt/program.h"
#include "ui/qt/progress_relay.h"
#include "ui/qt/run_host.h"

#include <chrono>
#include <mutex>

namespace quillon {

namespace {

// The search chart is built on the run's thread as the events come; what is new is handed
// to the chart window at most every few hundredths of a second, and always before the run
// waits or a search ends, so the window keeps up without the search waiting for it.
class WindowMaximumView final : public MaximumView {
public:
    explicit WindowMaximumView(Program& program)
        : program_(program), runs_(program.Runs()), chart_(800, 600, metrics_) {}

    void ShowMessage(const std::string& text) override {
        Flush(true);
        runs_.OnUi([&] { Messages().Show(ActiveWindow(), text); });
    }
    Answer AskYesNoCancel(const std::string& text) override {
        Flush(true);
        Answer answer = Answer::Cancel;
        runs_.OnUi([&] { answer = Messages().Ask(ActiveWindow(), text); });
        return answer;
    }
    void WaitForNextChart() override {
        Flush(true);
        runs_.OnUi([&] {
            program_.Chart().SetBusy(false);
            program_.Chart().PrepareWaitForNextChart();
        });
        runs_.NextChartFlag().WaitForYes(runs_.AbandonedFlag());
        runs_.OnUi([&] { program_.Chart().SetBusy(true); });
    }
    void WaitForGoBack() override {
        Flush(true);
        runs_.OnUi([&] { program_.SummaryChart().PrepareWaitForGoBack(); });
        runs_.ContinueFlag().WaitForYes(runs_.AbandonedFlag());
    }
    void Progress(const std::string& stage, std::uint64_t done, std::uint64_t total) override {
        progress_.Report(stage, done, total);
    }
    bool StopRequested() const override { return progress_.StopRequested(); }

    void HideSpecificationWindow() override {
        runs_.OnUi([&] { program_.Maxima().hide(); });
    }
    void ShowSpecificationWindow() override {
        runs_.OnUi([&] { program_.Maxima().show(); });
    }
    void ShowChartWindow(bool reducedForSummaryCharts) override {
        runs_.OnUi([&] {
            if (reducedForSummaryCharts) {
                program_.Chart().ShowSized(0, 0, 0.6, 0.6, false);
            } else {
                program_.Chart().ShowSized(0, 0, 1, 1, true);
            }
        });
    }
    void HideChartWindow() override {
        Flush(true);
        runs_.OnUi([&] { program_.Chart().hide(); });
    }
    void DrawSummaryChart(const SummaryChartData& data) override {
        Flush(true);
        runs_.OnUi([&] { program_.SummaryChart().DrawChart(data); });
    }
    void HideSummaryChart() override {
        runs_.OnUi([&] { program_.SummaryChart().hide(); });
    }
    void SetBusy(bool busy) override {
        runs_.OnUi([&] {
            program_.Maxima().SetRunning(busy);
            program_.Chart().SetBusy(busy);
        });
    }

    // The search events: the chart follows each one.
    void OnSearchStarted(const SearchStarted& e) override {
        Flush(true);
        double W = 0, H = 0;
        runs_.OnUi([&] {
            W = program_.Chart().DrawingWidth();
            H = program_.Chart().DrawingHeight();
        });
        chart_.SetWindowSize(W, H);
        chart_.OnSearchStarted(e);
        sentOps_ = 0;
        layoutPending_ = true;
        Flush(true);
    }
    void OnAreaEvaluated(const AreaEvaluated& e) override {
        chart_.OnAreaEvaluated(e);
        Flush(false);
    }
    void OnSurveyPoint(const SurveyPoint& e) override {
        chart_.OnSurveyPoint(e);
        Flush(false);
    }
    void OnSurveyDone(const SurveyDone& e) override {
        chart_.OnSurveyDone(e);
        Flush(false);
    }
    void OnNewMaximum(const NewMaximum& e) override {
        chart_.OnNewMaximum(e);
        Flush(false);
    }
    void OnGridPassDone(const GridPassDone& e) override {
        chart_.OnGridPassDone(e);
        Flush(false);
    }
    void OnSearchFinished(const SearchFinished& e) override {
        chart_.OnSearchFinished(e);
        Flush(true);
    }

private:
    // Hands what changed in the search chart to the window.
    void Flush(bool always) {
        if (chart_.Revision() == sentRevision_ && !layoutPending_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!always && now - lastFlush_ < std::chrono::milliseconds(40)) {
            return;
        }
        lastFlush_ = now;
        sentRevision_ = chart_.Revision();
        const Drawing& drawing = chart_.GetDrawing();
        const bool whole = layoutPending_ || drawing.ops.size() < sentOps_;
        std::vector<DrawOp> added;
        Drawing full;
        if (whole) {
            full = drawing;
        } else {
            added.reserve(drawing.ops.size() - sentOps_);
            for (std::size_t i = sentOps_; i < drawing.ops.size(); ++i) {
                added.push_back(drawing.ops[i]);
            }
        }
        sentOps_ = drawing.ops.size();
        const SearchChartTexts texts = chart_.Texts();
        const bool layout = layoutPending_;
        const ChartWindowLayout windowLayout = chart_.Layout();
        layoutPending_ = false;
        runs_.OnUi([&] {
            ChartWindow& window = program_.Chart();
            if (whole) {
                window.SetDrawing(std::move(full));
            } else {
                window.Surface().AppendOps(std::move(added));
            }
            if (layout) {
                window.ApplyLayout(windowLayout, true);
            }
            window.SetCaption(texts.heading);
            window.SetFigure(ChartWindow::PointValue, texts.pointValue.text,
                             texts.pointValue.colour);
            window.SetFigure(ChartWindow::AreaBound, texts.areaBound.text, texts.areaBound.colour);
            window.SetFigure(ChartWindow::OverallMaximum, texts.overallMaximum.text,
                             texts.overallMaximum.colour);
            window.SetFigure(ChartWindow::ResidueBound, texts.residueBound.text,
                             texts.residueBound.colour);
        });
    }

    QWidget* ActiveWindow() {
        if (program_.SummaryChart().isVisible()) {
            return &program_.SummaryChart();
        }
        if (program_.Chart().isVisible()) {
            return &program_.Chart();
        }
        return &program_.Maxima();
    }

    Program& program_;
    RunHost& runs_;
    QtTextMetrics metrics_;
    SearchChart chart_;
    std::uint64_t sentRevision_ = ~std::uint64_t{0};
    std::size_t sentOps_ = 0;
    bool layoutPending_ = false;
    std::chrono::steady_clock::time_point lastFlush_{};
    ProgressRelay progress_{program_};
};

// The summary file a run with this test field writes to ("15" and "35" name a policy).
std::string SummaryFileNameFor(const std::string& testField) {
    const TestPolicy policy = testField == "15"   ? TestPolicy::Combined15
                              : testField == "35" ? TestPolicy::Combined35
                                                  : TestPolicy::Simple;
    return SummaryFileName(policy);
}

} // namespace

void RunMaximumInWindows(Program& program) {
    MaximaWindow& window = program.Maxima();
    const MaximaSettings fields = window.Fields();
    MaximumSpecification spec;
    spec.design = fields.comparativeTrial ? 2 : 1;
    spec.number = fields.number;
    spec.row1 = fields.row1;
    spec.test = fields.test;
    spec.men = fields.men;
    spec.mmt = fields.mmt;
    spec.parameter = fields.parameter;
    spec.accuracy = fields.accuracy;
    spec.pause = fields.pause;
    spec.type = program.State().maximumType == "2MaxDif" ? MaximumType::MaximumExcess
                                                         : MaximumType::ProportionSignificant;
    spec.dataDirectory = program.State().dataDirectory;
    program.State().maximaSummaryFileName = SummaryFileNameFor(fields.test);

    WindowMaximumView view(program);
    program.RunStudy(window, [&] { RunMaximumStudy(spec, view); });
}

} // namespace quillon
