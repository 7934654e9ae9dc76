// What the window tests share: answers to the program's message boxes, a data directory of
// their own, steps carried out while a run holds the user-interface thread in its nested
// event loop, and a record of windows shown and hidden.
//
// Set QUILLON_SHOTS=DIR to have the tests save a picture of each window they look at
// (for reviewing the layout by eye).
#pragma once

#include "app/program.h"
#include "desktop/qt/messages.h"

#include <QDir>
#include <QEvent>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quillon::testing {

// Message boxes answered by the test: every text is recorded, questions get the next
// scripted answer (Cancel, or No, when none is left), file dialogs the scripted path.
class RecordedMessages : public MessageBoxes {
public:
    RecordedMessages() { SetMessageBoxes(this); }
    ~RecordedMessages() override { SetMessageBoxes(nullptr); }

    void Show(QWidget*, const std::string& text) override { shown.push_back(text); }
    Answer Ask(QWidget*, const std::string& text) override {
        asked.push_back(text);
        if (answers.empty()) {
            return Answer::Cancel;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool AskYesNo(QWidget*, const std::string& text) override {
        asked.push_back(text);
        if (answers.empty()) {
            return false;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer == Answer::Yes;
    }
    std::string AskSaveFileName(QWidget*, const std::string& caption, const std::string&,
                                const std::string&) override {
        asked.push_back(caption);
        return savePath;
    }

    std::vector<std::string> shown;
    std::vector<std::string> asked;
    std::deque<Answer> answers;
    std::string savePath;
};

// Steps taken in order by a timer, each when its condition holds; the timer also fires in
// the nested event loop of a run, so the steps can press the chart windows' buttons.
class Script : public QObject {
public:
    Script() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!steps_.empty() && steps_.front().when()) {
                auto step = std::move(steps_.front());
                steps_.pop_front();
                step.then();
            }
        });
        timer_.start();
    }
    void When(std::function<bool()> when, std::function<void()> then) {
        steps_.push_back({std::move(when), std::move(then)});
    }
    bool Done() const { return steps_.empty(); }

private:
    struct Step {
        std::function<bool()> when;
        std::function<void()> then;
    };
    QTimer timer_;
    std::deque<Step> steps_;
};

// "show frmChart", "hide frmSetPointVals", ... in the order they happen.
class WindowLog : public QObject {
public:
    void Watch(QWidget* window) { window->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
            entries.push_back((event->type() == QEvent::Show ? "show " : "hide ") +
                              watched->objectName().toStdString());
        }
        return false;
    }
    // True when `expected` occur in this order (other entries may come between).
    bool InOrder(const std::vector<std::string>& expected) const {
        std::size_t next = 0;
        for (const auto& entry : entries) {
            if (next < expected.size() && entry == expected[next]) {
                ++next;
            }
        }
        return next == expected.size();
    }
    std::string Text() const {
        std::string text;
        for (const auto& entry : entries) {
            text += entry + "; ";
        }
        return text;
    }
    std::vector<std::string> entries;
};

// Saves a picture of the window when QUILLON_SHOTS names a directory.
inline void Shot(QWidget& window, const QString& name) {
    const QByteArray dir = qgetenv("QUILLON_SHOTS");
    if (dir.isEmpty()) {
        return;
    }
    QDir().mkpath(QString::fromLocal8Bit(dir));
    window.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name + ".png");
}

template <typename T> T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no control %s in %s", name, qPrintable(window.objectName()));
    }
    return child;
}

} // namespace quillon::testing
