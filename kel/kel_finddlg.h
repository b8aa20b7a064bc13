#pragma once
// The find dialog: collects the text to find and the search options, and
// matches plain strings under them. One dialog serves every search of the
// process and keeps the options between searches.

#include "Form.h"
#include "SearchTypes.h"

#include <QPointer>

class QLineEdit;
class TLangButton;
class TLangCheckBox;
class TLangLabel;

class Tfdlg : public TForm {
    Q_OBJECT
public:
    explicit Tfdlg(QWidget* Owner = nullptr);

    TLangLabel* LangLabel1;
    QLineEdit* searchtext;
    TLangCheckBox* docase;
    TLangCheckBox* wholeword;
    TLangButton* bsearch;
    TLangButton* bcancel;
    TLangButton* bhelp;

    // The text to find; "" means none. Setting it also fills the edit.
    QString findtext() const { return ffindtext; }
    void Setfindtext(const QString& Value);
    TSearchTypes searchtypes() const { return fsearchtypes; }
    void Setsearchtypes(TSearchTypes Value);

    // The 1-based position of the first hit of findtext in S at or after
    // StartIx under the current options; 0 when there is none.
    int StringFoundIn(const QString& S, int StartIx) const;

    void bsearchClick();
    void searchtextChange();
    void docaseClick();
    void wholewordClick();
    void FormCreate();
    void FormActivate();
    void bhelpClick();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    QString ffindtext;
    TSearchTypes fsearchtypes;
};

// The one find dialog of the process; empties itself when its owner frees it.
extern QPointer<Tfdlg> fdlg;

// FindText in S from the 1-based StartIx on. Without stMatchCase only A-Z and
// a-z are taken as equal; with stWholeWord a hit must have a space or the end
// of S on both sides.
int StringFoundIn(const QString& FindText, TSearchTypes Types, const QString& S, int StartIx);
