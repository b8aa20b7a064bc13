#include "vmr_main.h"

#include "Application.h"
#include "FormScale.h"
#include "LockedFile.h"
#include "MessageBox.h"
#include "RichEdit.h"
#include "RichEditActions.h"
#include "kel_edit.h"
#include "kel_finddlg.h"
#include "kel_osutils.h"
#include "vmr_controls.h"
#include "vmr_damaged.h"
#include "vmr_pagelist.h"
#include "vmr_splash.h"
#include "vmr_utils.h"
#include "vmr_vault.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopeGuard>
#include <QToolButton>
#include <exception>

namespace {
// Whether to overwrite a vault file that another program saved meanwhile.
bool ConfirmOverwrite(QWidget* Owner) {
    return ShowMessageBox(Owner,
                          QStringLiteral("The vault file was changed by another program. "
                                         "Overwrite it?"),
                          QStringLiteral("Confirm"), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

QString& ExePathOverride() {
    static QString path;
    return path;
}
} // namespace

QString ProductVersion() {
    return GetVersionInfoValue(QCoreApplication::applicationFilePath(),
                               QStringLiteral("ProductVersion"));
}

QString RunningExePath() {
    const QString& path = ExePathOverride();
    return path.isEmpty() ? QCoreApplication::applicationFilePath() : path;
}

void SetRunningExePath(const QString& Path) {
    ExePathOverride() = Path;
}

TTPagesMain::TTPagesMain(QWidget* Parent) : QWidget(Parent) {
    const TFormScaler sc(240);
    setObjectName(QStringLiteral("TPagesMain"));
    setWindowTitle(QStringLiteral("Pages"));
    setFont(sc.Font(QStringLiteral("Tahoma"), 33));
    resize(sc.Size(2330, 1250));
    CreateActions();
    CreateControls();
    CenterOnScreen(this);
    RunGuarded([this] { FormCreate(); });
}

TTPagesMain::~TTPagesMain() {
    FormDestroy();
}

void TTPagesMain::CreateActions() {
    eActionManager = new QObject(this);
    eActionManager->setObjectName(QStringLiteral("eActionManager"));
    const auto action = [this](const TActionDesign& Design, void (TTPagesMain::*Handler)()) {
        return NewAction(this, eActionManager, Design, [this, Handler] { (this->*Handler)(); });
    };
    aBold = action(BoldAction, &TTPagesMain::aBoldExecute);
    aItalic = action(ItalicAction, &TTPagesMain::aItalicExecute);
    aUnderline = action(UnderlineAction, &TTPagesMain::aUnderlineExecute);
    aFind = action(FindAction, &TTPagesMain::aFindExecute);
    aFindNext = action(FindNextAction, &TTPagesMain::aFindNextExecute);
    aSave = action({"aSave", "File", "Save", QKeySequence(Qt::CTRL | Qt::Key_S)},
                   &TTPagesMain::aSaveExecute);
    aFont = action({"aFont", "FontStyles", "F", QKeySequence()}, &TTPagesMain::aFontExecute);
}

void TTPagesMain::CreateControls() {
    const TFormScaler sc(240);
    auto* anchors = new TAnchorLayout(this);
    const auto place = [&](QWidget* Control, const char* Name, int Left, int Top, int Width,
                           int Height, TAnchors Anchors) {
        Control->setObjectName(QString::fromLatin1(Name));
        sc.Place(Control, Left, Top, Width, Height);
        anchors->Add(Control, Anchors);
    };
    const auto clicked = [this](QAbstractButton* Button, void (TTPagesMain::*Handler)()) {
        ConnectGuarded(Button, &QAbstractButton::clicked, this,
                       [this, Handler] { (this->*Handler)(); });
    };

    Label1 = new QLabel(QStringLiteral("Pages"), this);
    place(Label1, "Label1", 20, 20, 85, 40, akLeft | akTop);
    Label2 = new QLabel(QStringLiteral("Title"), this);
    place(Label2, "Label2", 1040, 38, 63, 40, akLeft | akTop);
    // Labels size themselves to their caption in the font at hand.
    Label1->adjustSize();
    Label2->adjustSize();

    auto* styles = new TSpeedButtonGroup(this);
    const auto styleButton = [&](QToolButton*& Button, const char* Name, int Left, QAction* Action,
                                 TFontStyle Style) {
        Button = new QToolButton(this);
        place(Button, Name, Left, 90, 58, 55, akLeft | akTop);
        QFont f = sc.Font(QStringLiteral("Tahoma"), 28);
        f.setBold(Style == fsBold);
        f.setItalic(Style == fsItalic);
        f.setUnderline(Style == fsUnderline);
        Button->setFont(f);
        styles->Add(Button, Action);
    };
    styleButton(bBold, "bBold", 1040, aBold, fsBold);
    styleButton(bItalic, "bItalic", 1100, aItalic, fsItalic);
    styleButton(bUnderline, "bUnderline", 1160, aUnderline, fsUnderline);

    bAddPage = new QToolButton(this);
    place(bAddPage, "bAddPage", 913, 20, 57, 55, akLeft | akTop);
    bAddPage->setText(QStringLiteral("+"));
    bAddPage->setFocusPolicy(Qt::NoFocus);
    clicked(bAddPage, &TTPagesMain::bAddPageClick);

    bDelPage = new QToolButton(this);
    place(bDelPage, "bDelPage", 855, 20, 58, 55, akLeft | akTop);
    bDelPage->setText(QStringLiteral("X"));
    bDelPage->setFont(sc.Font(QStringLiteral("Tahoma"), 33));
    QPalette red = bDelPage->palette();
    red.setColor(QPalette::ButtonText, Qt::red);
    bDelPage->setPalette(red);
    bDelPage->setFocusPolicy(Qt::NoFocus);
    clicked(bDelPage, &TTPagesMain::bDelPageClick);

    ePages = new TPageListBox(this);
    place(ePages, "ePages", 20, 75, 950, 1085, akLeft | akTop | akBottom);
    ePages->SetItemHeight(sc.S(40));
    ePages->OnClick = [this] { ePagesClick(); };
    ePages->OnDblClick = [this] { ePagesDblClick(); };
    ePages->OnKeyUp = [this](int& Key, Qt::KeyboardModifiers Shift) { ePagesKeyUp(Key, Shift); };

    bOk = new QPushButton(QStringLiteral("Ok"), this);
    place(bOk, "bOk", 2123, 1175, 187, 63, akRight | akBottom);
    clicked(bOk, &TTPagesMain::bOkClick);

    eTitle = new TLookUpEdit(this);
    place(eTitle, "eTitle", 1140, 30, 1170, 53, akLeft | akTop | akRight);
    QFont hintFont = sc.Font(QStringLiteral("Tahoma"), 33);
    hintFont.setItalic(true);
    eTitle->SetEmptyFont({hintFont, QColor(128, 128, 128)});
    eTitle->SetTextFont(
        {sc.Font(QStringLiteral("Tahoma"), 33), palette().color(QPalette::WindowText)});
    eTitle->SetParentFont(true);
    eTitle->SetEmptyString(QStringLiteral("Fill in the title of the page"));
    FTitleChange = [this] { eTitleChange(); };
    eTitle->OnChange = FTitleChange;

    eText = new TRichEdit(this);
    place(eText, "eText", 1040, 150, 1270, 1010, akLeft | akTop | akRight | akBottom);
    // Sized for reading at the screen's resolution: the design height, taken
    // at 240 pixels per inch, would give unreadable text.
    eText->setFont(TFormScaler(96).Font(QStringLiteral("Calibri"), 13));
    eText->SetHideSelection(false);
    // Tab moves on to the next control, as in every other field.
    eText->setTabChangesFocus(true);
    eText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    eText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    eText->OnChange = [this](QObject*) { eTextChange(); };
    eText->OnClick = [this](QObject*) { eTextClick(); };
    eText->OnEnter = [this](QObject*) { eTextEnter(); };
    eText->OnExit = [this](QObject*) { eTextExit(); };
    eText->OnSelectionChange = [this](QObject*) { eTextSelectionChange(); };

    bSave = new QPushButton(this);
    place(bSave, "bSave", 1920, 1175, 188, 63, akRight | akBottom);
    BindButton(bSave, aSave);

    eFontName = new QComboBox(this);
    place(eFontName, "eFontName", 1220, 90, 363, 48, akLeft | akTop);
    eFontName->setEditable(true);
    OnCloseUp(eFontName, [this] { eFontNameCloseUp(); });

    eFontSize = new QLineEdit(QStringLiteral("11"), this);
    place(eFontSize, "eFontSize", 1590, 90, 93, 48, akLeft | akTop);
    eFontSize->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), eFontSize));
    ConnectGuarded(eFontSize, &QLineEdit::textChanged, this, [this] { eFontSizeChange(); });

    bChgPW = new QPushButton(QStringLiteral("Change password"), this);
    place(bChgPW, "bChgPW", 20, 1175, 357, 63, akLeft | akBottom);
    clicked(bChgPW, &TTPagesMain::bChgPWClick);

    eFontDlg = new QFontDialog(this);
    eFontDlg->setObjectName(QStringLiteral("eFontDlg"));
    eFontDlg->setCurrentFont(sc.Font(QStringLiteral("Tahoma"), 11));

    for (QPushButton* b : {bOk, bSave, bChgPW})
        b->setAutoDefault(false);
    setTabOrder(ePages, bOk);
    setTabOrder(bOk, eTitle);
    setTabOrder(eTitle, eText);
    setTabOrder(eText, bSave);
    setTabOrder(bSave, eFontName);
    setTabOrder(eFontName, eFontSize);
    setTabOrder(eFontSize, bChgPW);
    ePages->setFocus();
}

