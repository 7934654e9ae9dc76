// Every study's headers in one translation unit: the studies stand side by side, so no
// two of them may declare the same name differently (this file must compile), and each
// keeps its summary record under its own name.
#include "maxima/result_files.h"
#include "maxima/run.h"
#include "maxima/search.h"
#include "maxima/search_charts.h"
#include "maxima/search_events.h"
#include "particular/comparison.h"
#include "particular/cumulative_chart.h"
#include "particular/evaluation.h"
#include "particular/file_names.h"
#include "particular/result_files.h"
#include "particular/run.h"
#include "particular/scatter_chart.h"
#include "particular/summary_chart_mode.h"
#include "power/evaluation.h"
#include "power/power_chart.h"
#include "power/result_files.h"
#include "power/results_table.h"
#include "power/run.h"
#include "power/sample_size.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace quillon {
namespace {

TEST(EveryStudyHeaders, EachStudyKeepsItsOwnRecord) {
    static_assert(!std::is_same_v<ParticularSummaryRecord, MaximaSummaryRecord>);
    static_assert(!std::is_same_v<ParticularSummaryRecord, PowerRecord>);
    // The design names both studies write come from the one table.
    EXPECT_EQ(DesignName(CrossSectionalStudy), "Cross-sectional study");
    EXPECT_EQ(MaximaSummaryFileName, MaximumStudyEntry.SummaryFile());
    EXPECT_EQ(ParticularSummaryFileName, ParticularStudyEntry.SummaryFile());
    EXPECT_EQ(PowerSummaryFileName, PowerStudyEntry.SummaryFile());
}

} // namespace
} // namespace quillon
