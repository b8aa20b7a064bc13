#include "vmr_edit.h"

#include "FormScale.h"
#include "MessageBox.h"
#include "RichEdit.h"
#include "RichEditActions.h"
#include "kel_edit.h"
#include "kel_finddlg.h"
#include "vmr_controls.h"
#include "vmr_utils.h"

#include <QAction>
#include <QBuffer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

TPageForm::TPageForm(QWidget* Owner) : TForm(Owner) {
    const TFormScaler sc(96);
    setObjectName(QStringLiteral("PageForm"));
    setWindowTitle(QStringLiteral("PageForm"));
    const QFont formFont = sc.Font(QStringLiteral("Tahoma"), 11);
    setFont(formFont);
    resize(sc.Size(526, 496));
    auto* anchors = new TAnchorLayout(this);

    eActionManager = new QObject(this);
    eActionManager->setObjectName(QStringLiteral("eActionManager"));
    const auto action = [this](const TActionDesign& Design, void (TPageForm::*Handler)()) {
        return NewAction(this, eActionManager, Design, [this, Handler] { (this->*Handler)(); });
    };
    aBold = action(BoldAction, &TPageForm::aBoldExecute);
    aItalic = action(ItalicAction, &TPageForm::aItalicExecute);
    aUnderline = action(UnderlineAction, &TPageForm::aUnderlineExecute);
    aFind = action(FindAction, &TPageForm::aFindExecute);
    aFindNext = action(FindNextAction, &TPageForm::aFindNextExecute);

    Label1 = new QLabel(QStringLiteral("Title"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    sc.Place(Label1, 8, 11, 20, 13);
    Label1->adjustSize();

    eTitle = new TLookUpEdit(this);
    eTitle->setObjectName(QStringLiteral("eTitle"));
    sc.Place(eTitle, 48, 8, 470, 21);
    anchors->Add(eTitle, akLeft | akTop | akRight);
    QFont hintFont = formFont;
    hintFont.setItalic(true);
    eTitle->SetEmptyFont({hintFont, QColor(128, 128, 128)});
    eTitle->SetTextFont({formFont, palette().color(QPalette::WindowText)});
    eTitle->SetParentFont(true);
    eTitle->SetEmptyString(QStringLiteral("Fill in the title of the page"));
    eTitle->OnChange = [this] { eTitleChange(); };

    auto* styles = new TSpeedButtonGroup(this);
    const auto styleButton = [&](const char* Name, int Left, QAction* Action, TFontStyle Style) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(Name));
        sc.Place(b, Left, 32, 23, 22);
        QFont f = formFont;
        f.setBold(Style == fsBold);
        f.setItalic(Style == fsItalic);
        f.setUnderline(Style == fsUnderline);
        b->setFont(f);
        styles->Add(b, Action);
        return b;
    };
    bBold = styleButton("bBold", 8, aBold, fsBold);
    bItalic = styleButton("bItalic", 32, aItalic, fsItalic);
    bUnderline = styleButton("bUnderline", 56, aUnderline, fsUnderline);

    eText = new TRichEdit(this);
    eText->setObjectName(QStringLiteral("eText"));
    sc.Place(eText, 8, 56, 510, 404);
    anchors->Add(eText, akLeft | akTop | akRight | akBottom);
    eText->setFont(formFont);
    // Tab moves on to the next control, as in every other field.
    eText->setTabChangesFocus(true);
    eText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    eText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    eText->OnChange = [this](QObject*) { eTextChange(); };
    eText->OnSelectionChange = [this](QObject*) {
        aBoldUpdate();
        aItalicUpdate();
        aUnderlineUpdate();
    };

    const auto button = [&](const char* Name, const char* Caption, int Left, int Result) {
        auto* b = new QPushButton(QString::fromLatin1(Caption), this);
        b->setObjectName(QString::fromLatin1(Name));
        sc.Place(b, Left, 470, 75, 25);
        // Neither button is the default: Enter clicks only a focused button.
        b->setAutoDefault(false);
        ConnectGuarded(b, &QPushButton::clicked, this, [this, Result] { SetModalResult(Result); });
        return b;
    };
    bOk = button("bOk", "Ok", 363, 1);
    bCancel = button("bCancel", "Cancel", 443, 2);

    setTabOrder(eTitle, eText);
    setTabOrder(eText, bOk);
    setTabOrder(bOk, bCancel);
    eTitle->setFocus();

    RunCreate([this] { FormCreate(); });
}

