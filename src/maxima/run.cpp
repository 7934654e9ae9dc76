#include "maxima/run.h"

#include <chrono>
#include <ctime>

namespace quillon {

namespace {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string TwoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
           static_cast<char>('0' + value % 10);
}

} // namespace

std::string MaximumView::DateText() const {
    const std::tm t = LocalNow();
    return TwoDigits(t.tm_mday) + "." + TwoDigits(t.tm_mon + 1) + "." + TwoDigits(t.tm_year % 100);
}

std::string MaximumView::TimeOfDayText() const {
    const std::tm t = LocalNow();
    return TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec);
}

double MaximumView::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string MaximaSummaryHeader() {
    return "Date\tS_Meth.\tN\tn(row1)\tTest\tMEN\tMMT\tQuant.\tParam.\tAccur.\tValue\tAt "
           "p(col)\tAt "
           "p(row)\tTime";
}

MaximumRunResult RunMaximumStudy(const MaximumSpecification& /*spec*/, MaximumView& /*view*/) {
    return {MaximumRunResult::Status::Failed, "The maximum study is not available yet"};
}

} // namespace quillon