void TTPagesMain::FormCreate() {
    if (!Splash()) {
        TApplication::Halt(1);
        return;
    }
    setWindowTitle(QStringLiteral("VMR v ") + ProductVersion());
    InitFontList();
    FBold = new TRichEditBold(eText);
    FItalic = new TRichEditItalic(eText);
    FUnderline = new TRichEditUnderline(eText);
    Pages = KelNewCreated<TPageList>();
    LoadPages();
    fdlg = new Tfdlg(this);
    SetCurPageIx(0);
}

void TTPagesMain::FormDestroy() {
    // Nothing may reach the pages while the controls go.
    eTitle->OnChange = nullptr;
    eText->OnChange = nullptr;
    eText->OnEnter = nullptr;
    eText->OnExit = nullptr;
    eText->OnClick = nullptr;
    eText->OnSelectionChange = nullptr;
    ePages->OnClick = nullptr;
    ePages->OnKeyUp = nullptr;
    ePages->OnDblClick = nullptr;
    FShownPage = nullptr;
    FEditorPage = nullptr;
    TKelList::FreeAll(Pages);
    Pages = nullptr;
}

bool TTPagesMain::Splash() {
    TVMRSplash splash(this);
    return splash.ShowModal() == 1;
}

QString TTPagesMain::VaultName() const {
    return VaultFileName(RunningExePath());
}

