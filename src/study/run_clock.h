// The calendar and the clock of a run: the date written into captions ("dd.mm.yy") and
// summary lines ("ddmmyy"), the time of day of a survey ("hh:mm:ss"), and a steady count
// of seconds for the maximum study's Time field (steady, so a run across midnight never
// gives a negative time). Tests fix all of them.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quillon {

struct RunDate {
    int day = 1, month = 1, year = 2000;
};

// The local calendar day now.
RunDate Today();

class RunClock {
public:
    // The real clock; a fixed date when `date` is given.
    explicit RunClock(std::optional<RunDate> date = std::nullopt);

    std::string CaptionDate() const; // dd.mm.yy
    std::string SummaryDate() const; // ddmmyy
    std::string TimeOfDay() const;   // hh:mm:ss, local time now (or fixed)
    double Seconds() const;          // steady seconds (or the fixed sequence)

    // For tests: a fixed time of day and a clock that advances by `step` seconds each time
    // it is read.
    void FixTimeOfDay(std::string text) { fixedTime_ = std::move(text); }
    void FixSeconds(std::function<double()> seconds) { seconds_ = std::move(seconds); }

private:
    RunDate date_;
    std::optional<std::string> fixedTime_;
    std::function<double()> seconds_;
};

} // namespace quillon
