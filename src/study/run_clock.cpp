#include "study/run_clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace quillon {

namespace {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", ((v % 100) + 100) % 100);
    return buf;
}

} // namespace

RunDate Today() {
    const std::tm local = LocalNow();
    return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

RunClock::RunClock(std::optional<RunDate> date) : date_(date ? *date : Today()) {}

std::string RunClock::CaptionDate() const {
    return TwoDigits(date_.day) + "." + TwoDigits(date_.month) + "." + TwoDigits(date_.year);
}

std::string RunClock::SummaryDate() const {
    return TwoDigits(date_.day) + TwoDigits(date_.month) + TwoDigits(date_.year);
}

std::string RunClock::TimeOfDay() const {
    if (fixedTime_)
        return *fixedTime_;
    const std::tm t = LocalNow();
    return TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec);
}

double RunClock::Seconds() const {
    if (seconds_)
        return seconds_();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace quillon
