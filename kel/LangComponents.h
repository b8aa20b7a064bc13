#pragma once
// A label, a push button and a check box that can take their caption from the
// string resources by number, so that a form is translated by supplying
// strings instead of editing the form.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

// A control whose caption can be bound to a string resource. Controls are
// never edited in a form designer here, so there is no designer case.
template <class TBase> class TLangControl : public TBase {
public:
    explicit TLangControl(QWidget* Parent = nullptr) : TBase(Parent) {}
    // The string resource last applied; -1 for none.
    int ResourceID() const { return FresID; }
    // When string Value exists, it becomes the caption and Value the
    // ResourceID; otherwise nothing changes.
    virtual void SetResourceID(int Value);

private:
    int FresID = -1;
};

class TLangLabel : public TLangControl<QLabel> {
    Q_OBJECT
public:
    using TLangControl::TLangControl;
};

class TLangCheckBox : public TLangControl<QCheckBox> {
    Q_OBJECT
public:
    using TLangControl::TLangControl;
};

class TLangButton : public TLangControl<QPushButton> {
    Q_OBJECT
public:
    using TLangControl::TLangControl;

    // While on and the button has the focus, Tab, the arrows, Enter and Esc go
    // to the button instead of moving the focus or pressing the form's default
    // or cancel button.
    bool CatchAllKeys() const { return FCatchKeys; }
    void SetCatchAllKeys(bool Value) { FCatchKeys = Value; }

protected:
    bool event(QEvent* Event) override;

private:
    bool FCatchKeys = false;
};

extern template class TLangControl<QLabel>;
extern template class TLangControl<QCheckBox>;
extern template class TLangControl<QPushButton>;
