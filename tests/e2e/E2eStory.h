#pragma once
// Steps shared by the stories: each fails the running test with what went
// wrong, including the program's own error output.

#include "E2eDriver.h"

#include <QDeadlineTimer>
#include <QtTest>

#define E2E_VERIFY(home, cond)                                                                     \
    QVERIFY2((cond), qPrintable(QStringLiteral("%1\nprogram stderr:\n%2")                          \
                                    .arg(QString::fromLatin1(#cond), (home).Errors())))

inline const QString DefaultPw = QStringLiteral("vellomar");

// A test class whose stories share one X server.
class TE2eTest : public QObject {
    Q_OBJECT
protected:
    TXServer FServer;

private slots:
    void initTestCase() {
        const QString error = FServer.Start();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
};

// Window names the program gives its windows.
inline const QString SplashWindow = QStringLiteral("^VMRSplash$");
inline const QString MainWindow = QStringLiteral("^VMR v ");
inline const QString ConfirmWindow = QStringLiteral("^Confirm$");
inline const QString PasswordWindow = QStringLiteral("^Change Password$");
inline const QString PageFormWindow = QStringLiteral("^PageForm$");

// Main window design points (240 pixels per inch): the middle of a control.
inline constexpr QPoint OkButton{2216, 1206};
inline constexpr QPoint SaveButton{2014, 1206};
inline constexpr QPoint ChangePasswordButton{198, 1206};
inline constexpr QPoint EditorArea{1675, 655};
inline constexpr QPoint DeleteButton{884, 47};
inline constexpr QPoint BoldButton{1069, 117};

// Starts the program and unlocks it with Password; the main window's id.
inline qulonglong StartUnlocked(TProgramHome& Home, const QString& Password) {
    if (!Home.Start())
        return 0;
    const qulonglong splash = Home.WaitWindow(SplashWindow);
    if (!splash || !Home.Type(splash, Password))
        return 0;
    return Home.WaitWindow(MainWindow);
}

// Asks Window to close until the program answers: it ends, or a confirm box
// shows (its id is returned). Now and then a close request from another
// client does not reach the program, so one without effect is sent again.
inline qulonglong CloseWindow(TProgramHome& Home, qulonglong Window) {
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (!Home.RequestClose(Window))
            return 0;
        const qulonglong confirm = Home.WaitWindow(ConfirmWindow, 4000);
        if (confirm || !Home.IsRunning())
            return confirm;
    }
    return 0;
}

inline bool ClickMain(TProgramHome& Home, qulonglong Main, QPoint Design, bool Double = false) {
    const QPoint p = MainPoint(Home.Geometry(Main), Design.x(), Design.y());
    return Home.Click(Main, p.x(), p.y(), Double);
}
