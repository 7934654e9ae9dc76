// Runs a study off the user-interface thread.
//
// The Start button hands the study's run logic to Run(), which starts it on a worker
// thread and keeps the user-interface thread in a nested event loop until it ends, so the
// chart windows' buttons (Next chart, Pause, Print chart, Abandon) answer at once even in
// the middle of a long computation. Whatever the run asks of the windows is done on the
// user-interface thread by OnUi(), which waits for it to finish, so the run sees the
// windows change in the order it asked for.
//
// The two waiting flags of the program live here: NextChartFlag (set by "&Next chart") and
// ContinueFlag (set by "Go &Back"). A run waits on them without holding the user-interface
// thread. "P&ause" holds the run at its next call into the windows until the pause message
// is closed. "&Stop" releases every wait and asks the run to end at its next safe point,
// the windows still answering; "&Abandon" ends the program.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace quillon {

// A "y"/"n" flag that a run can wait on.
class WaitFlag {
public:
    void Set(bool yes);
    bool Yes() const;
    // Blocks until the flag is "y" or `released` becomes true.
    void WaitForYes(const std::atomic<bool>& released);
    void Wake(); // wakes waiters to look at `released` again

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool yes_ = true;
};

class RunHost : public QObject {
    Q_OBJECT
public:
    RunHost();
    ~RunHost() override;

    bool Active() const { return active_; }
    // Runs `work` on a worker thread and returns when it has finished; events are processed
    // meanwhile. An exception escaping `work` becomes the returned message (empty when it
    // ended normally).
    std::string Run(const std::function<void()>& work);

    // Runs `f` on the user-interface thread and returns when it is done (called from the
    // run; on the user-interface thread itself it simply calls `f`). Holds first while the
    // run is paused; does nothing once the run was abandoned.
    void OnUi(const std::function<void()>& f);
    // Runs `f` on the user-interface thread without waiting (progress display).
    void PostToUi(const std::function<void()>& f);

    WaitFlag& NextChartFlag() { return nextChart_; }
    WaitFlag& ContinueFlag() { return continue_; }

    // Pause: while set, the run holds at its next call into the windows.
    void SetPaused(bool paused);
    void HoldWhilePaused();

    // Asks the run to stop and releases every wait (used when the program ends while a
    // run is going on, so the worker is not left waiting).
    void Abandon();
    bool Abandoned() const { return abandoned_; }

    // Asks the run to end at its next safe point and releases every wait; unlike Abandon,
    // the run's calls into the windows are still carried out (the summary chart of what
    // was completed, the way back to the specification window).
    void RequestStop();
    // True once the user has stopped or abandoned the run.
    bool StopRequested() const { return stopped_ || abandoned_; }
    // Set once the run's waits are to return at once (stopped or abandoned).
    const std::atomic<bool>& ReleasedFlag() const { return released_; }

private:
    void Release();
    bool active_ = false;
    std::atomic<bool> abandoned_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> released_{false};
    std::atomic<bool> finished_{true};
    std::mutex pauseMutex_;
    std::condition_variable pauseChanged_;
    bool paused_ = false;
    WaitFlag nextChart_;
    WaitFlag continue_;
    std::thread worker_;
};

} // namespace quillon
