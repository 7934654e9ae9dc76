#include "power/qt/power_driver.h"

#include "core/chart_window_layout.h"
#include "desktop/qt/chart_window.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/study_controller.h"
#include "power/power_chart.h"
#include "power/qt/power_results_window.h"
#include "power/qt/power_window.h"
#include "power/results_table.h"
#include "power/run.h"
#include "summary/summary_chart.h"

#include <utility>

namespace quillon {

namespace {

// The power study's own events in the windows: the chart of the combinations so far, drawn
// in the chart window (bars of power and size while nothing varies, else lines by N or p2),
// and the results table, filled as combinations come and shown at the end of the run, with
// the sample sizes. What the windows do around them is the controller's.
class PowerWindows final : public ControlledSink<PowerSink> {
public:
    PowerWindows(StudyController& controller, double pixelSize)
        : ControlledSink(controller), pixelSize_(pixelSize) {}

    void CombinationEvaluated(const PowerCombination& combination) override {
        const PowerPoint& point = combination.evaluation.point;
        for (const PowerTestResult& r : combination.evaluation.results)
            points_.push_back({static_cast<double>(point.N), combination.rowValue, point.p1,
                               point.p2, point.MEN, r.test, r.power, r.size});
        table_.Add(combination.evaluation);
        if (const auto bars = PowerBarsOf(points_, combination.target)) {
            controller_.ShowChart(combination.caption, [&](double W, double H) {
                return std::pair{LayOutChartWindow(W, H),
                                 BuildPowerBarChart(*bars, W, H, controller_.Metrics())};
            });
        } else {
            const SummaryChartData data = PowerProgressChart(points_, combination.target);
            controller_.ShowChart(combination.caption, [&](double W, double H) {
                return std::pair{LayOutChartWindow(W, H),
                                 BuildSummaryChart(data, W, H, pixelSize_, controller_.Metrics())};
            });
        }
        controller_.Runs().OnUi([&] { controller_.Chart().SetBusy(false); });
    }

    // The sample sizes go in the results table, not a message.
    void SampleSizesFound(const std::vector<SampleSizeRow>& rows) override {
        table_.SetSampleSizes(rows);
    }

    const PowerResultsTable& Table() const { return table_; }

private:
    double pixelSize_ = 1;
    std::vector<PowerChartPoint> points_;
    PowerResultsTable table_;
};

} // namespace

void RunPowerInWindows(PowerWindow& window, RunWindows& windows, const DeskSettings& settings) {
    const PowerSettings fields = window.Fields();
    PowerSpecification spec;
    spec.txtNumber = fields.number;
    spec.txtRow = fields.row;
    spec.txtP1 = fields.p1;
    spec.txtP2 = fields.p2;
    spec.txtTest = fields.test;
    spec.txtMEN = fields.men;
    spec.txtMMT = fields.mmt;
    spec.txtAlpha = fields.alpha;
    spec.txtTarget = fields.target;
    spec.design = fields.comparativeTrial ? ComparativeTrial : CrossSectionalStudy;
    spec.dataDirectory = settings.dataDirectory;
    spec.jobs = settings.jobs;

    StudyController controller(windows, window, PowerStudyWindows, fields.pause);
    PowerWindows sink(controller, settings.pixelSize);
    controller.Run([&] { RunPowerStudy(spec, sink); },
                   [&]() -> QWidget* {
                       if (sink.Table().Empty())
                           return nullptr;
                       window.Results().SetTable(sink.Table());
                       return &window.Results();
                   });
}

} // namespace quillon
