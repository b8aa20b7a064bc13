#pragma once
// The application object: its title, and the one place where an exception that
// escapes an event handler is caught and shown in the error box.

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* Receiver, QEvent* Event) override;

    static QString Title();
    static void SetTitle(const QString& Title);

    // Asks the program to end with ExitCode once the current step returns.
    static void Halt(int ExitCode);
    static bool Halted();
    static int HaltCode();
};