void TPageForm::FormCreate() {
    FBold = new TRichEditBold(eText);
    FItalic = new TRichEditItalic(eText);
    FUnderline = new TRichEditUnderline(eText);
}

void TPageForm::showEvent(QShowEvent* Event) {
    RunGuarded([this] { CenterOnScreen(this); });
    TForm::showEvent(Event);
}

void TPageForm::SetPage(TPage* Value) {
    FPage = Value;
    eTitle->SetText(Value->Title());
    if (!Value->Text().isEmpty()) {
        QBuffer stream;
        stream.setData(Value->Text());
        stream.open(QIODevice::ReadOnly);
        eText->Lines.LoadFromStream(stream);
    } else {
        eText->SetText(QString());
    }
    FIsChanged = false;
}

void TPageForm::eTitleChange() {
    FIsChanged = true;
}

void TPageForm::eTextChange() {
    FIsChanged = true;
}

void TPageForm::aBoldExecute() {
    FBold->ExecuteTarget(eText);
}
void TPageForm::aBoldUpdate() {
    FBold->UpdateTarget(eText);
}
void TPageForm::aItalicExecute() {
    FItalic->ExecuteTarget(eText);
}
void TPageForm::aItalicUpdate() {
    FItalic->UpdateTarget(eText);
}
void TPageForm::aUnderlineExecute() {
    FUnderline->ExecuteTarget(eText);
}
void TPageForm::aUnderlineUpdate() {
    FUnderline->UpdateTarget(eText);
}

void TPageForm::aFindExecute() {
    if (!fdlg)
        return;
    FSPos = 0;
    eText->SetSelLength(0);
    fdlg->Setfindtext(QString());
    if (fdlg->ShowModal() == 1)
        aFindNextExecute();
}

void TPageForm::aFindNextExecute() {
    if (!fdlg || fdlg->findtext().isEmpty())
        return;
    // Go on after the selection, such as the last match.
    if (eText->SelLength() > 0)
        FSPos = eText->SelStart() + eText->SelLength();
    const QString find = fdlg->findtext();
    const int length = int(eText->Text().size());
    const int a = eText->FindText(find, FSPos, length - FSPos, fdlg->searchtypes());
    if (a < 0) {
        ShowMessageBox(this, QStringLiteral("Text not found"), QStringLiteral("Warning"),
                       MB_OK | MB_ICONWARNING);
        return;
    }
    eText->SetFocus();
    eText->SetSelStart(a);
    eText->SetSelLength(int(find.size()));
    FSPos = a + 1;
    if (FSPos >= length)
        FSPos = 0;
}

void TPageForm::FormClose(TCloseAction& Action) {
    if (ModalResult() != 1 || !FIsChanged)
        return;
    try {
        QBuffer stream;
        stream.open(QIODevice::WriteOnly);
        eText->Lines.SaveToStream(stream);
        // Both or neither: the title goes in only once the text is safe.
        FPage->SetText(stream.data());
        FPage->SetTitle(eTitle->Text());
    } catch (...) {
        // The form stays open with the user's words in it.
        Action = caNone;
        throw;
    }
}

void TPageForm::keyPressEvent(QKeyEvent* Event) {
    // Without a cancel button, Esc closes nothing: no edit is lost by a slip.
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        Event->accept();
        return;
    }
    RunGuarded([&] {
        if (!ClickFocusedButton(this, Event))
            TForm::keyPressEvent(Event);
    });
}