TPage* TTPagesMain::CurPage() const {
    if (!Pages || FCurPageIx < 0 || FCurPageIx >= Pages->Count())
        return nullptr;
    return Pages->GetPages(FCurPageIx);
}

void TTPagesMain::SaveEditorChanges() {
    if (FPageChgd && FShownPage && Pages && Pages->IndexOf(FShownPage) >= 0)
        SavePageFromRe(eText, FShownPage);
}

void TTPagesMain::SetCurPageIx(int Value) {
    // However this ends, the title field gets its handler back and the vault
    // counts as changed exactly as before: showing a page changes nothing.
    struct TRestore {
        TTPagesMain* W;
        bool WasChanged;
        std::function<void()> Handler;
        ~TRestore() {
            W->eTitle->OnChange = Handler;
            W->SetIsChanged(WasChanged);
        }
    } restore{this, FIsChanged, eTitle->OnChange};

    SaveEditorChanges();
    eTitle->OnChange = nullptr;
    if (!Pages || Value < 0 || Value >= Pages->Count())
        Value = -1;
    FCurPageIx = Value;
    ePages->SetItemIndex(Value);
    TPage* page = CurPage();
    FShownPage = page;
    if (page) {
        LoadTitle(page->Title());
        LoadPageInRE(eText, page);
        EnablePage(true);
    } else {
        LoadTitle(QString());
        FEditorPage = nullptr;
        eText->SetText(QString());
        FPageChgd = false;
        EnablePage(false);
    }
}

