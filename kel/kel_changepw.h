#pragma once
// The change-password dialog: checks the old password against its crypt
// string, asks the owner's rule about the new one, and produces the new crypt
// string.

#include "Form.h"

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class TEdit;

// Leaves Emsg empty to accept NewPw, or sets it to the reason for refusing it.
using TOnNewPassword = std::function<void(QObject* Sender, const QString& NewPw, QString& Emsg)>;

class TChangePasswordDlg : public TForm {
    Q_OBJECT
public:
    explicit TChangePasswordDlg(QWidget* Owner = nullptr);
    ~TChangePasswordDlg() override;

    QLabel* Label1;
    TEdit* eOld;
    QLabel* Label2;
    TEdit* eNew;
    QLabel* Label3;
    TEdit* eCfm;
    QPushButton* Button2;
    QLabel* lErr;

    // Both are wiped when they are replaced and when the dialog goes.
    const std::string& CryptString() const { return FCryptString; }
    void SetCryptString(const std::string& V);
    const std::string& Key() const { return FKey; }
    void SetKey(const std::string& V);
    QString NewPW() const;
    void SetNewPW(const QString& V);
    QString OldPW() const;
    void SetOldPW(const QString& V);
    const TOnNewPassword& OnNewPassword() const { return FOnNewPassword; }
    void SetOnNewPassword(TOnNewPassword V) { FOnNewPassword = std::move(V); }

    bool CheckPassword() const;

    void eOldEnter();
    void eNewExit();

protected:
    void FormClose(TCloseAction& Action) override;

private:
    QString GetNewPasswordError();
    void ClearFields();

    std::string FCryptString;
    std::string FKey;
    TOnNewPassword FOnNewPassword;
};

// Runs one exchange. Returns the new crypt string (key and crypt strings are
// 8-bit text carried in UTF-16, one character per byte), or "" when the dialog
// was left through its close box. The caller wipes the texts it passes and
// the one it gets.
QString ExecuteChangePassword(QWidget* Owner, const QString& Key, const QString& CryptString,
                              TOnNewPassword Callback);
