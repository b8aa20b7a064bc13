#pragma once
// Drives modal windows from a test: an action runs once the next modal loop is
// up, and a guard closes whatever modal window is still open after a while, so
// that a test can never hang.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

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