void TTPagesMain::LoadTitle(const QString& Title) {
    if (eTitle->Text() == Title)
        return;
    // Completing here would give the page another title just for being shown.
    const QStringList matches = eTitle->MatchList();
    eTitle->SetMatchList({});
    eTitle->SetText(Title);
    eTitle->SetMatchList(matches);
}

void TTPagesMain::SetIsChanged(bool Value) {
    FIsChanged = Value;
    aSave->setEnabled(Value);
}

void TTPagesMain::LoadPageInRE(TRichEdit* re, TPage* p) {
    const QByteArray bytes = p ? p->Text() : QByteArray();
    if (re == eText) {
        // The editor shows these very bytes already: a reload would only
        // cost time on long pages, at every keystroke in the title.
        if (p && p == FEditorPage && !FPageChgd && bytes == FEditorBytes)
            return;
        FEditorPage = nullptr;
    }
    try {
        if (!bytes.isEmpty()) {
            QBuffer stream;
            stream.setData(bytes);
            stream.open(QIODevice::ReadOnly);
            re->Lines.LoadFromStream(stream);
        } else {
            re->SetText(QString());
        }
    } catch (...) {
        // What the editor still holds belongs to another page.
        re->SetText(QString());
        if (re == eText)
            FPageChgd = false;
        throw;
    }
    if (re == eText) {
        FPageChgd = false;
        FEditorPage = p;
        FEditorBytes = bytes;
    }
}

void TTPagesMain::SavePageFromRe(TRichEdit*, TPage* p) {
    const QString title = eTitle->Text();
    if (p->Title() != title)
        p->SetTitle(title);
    if (CurPage() == p)
        ePages->SetItemText(FCurPageIx, p->Title());
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    eText->Lines.SaveToStream(stream);
    p->SetText(stream.data());
    FPageChgd = false;
    FEditorPage = p;
    FEditorBytes = p->Text();
}

void TTPagesMain::EnablePage(bool b) {
    eText->setEnabled(b);
    eTitle->setEnabled(b);
    aBold->setEnabled(b);
    aItalic->setEnabled(b);
    aUnderline->setEnabled(b);
}

int TTPagesMain::FilePage(TPage* p) {
    const bool inOrder = Pages->InTitleOrder();
    const int i = Pages->AddPage(p);
    ePages->InsertPage(i, p);
    // A list that had to be sorted may have swapped pages of equal titles;
    // the box follows. Otherwise the page went in without moving any other,
    // as in the box, and comparing the whole box for every page read would
    // make opening a large vault slow.
    if (!inOrder)
        ePages->MirrorPages(*Pages);
    return i;
}

void TTPagesMain::WidenList(const QString& Title) {
    const int w = ePages->TextWidth(Title);
    if (ePages->HorizontalExtent() < w)
        ePages->SetHorizontalExtent(w);
}

void TTPagesMain::AddPage(TPage* p) {
    const int i = FilePage(p);
    SetCurPageIx(i);
    WidenList(p->Title());
}

TPage* TTPagesMain::LoadPage(int Ix) const {
    return ePages->PageAt(Ix);
}

void TTPagesMain::ForgetPage(const TPage* p) {
    if (p == FShownPage) {
        FShownPage = nullptr;
        FPageChgd = false;
    }
    if (p == FEditorPage)
        FEditorPage = nullptr;
}

