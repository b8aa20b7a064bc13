#include "vmr_controls.h"

#include "MessageBox.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <algorithm>

TAnchorLayout::TAnchorLayout(QWidget* Window)
    : QObject(Window), FWindow(Window), FDesignSize(Window->size()) {
    Window->installEventFilter(this);
}

void TAnchorLayout::Add(QWidget* Control, TAnchors Anchors) {
    // Held at the top left, a control keeps its place and its own size.
    if (Anchors == (akLeft | akTop))
        return;
    // Places are kept relative to the size the window had when the first
    // control was added, so that all controls share one reference.
    if (FItems.empty())
        FDesignSize = FWindow->size();
    QRect place = Control->geometry();
    const QSize delta = FWindow->size() - FDesignSize;
    place.translate(-((Anchors & akRight) ? delta.width() : 0),
                    -((Anchors & akBottom) ? delta.height() : 0));
    FItems.push_back({Control, Anchors, place});
    Apply();
}

bool TAnchorLayout::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FWindow && Event->type() == QEvent::Resize)
        RunGuarded([this] { Apply(); });
    return QObject::eventFilter(Watched, Event);
}

namespace {
// One axis: the start and length of a control for a window grown by Delta.
void Fit(int& Start, int& Length, int Delta, bool Near, bool Far) {
    if (Near && Far)
        Length = std::max(0, Length + Delta);
    else if (Far)
        Start += Delta;
    else if (!Near)
        Start += Delta / 2;
}
} // namespace

void TAnchorLayout::Apply() {
    const QSize delta = FWindow->size() - FDesignSize;
    for (const TItem& it : FItems) {
        int x = it.Place.x(), w = it.Place.width();
        int y = it.Place.y(), h = it.Place.height();
        Fit(x, w, delta.width(), it.Anchors & akLeft, it.Anchors & akRight);
        Fit(y, h, delta.height(), it.Anchors & akTop, it.Anchors & akBottom);
        it.Control->setGeometry(x, y, w, h);
    }
}

void TSpeedButtonGroup::Add(QToolButton* Button, QAction* Action) {
    FButtons.push_back(Button);
    Button->setCheckable(true);
    Button->setFocusPolicy(Qt::NoFocus);
    Button->setText(Action->text());
    Button->setEnabled(Action->isEnabled());
    ConnectGuarded(Action, &QAction::changed, Button, [Button, Action] {
        Button->setText(Action->text());
        Button->setEnabled(Action->isEnabled());
    });
    ConnectGuarded(Button, &QToolButton::clicked, this, [this, Button, Action] {
        if (Button->isChecked())
            for (QToolButton* other : FButtons)
                if (other != Button)
                    other->setChecked(false);
        Action->trigger();
    });
}

const TActionDesign BoldAction{"aBold", "FontStyles", "B", QKeySequence(Qt::CTRL | Qt::Key_B),
                               "Toggles the Bold style"};
const TActionDesign ItalicAction{"aItalic", "FontStyles", "I", QKeySequence(Qt::CTRL | Qt::Key_I),
                                 "Toggles Italic"};
const TActionDesign UnderlineAction{"aUnderline", "FontStyles", "U",
                                    QKeySequence(Qt::CTRL | Qt::Key_U), "Toggles underline"};
const TActionDesign FindAction{"aFind", "Search", "Find", QKeySequence(Qt::CTRL | Qt::Key_F)};
const TActionDesign FindNextAction{"aFindNext", "Search", "FindNext",
                                   QKeySequence(Qt::CTRL | Qt::Key_L)};

QAction* NewAction(QWidget* Window, QObject* List, const TActionDesign& Design,
                   std::function<void()> Handler) {
    auto* a = new QAction(QString::fromLatin1(Design.Caption), List);
    a->setObjectName(QString::fromLatin1(Design.Name));
    a->setProperty("Category", QString::fromLatin1(Design.Category));
    a->setStatusTip(QString::fromLatin1(Design.Hint));
    a->setShortcut(Design.Shortcut);
    a->setShortcutContext(Qt::WindowShortcut);
    Window->addAction(a);
    ConnectGuarded(a, &QAction::triggered, Window, std::move(Handler));
    return a;
}

void BindButton(QPushButton* Button, QAction* Action) {
    Button->setText(Action->text());
    Button->setEnabled(Action->isEnabled());
    ConnectGuarded(Action, &QAction::changed, Button, [Button, Action] {
        Button->setText(Action->text());
        Button->setEnabled(Action->isEnabled());
    });
    ConnectGuarded(Button, &QPushButton::clicked, Action, [Action] { Action->trigger(); });
}

bool ClickFocusedButton(QWidget* Window, QKeyEvent* Event) {
    if (Event->key() != Qt::Key_Return && Event->key() != Qt::Key_Enter)
        return false;
    auto* button = qobject_cast<QPushButton*>(Window->focusWidget());
    if (!button || !button->isEnabled() || !button->isVisible())
        return false;
    button->click();
    return true;
}

namespace {
class TCloseUpFilter : public QObject {
public:
    TCloseUpFilter(QObject* Owner, std::function<void()> Handler)
        : QObject(Owner), FHandler(std::move(Handler)) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Hide)
            RunGuarded(FHandler);
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> FHandler;
};
} // namespace

void OnCloseUp(QComboBox* Box, std::function<void()> Handler) {
    // The list lives in a popup of its own; its hiding is the close-up.
    Box->view()->window()->installEventFilter(new TCloseUpFilter(Box, Handler));
    ConnectGuarded(Box, QOverload<int>::of(&QComboBox::activated), Box, std::move(Handler));
}
