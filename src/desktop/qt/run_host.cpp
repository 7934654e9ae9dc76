#include "desktop/qt/run_host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <exception>

namespace quillon {

void WaitFlag::Set(bool yes) {
    {
        std::lock_guard lock(mutex_);
        yes_ = yes;
    }
    changed_.notify_all();
}

bool WaitFlag::Yes() const {
    std::lock_guard lock(mutex_);
    return yes_;
}

void WaitFlag::WaitForYes(const std::atomic<bool>& released) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return yes_ || released.load(); });
}

void WaitFlag::Wake() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

RunHost::RunHost() = default;

RunHost::~RunHost() {
    if (worker_.joinable()) {
        // Only when the program is torn down in the middle of a run: release the run and
        // keep answering its calls into the windows until it has ended.
        Abandon();
        while (!finished_) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        worker_.join();
    }
}

std::string RunHost::Run(const std::function<void()>& work) {
    if (active_) {
        return "A study is already running.";
    }
    active_ = true;
    abandoned_ = false;
    stopped_ = false;
    released_ = false;
    finished_ = false;
    SetPaused(false);
    std::string failure;
    QEventLoop loop;
    worker_ = std::thread([&] {
        try {
            work();
        } catch (const std::exception& error) {
            failure = error.what();
            if (failure.empty()) {
                failure = "The study stopped because of an unexpected error.";
            }
        } catch (...) {
            failure = "The study stopped because of an unexpected error.";
        }
        finished_ = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // The loop may also have been ended from outside (the application quitting); the run
    // still needs its calls into the windows answered until it has ended.
    while (!finished_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    worker_.join();
    active_ = false;
    return failure;
}

void RunHost::OnUi(const std::function<void()>& f) {
    if (QThread::currentThread() == thread()) {
        f();
        return;
    }
    HoldWhilePaused();
    if (abandoned_) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [&] {
            if (!abandoned_) {
                f();
            }
        },
        Qt::BlockingQueuedConnection);
}

void RunHost::PostToUi(const std::function<void()>& f) {
    QMetaObject::invokeMethod(this, f, Qt::QueuedConnection);
}

void RunHost::SetPaused(bool paused) {
    {
        std::lock_guard lock(pauseMutex_);
        paused_ = paused;
    }
    pauseChanged_.notify_all();
}

void RunHost::HoldWhilePaused() {
    if (QThread::currentThread() == thread()) {
        return;
    }
    std::unique_lock lock(pauseMutex_);
    pauseChanged_.wait(lock, [&] { return !paused_ || released_.load(); });
}

void RunHost::Abandon() {
    abandoned_ = true;
    Release();
}

void RunHost::RequestStop() {
    if (!active_)
        return;
    stopped_ = true;
    Release();
}

void RunHost::Release() {
    released_ = true;
    { std::lock_guard lock(pauseMutex_); }
    pauseChanged_.notify_all();
    nextChart_.Wake();
    continue_.Wake();
}

} // namespace quillon
