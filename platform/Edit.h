#pragma once
// A single-line edit with enter and exit events that fire when the focus moves
// between controls, not when the whole window is activated or deactivated
// (a message box opening over it, for instance).

#include <QLineEdit>
#include <functional>

class TEdit : public QLineEdit {
public:
    explicit TEdit(QWidget* Parent = nullptr);

    std::function<void()> OnEnter;
    std::function<void()> OnExit;

protected:
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
};

// Whether a focus change moves the focus between controls of one window.
bool IsControlFocusChange(Qt::FocusReason Reason);
