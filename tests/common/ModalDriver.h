#pragma once
// Drives modal windows from tests without ever hanging.

#include <QApplication>
#include <QTimer>
#include <functional>

// Runs Action as soon as a modal window is open (polled from the event loop).
inline void WhenModal(std::function<void()> Action) {
    QTimer::singleShot(0, [Action] {
        if (QApplication::activeModalWidget())
            Action();
        else
            WhenModal(Action);
    });
}

// Closes every modal window that is still open after Ms milliseconds, so that
// a failing test ends instead of waiting for a user.
struct TModalGuard {
    QTimer Timer;
    explicit TModalGuard(int Ms = 10000) {
        Timer.setSingleShot(true);
        QObject::connect(&Timer, &QTimer::timeout, [] {
            while (QWidget* w = QApplication::activeModalWidget())
                w->close();
        });
        Timer.start(Ms);
    }
};
