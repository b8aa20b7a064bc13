#pragma once
// The page editor: one page's title and text in a modal window. Left with Ok
// after a change, it writes the title and the text back into the page; in
// every other case the page keeps its title and its exact stored bytes.

#include "Form.h"

class QAction;
class QLabel;
class QPushButton;
class QToolButton;
class TLookUpEdit;
class TPage;
class TRichEdit;
class TRichEditBold;
class TRichEditItalic;
class TRichEditUnderline;

class TPageForm : public TForm {
    Q_OBJECT
public:
    explicit TPageForm(QWidget* Owner = nullptr);

    QLabel* Label1;
    TLookUpEdit* eTitle;
    QToolButton* bBold;
    QToolButton* bItalic;
    QToolButton* bUnderline;
    TRichEdit* eText;
    QPushButton* bOk;
    QPushButton* bCancel;
    QObject* eActionManager;
    QAction* aBold;
    QAction* aItalic;
    QAction* aUnderline;
    QAction* aFind;
    QAction* aFindNext;

    // The title or the text changed since the page was loaded.
    bool IsChanged() const { return FIsChanged; }
    void SetIsChanged(bool Value) { FIsChanged = Value; }
    TPage* Page() const { return FPage; }
    // Loads the page's title and text; the form is unchanged afterwards.
    void SetPage(TPage* Value);

    void FormCreate();
    void eTitleChange();
    void eTextChange();
    void aBoldExecute();
    void aBoldUpdate();
    void aItalicExecute();
    void aItalicUpdate();
    void aUnderlineExecute();
    void aUnderlineUpdate();
    // Find and find next in the page's text, with the main window's find
    // dialog; without that dialog they do nothing.
    void aFindExecute();
    void aFindNextExecute();

protected:
    void FormClose(TCloseAction& Action) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    TRichEditBold* FBold = nullptr;
    bool FIsChanged = false;
    TRichEditItalic* FItalic = nullptr;
    TPage* FPage = nullptr;
    int FSPos = 0;
    TRichEditUnderline* FUnderline = nullptr;
};
