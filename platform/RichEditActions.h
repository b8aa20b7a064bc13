#pragma once
// Style actions: each toggles one character style on an editor's selection.

#include "FontStyle.h"

#include <QObject>

class TRichEdit;

class TRichEditAction : public QObject {
public:
    // Adds the action's style to the selection, or removes it when the
    // selection's reported style holds it; the other styles stay as they are.
    void ExecuteTarget(TRichEdit* Target);
    // Sets Enabled and Checked from the target.
    void UpdateTarget(TRichEdit* Target);
    bool Enabled() const { return FEnabled; }
    bool Checked() const { return FChecked; }
    TFontStyle Style() const { return FStyle; }

protected:
    TRichEditAction(QObject* Owner, TFontStyle Style) : QObject(Owner), FStyle(Style) {}

private:
    TFontStyle FStyle;
    bool FEnabled = true;
    bool FChecked = false;
};

class TRichEditBold : public TRichEditAction {
public:
    explicit TRichEditBold(QObject* Owner) : TRichEditAction(Owner, fsBold) {}
};

class TRichEditItalic : public TRichEditAction {
public:
    explicit TRichEditItalic(QObject* Owner) : TRichEditAction(Owner, fsItalic) {}
};

class TRichEditUnderline : public TRichEditAction {
public:
    explicit TRichEditUnderline(QObject* Owner) : TRichEditAction(Owner, fsUnderline) {}
};
