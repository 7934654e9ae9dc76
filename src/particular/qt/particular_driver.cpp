#include "particular/qt/particular_driver.h"

#include "particular/cumulative_chart.h"
#include "particular/qt/chart_window.h"
#include "particular/run.h"
#include "particular/scatter_chart.h"
#include "summary/qt/summary_chart_window.h"
#include "ui/qt/drawing_painter.h"
#include "ui/qt/messages.h"
#include "ui/qt/particular_window.h"
#include "ui/qt/program.h"
#include "ui/qt/progress_relay.h"
#include "ui/qt/run_host.h"

#include <chrono>
#include <mutex>
#include <utility>

namespace quillon {

namespace {

class WindowParticularView final : public ParticularView {
public:
    explicit WindowParticularView(Program& program) : program_(program), runs_(program.Runs()) {}

    void ShowMessage(const std::string& text) override {
        runs_.OnUi([&] { Messages().Show(ActiveWindow(), text); });
    }
    Answer AskYesNoCancel(const std::string& text) override {
        Answer answer = Answer::Cancel;
        runs_.OnUi([&] { answer = Messages().Ask(ActiveWindow(), text); });
        return answer;
    }
    void WaitForNextChart() override {
        runs_.OnUi([&] {
            program_.Chart().SetBusy(false);
            program_.Chart().PrepareWaitForNextChart();
        });
        runs_.NextChartFlag().WaitForYes(runs_.AbandonedFlag());
    }
    void WaitForGoBack() override {
        runs_.OnUi([&] { program_.SummaryChart().PrepareWaitForGoBack(); });
        runs_.ContinueFlag().WaitForYes(runs_.AbandonedFlag());
    }
    void Progress(const std::string& stage, std::uint64_t done, std::uint64_t total) override {
        progress_.Report(stage, done, total);
    }
    bool StopRequested() const override { return progress_.StopRequested(); }

    void SetBusy(bool busy) override {
        runs_.OnUi([&] { program_.Particular().SetRunning(busy); });
    }
    void SetChartBusy(bool busy) override {
        runs_.OnUi([&] { program_.Chart().SetBusy(busy); });
    }
    void ShowSpecificationWindow(bool visible) override {
        runs_.OnUi([&] { program_.Particular().setVisible(visible); });
    }
    void ShowChartWindow(bool visible) override {
        runs_.OnUi([&] {
            if (!visible) {
                program_.Chart().hide();
            } else if (!program_.Chart().isVisible()) {
                chartNeedsSizing_ = true;
            }
        });
    }
    void ShowSummaryChartWindow(bool visible) override {
        runs_.OnUi([&] {
            SummaryChartWindow& window = program_.SummaryChart();
            if (!visible) {
                window.hide();
                return;
            }
            if (!window.isVisible()) {
                window.ShowSized(0.15, 0.15, 0.85, 0.85, false);
            }
            // The flag itself is set to "n" only when the run waits, so a press is never
            // undone by the run catching up.
            window.EnableGoBack();
        });
    }

    void DrawCumulativeChart(const CumulativeChartRequest& request) override {
        const CumulativeChartData data =
            MakeCumulativeChartData(request.evaluation, request.caption);
        ShowChart(request.maximised, data.caption, [&](double W, double H) {
            return std::pair{LayOutCumulativeChartWindow(W, H),
                             BuildCumulativeChart(data, W, H, metrics_)};
        });
    }

    void DrawSummaryChart(const SummaryChartData& data) override {
        runs_.OnUi([&] { program_.SummaryChart().DrawChart(data); });
    }

    void DrawScatter(const TwoTestScatter& scatter) override {
        ShowChart(true, scatter.caption, [&](double W, double H) {
            return std::pair{LayOutScatterChartWindow(W, H),
                             BuildScatterChart(scatter, W, H, metrics_)};
        });
    }

private:
    // Sizes the chart window when it first appears in a run (a run over one point charts in
    // the whole screen; a run with summary charts leaves room for them, 60% at the top
    // left), lays the chart out for the window's size on the run's thread, and hands the
    // drawing, the button layout and the caption to the window. A user's resize is kept,
    // and the next chart is laid out for that size.
    template <typename Build>
    void ShowChart(bool maximised, const std::string& caption, Build build) {
        double W = 0, H = 0;
        runs_.OnUi([&] {
            ChartWindow& chart = program_.Chart();
            if (chartNeedsSizing_ || !chart.isVisible()) {
                if (maximised)
                    chart.ShowSized(0, 0, 1, 1, true);
                else
                    chart.ShowSized(0, 0, 0.6, 0.6, false);
                chartNeedsSizing_ = false;
            }
            W = chart.DrawingWidth();
            H = chart.DrawingHeight();
        });
        auto [layout, drawing] = build(W, H);
        runs_.OnUi([&] {
            ChartWindow& chart = program_.Chart();
            chart.SetDrawing(std::move(drawing));
            chart.ApplyLayout(layout, false);
            chart.SetCaption(caption);
        });
    }

    // The window the run's messages belong to: the chart windows while they are shown.
    QWidget* ActiveWindow() {
        if (program_.SummaryChart().isVisible()) {
            return &program_.SummaryChart();
        }
        if (program_.Chart().isVisible()) {
            return &program_.Chart();
        }
        return &program_.Particular();
    }

    Program& program_;
    RunHost& runs_;
    QtTextMetrics metrics_;
    bool chartNeedsSizing_ = true;
    ProgressRelay progress_{program_};
};

} // namespace

void RunParticularInWindows(Program& program) {
    ParticularWindow& window = program.Particular();
    const ParticularSettings fields = window.Fields();
    ParticularSpecification spec;
    spec.txtNumber = fields.number;
    spec.txtTest = fields.test;
    spec.txtP_col = fields.pCol;
    spec.txtP_row = fields.pRow;
    spec.txtInterval = fields.interval;
    spec.txtMEN = fields.men;
    spec.txtMMT = fields.mmt;
    spec.txtParameter = fields.parameter;
    spec.design = fields.comparativeTrial ? ComparativeTrial : CrossSectionalStudy;
    spec.chkPause = fields.pause;
    spec.summaryChartMode = program.State().summaryChartMode;
    spec.dataDirectory = program.State().dataDirectory;

    WindowParticularView view(program);
    program.RunStudy(window, [&] { RunParticularStudy(spec, view); });
}

} // namespace quillon
