#include "Edit.h"

#include "MessageBox.h"

#include <QFocusEvent>

bool IsControlFocusChange(Qt::FocusReason Reason) {
    return Reason != Qt::ActiveWindowFocusReason && Reason != Qt::PopupFocusReason;
}

TEdit::TEdit(QWidget* Parent) : QLineEdit(Parent) {}

void TEdit::focusInEvent(QFocusEvent* Event) {
    QLineEdit::focusInEvent(Event);
    if (OnEnter && IsControlFocusChange(Event->reason()))
        RunGuarded(OnEnter);
}

void TEdit::focusOutEvent(QFocusEvent* Event) {
    QLineEdit::focusOutEvent(Event);
    if (OnExit && IsControlFocusChange(Event->reason()))
        RunGuarded(OnExit);
}
