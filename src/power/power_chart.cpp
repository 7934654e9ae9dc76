#include "power/power_chart.h"

#include <algorithm>
#include <cassert>

namespace quillon {

SummaryChartData PowerProgressChart(const std::vector<PowerChartPoint>& points, double target) {
    assert(!points.empty());
    const PowerChartPoint& latest = points.back();
    auto sameApartFrom = [&](const PowerChartPoint& p, bool N, bool p2) {
        return p.row == latest.row && p.p1 == latest.p1 && p.MEN == latest.MEN &&
               (N || p.N == latest.N) && (p2 || p.p2 == latest.p2);
    };
    auto varies = [&](bool N) {
        for (const PowerChartPoint& p : points)
            if (sameApartFrom(p, N, !N) && (N ? p.N != latest.N : p.p2 != latest.p2))
                return true;
        return false;
    };
    SummaryChartData data;
    data.referenceValue = target;
    if (varies(true) || varies(false)) {
        const bool byN = varies(true);
        data.axisLabel = byN ? "N" : "p2";
        data.seriesLabel = "Test";
        data.seriesAreTests = true;
        for (const PowerChartPoint& p : points)
            if (sameApartFrom(p, byN, !byN)) {
                data.x.push_back(byN ? p.N : p.p2);
                data.y.push_back(p.power);
                data.series.push_back(p.test);
            }
        return data;
    }
    data.axisLabel = "Test";
    data.seriesLabel = "1 power, 2 size";
    for (int line = 1; line <= 2; ++line)
        for (const PowerChartPoint& p : points)
            if (sameApartFrom(p, false, false)) {
                data.x.push_back(p.test);
                data.y.push_back(line == 1 ? p.power : p.size);
                data.series.push_back(line);
            }
    return data;
}

} // namespace quillon
