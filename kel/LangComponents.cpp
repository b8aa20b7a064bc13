#include "LangComponents.h"

#include "kel_resourcestrings.h"

#include <QKeyEvent>

void ApplyResourceCaption(int Value, int& ResId,
                          const std::function<void(const QString&)>& Caption) {
    const QString s = LoadResString(Value);
    if (s.isEmpty())
        return;
    Caption(s);
    ResId = Value;
}

TLangLabel::TLangLabel(QWidget* Parent) : QLabel(Parent) {}

void TLangLabel::SetResourceID(int Value) {
    ApplyResourceCaption(Value, FresID, [this](const QString& s) { setText(s); });
}

TLangButton::TLangButton(QWidget* Parent) : QPushButton(Parent) {}

void TLangButton::SetResourceID(int Value) {
    ApplyResourceCaption(Value, FresID, [this](const QString& s) { setText(s); });
}

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

TLangCheckBox::TLangCheckBox(QWidget* Parent) : QCheckBox(Parent) {}

void TLangCheckBox::SetResourceID(int Value) {
    ApplyResourceCaption(Value, FresID, [this](const QString& s) { setText(s); });
}
