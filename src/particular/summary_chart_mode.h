// What the particular study's summary charts show on their vertical axis.
#pragma once

namespace quillon {

enum class SummaryChartMode {
    ActualTypeIError = 1, // Prop sig.: the actual Type I error at the nominal level
    MaximumExcess = 2,    // Max. dif.: the largest excess of actual over nominal
};

} // namespace quillon
