#pragma once
// The application object: its title, and the last resort for an error that
// escaped a handler's boundary (RunGuarded). Such an error has already been
// thrown through Qt's frames, which Qt does not survive reliably: it is a
// fault of ours, shown in the error box and reported on the console.

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* Receiver, QEvent* Event) override;
    // How many errors reached notify since the last call; tests fail on any.
    static int TakeEscapedErrors();

    static QString Title();
    static void SetTitle(const QString& Title);

    // Asks the program to end with ExitCode once the current step returns.
    static void Halt(int ExitCode);
    static bool Halted();
    static int HaltCode();
};
