#pragma once
// Small pieces the application's windows share: controls that keep their
// distance to chosen edges of their window, speed buttons in a group that
// allows all buttons up, and push buttons driven by an action.

#include <QKeySequence>
#include <QObject>
#include <QRect>
#include <QSize>
#include <functional>
#include <vector>

class QAction;
class QComboBox;
class QKeyEvent;
class QPushButton;
class QToolButton;
class QWidget;

enum TAnchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = int;

// Keeps controls at their distance to the edges they are anchored to while
// their window is resized. A control anchored to both opposite edges
// stretches; one anchored to the right or bottom edge only moves with it.
class TAnchorLayout : public QObject {
public:
    explicit TAnchorLayout(QWidget* Window);
    // Takes the control's current place, relative to the window's current size.
    void Add(QWidget* Control, TAnchors Anchors);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    struct TItem {
        QWidget* Control;
        TAnchors Anchors;
        QRect Place;
    };
    void Apply();

    QWidget* FWindow;
    QSize FDesignSize;
    std::vector<TItem> FItems;
};

// Speed buttons of one group in which at most one is down and a click on the
// pressed one releases it. A click runs the button's action; the action's
// enabled state is the button's.
class TSpeedButtonGroup : public QObject {
public:
    explicit TSpeedButtonGroup(QObject* Owner) : QObject(Owner) {}
    void Add(QToolButton* Button, QAction* Action);

private:
    std::vector<QToolButton*> FButtons;
};

// The design values of an action.
struct TActionDesign {
    const char* Name;
    const char* Category;
    const char* Caption;
    QKeySequence Shortcut;
    const char* Hint = "";
};

// The actions that every window editing a page has.
extern const TActionDesign BoldAction;
extern const TActionDesign ItalicAction;
extern const TActionDesign UnderlineAction;
extern const TActionDesign FindAction;
extern const TActionDesign FindNextAction;

// An action of Window's action list List. Its shortcut works while the action
// is enabled and the window active; what escapes Handler goes to the error box.
QAction* NewAction(QWidget* Window, QObject* List, const TActionDesign& Design,
                   std::function<void()> Handler);

// A push button that shows an action's caption and enabled state and runs it.
void BindButton(QPushButton* Button, QAction* Action);

// Enter on a focused push button clicks it, as Space does. True when Event was
// such a key and the button was clicked.
bool ClickFocusedButton(QWidget* Window, QKeyEvent* Event);

// Runs Handler each time Box's drop-down list closes, whether or not an item
// was chosen, and when an item is chosen by other means (typing and Enter).
// What Handler raises goes to the error box.
void OnCloseUp(QComboBox* Box, std::function<void()> Handler);
