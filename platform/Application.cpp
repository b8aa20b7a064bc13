#include "Application.h"

#include "MessageBox.h"

#include <utility>

namespace {
QString& TitleRef() {
    static QString title;
    return title;
}
int haltCode = -1;
int escapedErrors = 0;
} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    // Taken first: the handler may have freed both by the time it threw.
    const int type = Event->type();
    const char* receiver = Receiver->metaObject()->className();
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        ++escapedErrors;
        qCritical("An error escaped its handler through Qt's event delivery (event type %d to %s)",
                  type, receiver);
        ShowCurrentException();
    }
    return false;
}

int TApplication::TakeEscapedErrors() {
    return std::exchange(escapedErrors, 0);
}

QString TApplication::Title() {
    return TitleRef();
}
void TApplication::SetTitle(const QString& Title) {
    TitleRef() = Title;
}

void TApplication::Halt(int ExitCode) {
    haltCode = ExitCode;
}
bool TApplication::Halted() {
    return haltCode >= 0;
}
int TApplication::HaltCode() {
    return haltCode;
}
