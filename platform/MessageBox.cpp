#include "MessageBox.h"

#include "Application.h"

#include <QMessageBox>
#include <vector>

namespace {
TMessageBoxHook& Hook() {
    static TMessageBoxHook hook;
    return hook;
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

void SetMessageBoxHook(TMessageBoxHook h) {
    Hook() = std::move(h);
}

int ShowMessageBox(QWidget* Owner, const QString& Text, const QString& Caption, unsigned Flags) {
    if (Hook())
        return Hook()(TMessageBoxCall{Text, Caption, Flags});

    QMessageBox box(IconOf(Flags), Caption, Text, QMessageBox::NoButton, Owner);
    struct Answer {
        QMessageBox::StandardButton button;
        int id;
    };
    std::vector<Answer> answers;
    switch (Flags & 0x0F) {
    case MB_OKCANCEL:
        answers = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNOCANCEL:
        answers = {
            {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNO:
        answers = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        break;
    default:
        answers = {{QMessageBox::Ok, IDOK}};
        break;
    }
    for (const Answer& a : answers)
        box.addButton(a.button);
    box.setDefaultButton(answers.front().button);
    box.exec();
    // A box closed without a button (Esc, the close box) answers Cancel where it
    // has one, otherwise its only button.
    QAbstractButton* clicked = box.clickedButton();
    for (const Answer& a : answers)
        if (clicked == box.button(a.button))
            return a.id;
    return answers.size() == 1 ? answers.front().id : IDCANCEL;
}

void ShowErrorBox(const QString& Message) {
    ShowMessageBox(nullptr, Message, TApplication::Title(), MB_OK | MB_ICONERROR);
}

void ShowException(const std::exception& E) {
    ShowErrorBox(QString::fromUtf8(E.what()));
}

void ShowCurrentException() {
    QString message;
    try {
        throw;
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        // Everything the system raises derives from std::exception; this is
        // some library's, and carries no message to show.
        message = QStringLiteral("Unknown error");
    }
    try {
        ShowErrorBox(message);
    } catch (...) {
        // The box itself failed (no memory left for it): the message goes to
        // the console rather than on up through Qt.
        qCritical("%s", qUtf8Printable(message));
    }
}
