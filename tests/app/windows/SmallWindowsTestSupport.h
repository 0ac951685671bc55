#pragma once
// What the small windows' tests share: one offscreen QApplication, a fake source of numbered
// messages, and a way to look at a modal window from inside its loop.

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "DmTestSupport.h"
#include "SmallWindows.h"

namespace vemra::test {

// The data module tests' offscreen application, so that one program holds only one.
inline QApplication& SmallWindowsApp() { return App(); }

// Numbered messages from a table for the life of the object.
class FakeMessages {
public:
    explicit FakeMessages(std::map<int, std::string> texts) : texts_(std::move(texts)) {
        SetMessageSourceForTesting([this](int number) {
            auto found = texts_.find(number);
            return found != texts_.end() ? found->second : std::string();
        });
    }
    ~FakeMessages() { SetMessageSourceForTesting(nullptr); }

private:
    std::map<int, std::string> texts_;
};

// Once the open modal window is a W for which ready(W&) holds, runs act(W&) inside its
// modal loop. A window that never gets ready within 10 s fails the test and is closed.
template <class W>
void WhenModal(std::function<bool(W&)> ready, std::function<void(W&)> act) {
    auto* timer = new QTimer(&SmallWindowsApp());
    const auto start = std::chrono::steady_clock::now();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto* window = qobject_cast<W*>(QApplication::activeModalWidget());
        if (window != nullptr && ready(*window)) {
            timer->stop();
            timer->deleteLater();
            act(*window);
        } else if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the modal window did not get ready";
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        }
    });
    timer->start();
}

}  // namespace vemra::test
