#include "kel_changepw.h"

#include "AnsiCodePage.h"
#include "Edit.h"
#include "FormScale.h"
#include "MessageBox.h"
#include "PasswordChar.h"
#include "SecureText.h"
#include "cCipherAES.h"
#include "cCipherUtils.h"
#include "kel_resourcestrings.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace {
// The 8-bit form of a typed password, encrypted; the plain bytes are wiped.
std::string EncryptTyped(const std::string& Key, const QString& Typed) {
    std::string plain = AnsiFromUnicode(Typed);
    std::string crypt = EncryptText(Key, plain);
    SecureZero(plain);
    return crypt;
}
} // namespace

TChangePasswordDlg::TChangePasswordDlg(QWidget* Owner) : TForm(Owner) {
    const TFormScaler sc(240);
    setObjectName(QStringLiteral("ChangePasswordDlg"));
    setWindowTitle(QStringLiteral("Change Password"));
    setFont(sc.Font(QStringLiteral("Segoe UI"), 30));
    setFixedSize(sc.Size(689, 458));

    auto label = [&](const char* name, const char* caption, int left, int top) {
        auto* l = new QLabel(QString::fromLatin1(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(sc.S(left), sc.S(top));
        l->adjustSize();
        return l;
    };
    auto edit = [&](const char* name, int left, int top) {
        auto* e = new TEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        sc.Place(e, left, top, 303, 49);
        SetPasswordChar(e, QLatin1Char('*'));
        e->OnEnter = [this] { eOldEnter(); };
        return e;
    };
    Label1 = label("Label1", "Old password", 50, 50);
    eOld = edit("eOld", 317, 52);
    Label2 = label("Label2", "New password", 50, 120);
    eNew = edit("eNew", 317, 117);
    eNew->OnExit = [this] { eNewExit(); };
    Label3 = label("Label3", "Confirm password", 50, 193);
    eCfm = edit("eCfm", 317, 190);

    Button2 = new QPushButton(QStringLiteral("Ok"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    sc.Place(Button2, 432, 337, 188, 62);
    Button2->setAutoDefault(false);
    ConnectGuarded(Button2, &QPushButton::clicked, this, [this] { SetModalResult(1); });

    // The design leaves room for the labels in its own font; a wider one
    // moves the edits and the button to the right, and widens the dialog,
    // rather than covering the labels' ends.
    const int labelsEnd = std::max(
        {Label1->geometry().right(), Label2->geometry().right(), Label3->geometry().right()});
    const int shift = std::max(0, labelsEnd + 1 + sc.S(20) - eOld->x());
    for (QWidget* w : {static_cast<QWidget*>(eOld), static_cast<QWidget*>(eNew),
                       static_cast<QWidget*>(eCfm), static_cast<QWidget*>(Button2)})
        w->move(w->x() + shift, w->y());
    setFixedSize(width() + shift, height());

    lErr = label("lErr", "", 48, 274);
    QPalette pal = lErr->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    lErr->setPalette(pal);
    lErr->hide();

    setTabOrder(eOld, eNew);
    setTabOrder(eNew, eCfm);
    setTabOrder(eCfm, Button2);
    eOld->setFocus();
    CenterOnScreen(this);
}

TChangePasswordDlg::~TChangePasswordDlg() {
    ClearFields();
    SecureZero(FKey);
    SecureZero(FCryptString);
}

void TChangePasswordDlg::SetCryptString(const std::string& V) {
    AssignSecret(FCryptString, V);
}

void TChangePasswordDlg::SetKey(const std::string& V) {
    AssignSecret(FKey, V);
}

QString TChangePasswordDlg::NewPW() const {
    return eNew->text();
}
void TChangePasswordDlg::SetNewPW(const QString& V) {
    eNew->setText(V);
}
QString TChangePasswordDlg::OldPW() const {
    return eOld->text();
}
void TChangePasswordDlg::SetOldPW(const QString& V) {
    eOld->setText(V);
}

bool TChangePasswordDlg::CheckPassword() const {
    if (eOld->text().isEmpty())
        return false;
    std::string crypt = EncryptTyped(FKey, eOld->text());
    const bool match = crypt == FCryptString;
    SecureZero(crypt);
    return match;
}

QString TChangePasswordDlg::GetNewPasswordError() {
    QString emsg;
    if (FOnNewPassword)
        FOnNewPassword(this, eNew->text(), emsg);
    return emsg;
}

void TChangePasswordDlg::eOldEnter() {
    lErr->hide();
}

void TChangePasswordDlg::eNewExit() {
    const QString emsg = GetNewPasswordError();
    if (emsg.isEmpty())
        return;
    ShowMessageBox(this, emsg, LoadResString(SError), MB_OK | MB_ICONERROR);
    lErr->setText(LoadResString(SNewPasswordTooWeak));
    lErr->adjustSize();
    lErr->show();
}

void TChangePasswordDlg::FormClose(TCloseAction& Action) {
    if (ModalResult() != 1) {
        ClearFields();
        return;
    }
    QString error;
    if (!CheckPassword())
        error = LoadResString(SIncorrectPassword);
    else if (eNew->text().isEmpty())
        error = LoadResString(SNewPasswordEmpty);
    else if (eNew->text() != eCfm->text())
        error = LoadResString(SNewPasswordsDoNotMatch);
    else if (!GetNewPasswordError().isEmpty())
        error = LoadResString(SNewPasswordTooWeak);
    else {
        std::string crypt = EncryptTyped(FKey, eNew->text());
        AssignSecret(FCryptString, crypt);
        SecureZero(crypt);
    }
    lErr->setText(error);
    if (!error.isEmpty()) {
        lErr->adjustSize();
        lErr->show();
        Action = caNone;
        return;
    }
    ClearFields();
}

// Typed passwords are not kept once the dialog is done with them.
void TChangePasswordDlg::ClearFields() {
    for (TEdit* e : {eOld, eNew, eCfm})
        WipeLineEdit(e);
}

QString ExecuteChangePassword(QWidget* Owner, const QString& Key, const QString& CryptString,
                              TOnNewPassword Callback) {
    TChangePasswordDlg dlg(Owner);
    dlg.SetOnNewPassword(std::move(Callback));
    std::string bytes = AnsiFromUnicode(Key);
    dlg.SetKey(bytes);
    SecureZero(bytes);
    bytes = AnsiFromUnicode(CryptString);
    dlg.SetCryptString(bytes);
    SecureZero(bytes);
    QString result;
    if (dlg.ShowModal() == 1)
        result = UnicodeFromAnsi(dlg.CryptString());
    return result;
}
