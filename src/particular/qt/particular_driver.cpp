#include "particular/qt/particular_driver.h"

#include "desktop/qt/chart_window.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/study_controller.h"
#include "particular/cumulative_chart.h"
#include "particular/qt/particular_window.h"
#include "particular/run.h"
#include "particular/scatter_chart.h"

#include <utility>

namespace quillon {

namespace {

// The particular study's own events in the windows: the cumulative-frequency chart of a
// point and the scatter of two tests, drawn in the chart window. What the windows do
// around them is the controller's.
class ParticularWindows final : public ControlledSink<ParticularSink> {
public:
    using ControlledSink::ControlledSink;

    void PointEvaluated(const PointChart& point) override {
        const CumulativeChartData data = MakeCumulativeChartData(point.evaluation, point.caption);
        controller_.ShowChart(data.caption, [&](double W, double H) {
            return std::pair{LayOutCumulativeChartWindow(W, H),
                             BuildCumulativeChart(data, W, H, controller_.Metrics())};
        });
        controller_.Runs().OnUi([&] { controller_.Chart().SetBusy(false); });
    }

    void ScatterReady(const TwoTestScatter& scatter) override {
        controller_.ShowChart(scatter.caption, [&](double W, double H) {
            return std::pair{LayOutScatterChartWindow(W, H),
                             BuildScatterChart(scatter, W, H, controller_.Metrics())};
        });
    }
};

} // namespace

void RunParticularInWindows(ParticularWindow& window, RunWindows& windows,
                            const DeskSettings& settings) {
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
    spec.summaryChartMode = window.ChartMode();
    spec.dataDirectory = settings.dataDirectory;
    spec.jobs = settings.jobs;

    StudyController controller(windows, window, PointByPointWindows, fields.pause);
    ParticularWindows sink(controller);
    controller.Run([&] { RunParticularStudy(spec, sink); });
}

} // namespace quillon
