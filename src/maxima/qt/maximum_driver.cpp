#include "maxima/qt/maximum_driver.h"

#include "desktop/qt/chart_window.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/study_controller.h"
#include "maxima/qt/maxima_window.h"
#include "maxima/result_files.h"
#include "maxima/run.h"
#include "maxima/search_charts.h"

#include <chrono>

namespace quillon {

namespace {

// The search chart is built on the run's thread as the events come; what is new is handed
// to the chart window at most every few hundredths of a second, and always before the run
// waits, a message shows, a window changes or a search ends, so the window keeps up
// without the search waiting for it. What the windows do around it is the controller's.
class MaximumWindows final : public ControlledSink<MaximumSink> {
public:
    explicit MaximumWindows(StudyController& controller)
        : ControlledSink(controller), runs_(controller.Runs()),
          chart_(800, 600, controller.Metrics()) {
        controller.SetBeforeWindowChange([this] { Flush(true); });
    }

    // The search events: the chart follows each one.
    void OnSearchStarted(const SearchStarted& e) override {
        Flush(true);
        const auto [W, H] = controller_.ChartSize();
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
            ChartWindow& window = controller_.Chart();
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

    RunHost& runs_;
    QtTextMetrics metrics_;
    SearchChart chart_;
    std::uint64_t sentRevision_ = ~std::uint64_t{0};
    std::size_t sentOps_ = 0;
    bool layoutPending_ = false;
    std::chrono::steady_clock::time_point lastFlush_{};
};

} // namespace

void RunMaximumInWindows(MaximaWindow& window, RunWindows& windows, const DeskSettings& settings) {
    const MaximaSettings fields = window.Fields();
    MaximumSpecification spec;
    spec.design = fields.comparativeTrial ? ComparativeTrial : CrossSectionalStudy;
    spec.number = fields.number;
    spec.row1 = fields.row1;
    spec.test = fields.test;
    spec.men = fields.men;
    spec.mmt = fields.mmt;
    spec.parameter = fields.parameter;
    spec.accuracy = fields.accuracy;
    spec.type = window.MaximumTypeChosen();
    spec.dataDirectory = settings.dataDirectory;
    spec.jobs = settings.jobs;

    StudyController controller(windows, window, SearchWindows, fields.pause);
    MaximumWindows sink(controller);
    controller.Run([&] { RunMaximumStudy(spec, sink); });
}

} // namespace quillon
