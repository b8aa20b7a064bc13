// The main window's page commands, closing, and the password change.

#include "AnsiCodePage.h"
#include "MessageBox.h"
#include "SecureText.h"
#include "SettingsStore.h"
#include "cCipherUtils.h"
#include "kel_changepw.h"
#include "kel_confirm.h"
#include "kel_edit.h"
#include "vmr_edit.h"
#include "vmr_main.h"
#include "vmr_pagelist.h"
#include "vmr_password.h"
#include "vmr_utils.h"

#include <QScopeGuard>
#include <memory>

void TTPagesMain::NewPage() {
    EditPage(-1);
}

void TTPagesMain::EditPage(int Ix) {
    TPageForm form(this);
    const bool isNew = Ix < 0;
    std::unique_ptr<TPage> fresh;
    TPage* page;
    if (isNew) {
        fresh.reset(KelNewCreated<TPage>());
        page = fresh.get();
    } else {
        page = Pages->GetPages(Ix);
        // The page editor starts from what the window's editor shows.
        if (page == FShownPage)
            SaveEditorChanges();
    }
    form.SetPage(page);
    if (form.ShowModal() != 1)
        return;
    if (isNew)
        AddPage(fresh.release());
    else
        UpdatePage(Ix, page);
    SetIsChanged(IsChanged() || form.IsChanged());
    // The window shows the edited page as it now is, where it now stands.
    if (!isNew)
        ReshowPage();
}

void TTPagesMain::ReshowPage() {
    if (FShownPage)
        SetCurPageIx(Pages->IndexOf(FShownPage));
}

void TTPagesMain::UpdatePage(int Ix, TPage* p) {
    if (Ix < 0 || Ix >= ePages->count())
        return;
    ePages->RemovePage(Ix);
    Pages->SortList();
    const int a = Pages->IndexOf(p);
    if (a >= 0)
        ePages->InsertPage(a, p);
    ePages->MirrorPages(*Pages);
}

void TTPagesMain::DeletePage(int Ix) {
    if (Ix < 0 || Ix >= ePages->count())
        return;
    TPage* page = Pages->GetPages(Ix);
    const int answer = ShowConfirmBox(this,
                                      QStringLiteral("Do you really want to remove page: '") +
                                          page->Title() + QStringLiteral("'?"),
                                      QStringLiteral("Confirm"), cfYes + cfNo);
    if (answer != 6)
        return;
    ePages->RemovePage(Ix);
    Pages->Delete(Ix);
    // Changes still pending in the editor were this page's, and go with it.
    ForgetPage(page);
    delete page;
    SetIsChanged(true);
    SetCurPageIx(Ix < ePages->count() ? Ix : Ix - 1);
}

void TTPagesMain::eTitleChange() {
    TPage* p = CurPage();
    if (!p)
        return;
    Pages->Delete(FCurPageIx);
    ePages->RemovePage(FCurPageIx);
    p->SetTitle(eTitle->Text());
    SetCurPageIx(FilePage(p));
    SetIsChanged(true);
}

void TTPagesMain::ePagesDblClick() {
    EditPage(ePages->ItemIndex());
}

void TTPagesMain::ePagesKeyUp(int& Key, Qt::KeyboardModifiers Shift) {
    if (Shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return;
    switch (Key) {
    case VK_INSERT:
        NewPage();
        break;
    case VK_DELETE:
        DeletePage(ePages->ItemIndex());
        break;
    case VK_RETURN:
        EditPage(ePages->ItemIndex());
        break;
    default:
        break;
    }
}

void TTPagesMain::bAddPageClick() {
    NewPage();
}

void TTPagesMain::bDelPageClick() {
    DeletePage(CurPageIx());
}

void TTPagesMain::bOkClick() {
    if (IsChanged() && !SavePages())
        return;
    close();
}

void TTPagesMain::FormClose(TCloseAction& Action) {
    int answer = 7;
    if (IsChanged())
        answer = ShowConfirmBox(this, QStringLiteral("Save changes?"), QStringLiteral("Confirm"),
                                cfYes + cfNo + cfCancel);
    if (answer == 6 && !SavePages())
        Action = caNone;
    if (answer == 2)
        Action = caNone;
}

bool TTPagesMain::SaveSettings() {
    auto store = OpenCurrentUserStore();
    // Only the password can be lost this way: the store keeps every other
    // value as it finds it on disk when it writes.
    if (!StoredCryptStringKept(*store) &&
        ShowMessageBox(this,
                       QStringLiteral("The settings file was changed by another program. "
                                      "Overwrite it?"),
                       QStringLiteral("Confirm"), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    WriteStoredCryptString(*store);
    return true;
}

void TTPagesMain::bChgPWClick() {
    QString stored = UnicodeFromAnsi(StoredCryptString);
    QString crypt =
        ExecuteChangePassword(this, UnicodeFromAnsi(PasswordKey), stored,
                              [this](QObject* Sender, const QString& NewPw, QString& Emsg) {
                                  CheckPasswordStrength(Sender, NewPw, Emsg);
                              });
    WipeOwned(stored);
    std::string bytes = AnsiFromUnicode(crypt);
    WipeOwned(crypt);
    std::string previous;
    const auto wipe = qScopeGuard([&bytes, &previous] {
        SecureZero(bytes);
        SecureZero(previous);
    });
    if (bytes.empty())
        return;
    previous = StoredCryptString;
    AssignSecret(StoredCryptString, bytes);
    // Declined in favour of another copy's password, the change is undone;
    // a write that fails leaves the new password in force for this run.
    if (!SaveSettings())
        AssignSecret(StoredCryptString, previous);
}

void TTPagesMain::CheckPasswordStrength(QObject*, const QString& NewPw, QString& Emsg) {
    Emsg = PasswordStrengthError(NewPw);
}
