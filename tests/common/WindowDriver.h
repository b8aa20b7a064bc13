#pragma once
// Drives windows from a test: shows a window ready for keys, runs an action
// once the next modal loop is up, and guards against modal windows left open,
// so that a test can never hang.

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Shows a window and waits until it is active, so that focus and keys work.
inline void ShowActive(QWidget* Window) {
    Window->show();
    Window->activateWindow();
    if (!QTest::qWaitForWindowActive(Window))
        qWarning("window did not become active");
}

// Runs Action on the active modal window once there is one; gives up after
// about ten seconds.
inline void WhenModal(std::function<void(QWidget* Modal)> Action, int Tries = 1000) {
    QTimer::singleShot(10, [Action, Tries] {
        if (QWidget* w = QApplication::activeModalWidget())
            Action(w);
        else if (Tries > 0)
            WhenModal(Action, Tries - 1);
    });
}

struct TModalGuard {
    QTimer Timer;
    bool Fired = false;
    explicit TModalGuard(int Ms = 10000) {
        Timer.setSingleShot(true);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            Fired = true;
            for (int i = 0; i < 10 && QApplication::activeModalWidget(); ++i)
                QApplication::activeModalWidget()->close();
        });
        Timer.start(Ms);
    }
};
