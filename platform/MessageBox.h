#pragma once
// Modal message boxes with the flag and answer numbers the forms use, the
// error box that shows what escapes an event handler, and a seam that lets
// window tests answer a box without running its modal loop.

#include <QString>
#include <exception>
#include <functional>

class QWidget;

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows a modal box and returns the answer (IDOK, IDCANCEL, IDYES, IDNO).
int ShowMessageBox(QWidget* Owner, const QString& Text, const QString& Caption, unsigned Flags);

// The default error box: the message with the error icon, captioned with the
// application's title. The program goes on afterwards.
void ShowErrorBox(const QString& Message);
void ShowException(const std::exception& E);

// Runs a handler; whatever it throws is shown in the error box.
template <typename F> void RunGuarded(F&& Handler) {
    try {
        Handler();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

// Test seam. While a hook is set, no box is shown: the hook sees what would
// have been shown and gives the answer.
struct TMessageBoxCall {
    QString Text;
    QString Caption;
    unsigned Flags;
};
using TMessageBoxHook = std::function<int(const TMessageBoxCall&)>;
void SetMessageBoxHook(TMessageBoxHook Hook); // an empty hook restores real boxes
