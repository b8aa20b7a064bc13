#pragma once
// A label, a push button and a check box that can take their caption from the
// string resources by number, so that a form is translated by supplying
// strings instead of editing the form.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <functional>

// Applies string resource Value as a caption: when the string exists, Caption
// gets it and ResId becomes Value; otherwise nothing changes. Controls are
// never edited in a form designer here, so there is no designer case.
void ApplyResourceCaption(int Value, int& ResId,
                          const std::function<void(const QString&)>& Caption);

class TLangLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLangLabel(QWidget* Parent = nullptr);
    // The string resource last applied; -1 for none.
    int ResourceID() const { return FresID; }
    virtual void SetResourceID(int Value);

private:
    int FresID = -1;
};

class TLangButton : public QPushButton {
    Q_OBJECT
public:
    explicit TLangButton(QWidget* Parent = nullptr);
    int ResourceID() const { return FresID; }
    virtual void SetResourceID(int Value);

    // While on and the button has the focus, Tab, the arrows, Enter and Esc go
    // to the button instead of moving the focus or pressing the form's default
    // or cancel button.
    bool CatchAllKeys() const { return FCatchKeys; }
    void SetCatchAllKeys(bool Value) { FCatchKeys = Value; }

protected:
    bool event(QEvent* Event) override;

private:
    int FresID = -1;
    bool FCatchKeys = false;
};

class TLangCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TLangCheckBox(QWidget* Parent = nullptr);
    int ResourceID() const { return FresID; }
    virtual void SetResourceID(int Value);

private:
    int FresID = -1;
};
