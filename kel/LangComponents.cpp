#include "LangComponents.h"

#include "kel_resourcestrings.h"

#include <QKeyEvent>

template <class TBase> void TLangControl<TBase>::SetResourceID(int Value) {
    const QString s = LoadResString(Value);
    if (s.isEmpty())
        return;
    this->setText(s);
    FresID = Value;
}

template class TLangControl<QLabel>;
template class TLangControl<QCheckBox>;
template class TLangControl<QPushButton>;

namespace {
bool IsNavigationKey(int Key) {
    switch (Key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true;
    default:
        return false;
    }
}
} // namespace

bool TLangButton::event(QEvent* Event) {
    const QEvent::Type t = Event->type();
    if (FCatchKeys && (t == QEvent::KeyPress || t == QEvent::ShortcutOverride) &&
        IsNavigationKey(static_cast<QKeyEvent*>(Event)->key())) {
        // Claimed, so that no shortcut, focus move or dialog button acts on
        // it; event filters on the button still see it.
        Event->accept();
        return true;
    }
    return QPushButton::event(Event);
}
