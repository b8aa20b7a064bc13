#include "Application.h"

#include "MessageBox.h"

namespace {
QString& TitleRef() {
    static QString title;
    return title;
}
int haltCode = -1;
} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& e) {
        ShowException(e);
    }
    return false;
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
