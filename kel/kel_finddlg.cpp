#include "kel_finddlg.h"

#include "FormScale.h"
#include "LangComponents.h"
#include "MessageBox.h"
#include "kel_edit.h"
#include "kel_resourcestrings.h"

#include <QLineEdit>

QPointer<Tfdlg> fdlg;

int StringFoundIn(const QString& FindText, TSearchTypes Types, const QString& S, int StartIx) {
    if (FindText.isEmpty() || S.isEmpty() || StartIx < 1)
        return 0;
    const bool matchCase = Types.testFlag(stMatchCase);
    const QString f = matchCase ? FindText : AsciiLower(FindText);
    const QString s = matchCase ? S : AsciiLower(S);
    const qsizetype n = f.size();
    const auto find = [&](qsizetype from) -> qsizetype {
        return from > s.size() ? 0 : s.indexOf(f, from - 1) + 1;
    };
    const auto isWholeWord = [&](qsizetype a) {
        const QChar space(u' ');
        return (a == 1 || s[a - 2] == space) && (a + n - 1 == s.size() || s[a + n - 1] == space);
    };
    qsizetype a = find(StartIx);
    if (Types.testFlag(stWholeWord))
        while (a > 0 && !isWholeWord(a))
            a = find(a + 1);
    return static_cast<int>(a);
}

Tfdlg::Tfdlg(QWidget* Owner) : TForm(Owner) {
    const TFormScaler sc(96);
    setObjectName(QStringLiteral("fdlg"));
    setWindowTitle(QStringLiteral("fdlg"));
    setFont(sc.Font(QStringLiteral("MS Sans Serif"), 11));
    resize(sc.Size(423, 129));

    // A language-bound control with its design caption, then its string.
    const auto bound = [&](auto* Control, const char* Name, QRect Design, const char* Caption,
                           int ResId) {
        Control->setObjectName(QLatin1String(Name));
        sc.Place(Control, Design.x(), Design.y(), Design.width(), Design.height());
        Control->setText(QLatin1String(Caption));
        Control->SetResourceID(ResId);
        return Control;
    };

    LangLabel1 =
        bound(new TLangLabel(this), "LangLabel1", {8, 12, 49, 13}, "Search for", SFindSearchFor);
    LangLabel1->adjustSize();

    searchtext = new QLineEdit(this);
    searchtext->setObjectName(QStringLiteral("searchtext"));
    sc.Place(searchtext, 120, 8, 294, 21);
    ConnectGuarded(searchtext, &QLineEdit::textChanged, this, [this] { searchtextChange(); });

    docase =
        bound(new TLangCheckBox(this), "docase", {120, 39, 295, 17}, "match case", SFindMatchCase);
    ConnectGuarded(docase, &QCheckBox::toggled, this, [this] { docaseClick(); });
    wholeword = bound(new TLangCheckBox(this), "wholeword", {120, 65, 295, 17}, "match whole word",
                      SFindWholeWord);
    ConnectGuarded(wholeword, &QCheckBox::toggled, this, [this] { wholewordClick(); });

    bsearch = bound(new TLangButton(this), "bsearch", {172, 98, 80, 28}, "search", SFindSearch);
    bsearch->setDefault(true);
    ConnectGuarded(bsearch, &QPushButton::clicked, this, [this] { bsearchClick(); });
    bcancel = bound(new TLangButton(this), "bcancel", {253, 98, 80, 28}, "cancel", SFindCancel);
    ConnectGuarded(bcancel, &QPushButton::clicked, this, [this] { SetModalResult(2); });
    bhelp = bound(new TLangButton(this), "bhelp", {335, 98, 80, 28}, "help", SFindHelp);
    ConnectGuarded(bhelp, &QPushButton::clicked, this, [this] { bhelpClick(); });

    setTabOrder(searchtext, docase);
    setTabOrder(docase, wholeword);
    setTabOrder(wholeword, bsearch);
    setTabOrder(bsearch, bcancel);
    setTabOrder(bcancel, bhelp);

    RunCreate([this] { FormCreate(); });
}

void Tfdlg::FormCreate() {
    const TFormScaler sc(96);
    setWindowTitle(LoadResString(SFindCaption));
    const int w = searchtext->x() + searchtext->width() + sc.S(8);
    const int h = bsearch->y() + bsearch->height() + sc.S(8);
    // The check boxes keep their distance to the right edge.
    for (QWidget* c : {static_cast<QWidget*>(docase), static_cast<QWidget*>(wholeword)})
        c->resize(c->width() + w - width(), c->height());
    setFixedSize(w, h);
}

void Tfdlg::Setfindtext(const QString& Value) {
    ffindtext = Value;
    searchtext->setText(Value);
}

void Tfdlg::Setsearchtypes(TSearchTypes Value) {
    docase->setChecked(Value.testFlag(stMatchCase));
    wholeword->setChecked(Value.testFlag(stWholeWord));
    fsearchtypes = Value;
}

int Tfdlg::StringFoundIn(const QString& S, int StartIx) const {
    return ::StringFoundIn(ffindtext, fsearchtypes, S, StartIx);
}

void Tfdlg::bsearchClick() {
    if (!ffindtext.isEmpty()) {
        SetModalResult(1);
        return;
    }
    ShowMessageBox(nullptr, LoadResString(SFindNothingToFind),
                   LoadResString(SFindNothingToFindCaption), MB_OK | MB_ICONINFORMATION);
    // Coming back from the box activates the dialog again.
    FormActivate();
}

void Tfdlg::searchtextChange() {
    ffindtext = searchtext->text();
}

void Tfdlg::docaseClick() {
    fsearchtypes.setFlag(stMatchCase, docase->isChecked());
}

void Tfdlg::wholewordClick() {
    fsearchtypes.setFlag(stWholeWord, wholeword->isChecked());
}

void Tfdlg::FormActivate() {
    docase->setFocus();
    searchtext->setFocus();
}

// This program has no help file, so there is no help to open.
void Tfdlg::bhelpClick() {}

void Tfdlg::showEvent(QShowEvent* Event) {
    RunGuarded([this] { CenterOnScreen(this); });
    TForm::showEvent(Event);
    RunGuarded([this] { FormActivate(); });
}