void TTPagesMain::LoadPages() {
    const QString name = VaultName();
    FShownPage = nullptr;
    FEditorPage = nullptr;
    FPageChgd = false;
    ePages->Clear();
    Pages->ClearAll();
    FVaultRead = TVaultRead::Whole;
    FVaultIdentity = {};
    // A dangling link or a name that cannot be looked up is no missing vault:
    // opening it tells why it cannot be read.
    if (NameExists(name)) {
        // Pages are filed as they come and only the last one is shown, as
        // if each had been made current in turn.
        TPage* last = nullptr;
        const auto showLast = [&] { SetCurPageIx(last ? Pages->IndexOf(last) : -1); };
        try {
            // Another copy's save may hold the vault for a moment.
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
            ReadVaultFile(
                name,
                [&](TPage* p) {
                    FilePage(p);
                    WidenList(p->Title());
                    last = p;
                },
                &FVaultIdentity);
        } catch (const EVaultDamaged&) {
            FVaultRead = TVaultRead::Damaged;
            showLast();
            throw;
        } catch (const std::exception& e) {
            FVaultRead = TVaultRead::Failed;
            showLast();
            throw Exception(
                std::string(e.what()) + " " +
                (last ? "Only the pages read before the failure are shown."
                      : "No page could be read.") +
                " Nothing will be saved over the vault; start Vellomar again to open it.");
        } catch (...) {
            FVaultRead = TVaultRead::Failed;
            showLast();
            throw;
        }
        showLast();
        SetIsChanged(false);
    }
    if (Pages->Count() == 0) {
        TPage* p = KelNewCreated<TPage>();
        p->SetTitle(QStringLiteral("<empty page>"));
        p->SetText(QByteArrayLiteral("<text>"));
        AddPage(p);
        SetIsChanged(true);
    }
}

bool TTPagesMain::SavePages() {
    SaveEditorChanges();
    const QString name = VaultName();
    if (FVaultRead == TVaultRead::Failed)
        throw Exception(QStringLiteral("The vault file \"%1\" could not be opened when Vellomar "
                                       "started, so nothing was saved: saving now could overwrite "
                                       "pages that were never read. Your changes are kept in the "
                                       "window. Start Vellomar again to open the vault.")
                            .arg(name)
                            .toStdString());
    QString movedTo;
    if (FVaultRead == TVaultRead::Damaged) {
        movedTo = MoveVaultAside(name);
        FVaultRead = TVaultRead::Whole;
        // Its name is free now, and is expected to stay so until written.
        FVaultIdentity = {};
    }
    TFileIdentity expected = FVaultIdentity;
    TFileIdentity written;
    std::exception_ptr failure;
    for (;;) {
        try {
            // Another copy's save may hold the vault for a moment.
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
            WriteVaultFile(name, *Pages, ePages->count(), TFlush::ToDisk, {&expected, &written});
        } catch (const EFileChanged& changed) {
            if (!ConfirmOverwrite(this))
                break;
            expected = changed.Now();
            continue;
        } catch (...) {
            failure = std::current_exception();
        }
        break;
    }
    // A new file in place is ours even when a later step of the save failed.
    if (written.Exists)
        FVaultIdentity = written;
    if (!movedTo.isEmpty())
        ShowMessageBox(this,
                       QStringLiteral("The vault file \"%1\" is damaged, so it was not "
                                      "overwritten. It has been renamed to \"%2\".")
                           .arg(name, movedTo),
                       TApplication::Title(), MB_OK | MB_ICONWARNING);
    if (failure)
        std::rethrow_exception(failure);
    if (!written.Exists)
        return false;
    SetIsChanged(false);
    return true;
}

void TTPagesMain::SaveSel() {
    FSelStart = eText->SelStart();
    FSelLength = eText->SelLength();
}

void TTPagesMain::RestoreSel() {
    eText->SetSelStart(FSelStart);
    eText->SetSelLength(FSelLength);
}

void TTPagesMain::ePagesClick() {
    SetCurPageIx(ePages->ItemIndex());
}

void TTPagesMain::eTextChange() {
    SetIsChanged(true);
    FPageChgd = true;
}

void TTPagesMain::eTextClick() {
    FSPos.setX(int(eTitle->Text().size()) + 1);
}

void TTPagesMain::eTextEnter() {
    RestoreSel();
}

void TTPagesMain::eTextExit() {
    SaveSel();
}

void TTPagesMain::aSaveExecute() {
    SavePages();
}

void TTPagesMain::closeEvent(QCloseEvent* Event) {
    TCloseAction action = caHide;
    // A failed save keeps the window, and with it every change, open.
    if (!RunGuarded([&] { FormClose(action); }))
        action = caNone;
    if (action == caNone)
        Event->ignore();
    else
        Event->accept();
}

void TTPagesMain::keyPressEvent(QKeyEvent* Event) {
    RunGuarded([&] {
        if (!ClickFocusedButton(this, Event))
            QWidget::keyPressEvent(Event);
    });
}
