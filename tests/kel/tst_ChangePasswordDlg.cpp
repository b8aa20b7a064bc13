#include "AnsiCodePage.h"
#include "Edit.h"
#include "SecureText.h"
#include "cCipherAES.h"
#include "cCipherUtils.h"
#include "common/MessageBoxRecorder.h"
#include "common/ProcessMemory.h"
#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "kel_changepw.h"

#include <QLabel>
#include <QPushButton>

namespace {
const std::string Key = "0123456789abcdef0123456789";
std::string Crypt(const char* pw) {
    return EncryptText(Key, pw);
}

// Rejects passwords shorter than 4 characters with a message of its own.
void ShortIsWeak(QObject*, const QString& pw, QString& emsg) {
    if (pw.size() < 4)
        emsg = QStringLiteral("too short, sorry");
}
// Types a text given masked, key by key, so that the test holds no copy.
void TypeMasked(QWidget* Edit, const QByteArray& Masked8) {
    Edit->setFocus(Qt::TabFocusReason);
    for (char c : Masked8)
        QTest::keyClick(Edit, char(c ^ kMemoryMask));
}

// Where an edit keeps its text now.
const void* StorageOf(QLineEdit* Edit) {
    const QString text = Edit->text();
    return text.utf16();
}
} // namespace

class TestChangePasswordDlg : public QObject {
    Q_OBJECT
    std::unique_ptr<TChangePasswordDlg> dlg;

    TChangePasswordDlg* Open(TOnNewPassword callback = ShortIsWeak) {
        dlg = std::make_unique<TChangePasswordDlg>();
        dlg->SetKey(Key);
        dlg->SetCryptString(Crypt("old pw"));
        dlg->SetOnNewPassword(std::move(callback));
        ShowActive(dlg.get());
        return dlg.get();
    }
    void Type(QWidget* edit, const QString& text) {
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(edit, text);
    }

private slots:
    void cleanup() { dlg.reset(); }

    void layout() {
        TChangePasswordDlg* d = Open();
        QCOMPARE(d->windowTitle(), QStringLiteral("Change Password"));
        // 689 x 458 at 240 ppi, on 96 ppi; labels wider than the design's
        // move the edits and the button right, and widen the dialog as much.
        const int shift = d->eOld->x() - 127;
        QVERIFY(shift >= 0);
        QCOMPARE(d->size(), QSize(276 + shift, 183));
        QCOMPARE(d->eOld->geometry(), QRect(127 + shift, 21, 121, 20));
        QCOMPARE(d->Button2->geometry(), QRect(173 + shift, 135, 75, 25));
        for (QLabel* l : {d->Label1, d->Label2, d->Label3}) {
            QCOMPARE(l->width(), l->sizeHint().width());
            QVERIFY2(l->geometry().right() + 8 <= d->eOld->x(), qPrintable(l->text()));
        }
        QCOMPARE(d->Button2->text(), QStringLiteral("Ok"));
        QCOMPARE(d->lErr->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(!d->lErr->isVisible());
        for (TEdit* e : {d->eOld, d->eNew, d->eCfm})
            QCOMPARE(e->echoMode(), QLineEdit::Password);
        QVERIFY(d->eOld->hasFocus());
    }

    // Each refusal keeps the dialog open with one message, checked in order.
    void okRefusals_data() {
        QTest::addColumn<QString>("oldPw");
        QTest::addColumn<QString>("newPw");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty old") << ""
                                   << ""
                                   << ""
                                   << "Incorrect password";
        QTest::newRow("empty old, good new") << ""
                                             << "new pw"
                                             << "new pw"
                                             << "Incorrect password";
        QTest::newRow("wrong old") << "old PW"
                                   << "new pw"
                                   << "new pw"
                                   << "Incorrect password";
        QTest::newRow("empty new") << "old pw"
                                   << ""
                                   << ""
                                   << "New password may not be empty";
        QTest::newRow("case differs") << "old pw"
                                      << "new pw"
                                      << "New pw"
                                      << "New passwords do not match";
        QTest::newRow("weak") << "old pw"
                              << "abc"
                              << "abc"
                              << "New password too weak";
    }
    void okRefusals() {
        QFETCH(QString, oldPw);
        QFETCH(QString, newPw);
        QFETCH(QString, confirm);
        QFETCH(QString, message);
        TMessageBoxRecorder boxes;
        TChangePasswordDlg* d = Open();
        Type(d->eOld, oldPw);
        Type(d->eCfm, confirm);
        d->eNew->setText(newPw); // no focus change through the new-password field
        QTest::mouseClick(d->Button2, Qt::LeftButton);
        QCOMPARE(d->lErr->text(), message);
        QVERIFY(d->lErr->isVisible());
        QCOMPARE(d->ModalResult(), 0);
        QVERIFY(d->isVisible());
        QCOMPARE(d->CryptString(), Crypt("old pw")); // never changed by a refusal
        QVERIFY(boxes.Calls.isEmpty());
        // Entering any of the edits hides the message.
        for (TEdit* e : {d->eOld, d->eNew, d->eCfm}) {
            d->lErr->show();
            e->setFocus(Qt::MouseFocusReason);
            QVERIFY(!d->lErr->isVisible());
        }
    }

    void weakPasswordOnLeavingTheField() {
        TMessageBoxRecorder boxes;
        TChangePasswordDlg* d = Open();
        Type(d->eNew, QStringLiteral("abc"));
        // Pressing OK moves the focus out of the field first.
        QTest::mousePress(d->Button2, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, QStringLiteral("too short, sorry"));
        QCOMPARE(boxes.Calls[0].Caption, QStringLiteral("Error"));
        QCOMPARE(boxes.Calls[0].Flags, unsigned(MB_OK | MB_ICONERROR));
        QCOMPARE(d->lErr->text(), QStringLiteral("New password too weak"));
        QVERIFY(d->lErr->isVisible());
        QTest::mouseRelease(d->Button2, Qt::LeftButton);
        QCOMPARE(d->ModalResult(), 0);
        // A strong one leaves quietly.
        d->eNew->clear();
        Type(d->eNew, QStringLiteral("abcdef"));
        QTest::keyClick(d->eNew, Qt::Key_Tab);
        QCOMPARE(boxes.Calls.size(), 1);
    }

    void acceptsAndProducesTheNewCryptString() {
        TChangePasswordDlg* d = Open();
        Type(d->eOld, QStringLiteral("old pw"));
        // Typed keys cannot carry 'é'; it arrives as an input-method commit would.
        Type(d->eNew, QStringLiteral("new"));
        d->eNew->insert(QStringLiteral("\u00e9"));
        Type(d->eCfm, QStringLiteral("new"));
        d->eCfm->insert(QStringLiteral("\u00e9"));
        QTest::mouseClick(d->Button2, Qt::LeftButton);
        QCOMPARE(d->ModalResult(), 1);
        QCOMPARE(d->CryptString(), EncryptText(Key, AnsiFromUnicode(QStringLiteral("new\u00e9"))));
        // The typed passwords are gone.
        QVERIFY(d->OldPW().isEmpty() && d->NewPW().isEmpty() && d->eCfm->text().isEmpty());
    }

    void withoutACallbackEveryMatchingPasswordIsAccepted() {
        TChangePasswordDlg* d = Open(nullptr);
        Type(d->eOld, QStringLiteral("old pw"));
        Type(d->eNew, QStringLiteral("x"));
        Type(d->eCfm, QStringLiteral("x"));
        QTest::mouseClick(d->Button2, Qt::LeftButton);
        QCOMPARE(d->ModalResult(), 1);
        QCOMPARE(d->CryptString(), Crypt("x"));
    }

    void emptyStoredCryptStringAcceptsNoOldPassword() {
        TChangePasswordDlg* d = Open();
        d->SetCryptString(std::string());
        QVERIFY(!d->CheckPassword());
        d->SetOldPW(QStringLiteral(" "));
        QVERIFY(!d->CheckPassword());
    }

    void executeReturnsTheNewCryptString() {
        TModalGuard guard;
        WhenModal([](QWidget* m) {
            auto* d = qobject_cast<TChangePasswordDlg*>(m);
            QVERIFY(d);
            QTest::keyClicks(d->eOld, QStringLiteral("old pw"));
            QTest::keyClick(d->eOld, Qt::Key_Tab);
            QTest::keyClicks(d->eNew, QStringLiteral("fresh"));
            QTest::keyClick(d->eNew, Qt::Key_Tab);
            QTest::keyClicks(d->eCfm, QStringLiteral("fresh"));
            QTest::mouseClick(d->Button2, Qt::LeftButton);
        });
        const QString result = ExecuteChangePassword(nullptr, UnicodeFromAnsi(Key),
                                                     UnicodeFromAnsi(Crypt("old pw")), ShortIsWeak);
        QCOMPARE(AnsiFromUnicode(result), Crypt("fresh"));
    }

    // What was typed into the three fields is wiped when the dialog is done
    // with it, accepted or left by its close box, and no copy stays.
    void typedPasswordsAreNotLeftInMemory_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("close box") << false;
    }
    void typedPasswordsAreNotLeftInMemory() {
        QFETCH(bool, accept);
        const QByteArray oldPw = Masked("Old#pass1"), newPw = Masked("N3w!secret");
        std::string plain;
        for (char c : oldPw)
            plain += char(c ^ kMemoryMask);
        std::string crypt = EncryptText(Key, plain);
        SecureZero(plain);
        dlg = std::make_unique<TChangePasswordDlg>();
        dlg->SetKey(Key);
        dlg->SetCryptString(crypt);
        SecureZero(crypt);
        dlg->SetOnNewPassword(ShortIsWeak);
        ShowActive(dlg.get());
        TChangePasswordDlg* d = dlg.get();
        TypeMasked(d->eOld, oldPw);
        TypeMasked(d->eNew, newPw);
        TypeMasked(d->eCfm, newPw);
        const QList<std::pair<const void*, QByteArray>> fields = {
            {StorageOf(d->eOld), MaskedUtf16(oldPw)},
            {StorageOf(d->eNew), MaskedUtf16(newPw)},
            {StorageOf(d->eCfm), MaskedUtf16(newPw)}};
        for (const auto& [at, text] : fields)
            QCOMPARE(ReadOwnMemoryMasked(at, text.size()), text);
        if (accept)
            QTest::mouseClick(d->Button2, Qt::LeftButton);
        else
            d->close();
        QCOMPARE(d->ModalResult(), accept ? 1 : 2);
        for (const auto& [at, text] : fields)
            QVERIFY(ReadOwnMemoryMasked(at, text.size()) != text);
        for (TEdit* e : {d->eOld, d->eNew, d->eCfm}) {
            QVERIFY(e->text().isEmpty());
            QVERIFY(!e->isUndoAvailable());
        }
        dlg.reset();
        for (const QByteArray& pw : {oldPw, newPw}) {
            QVERIFY(!WritableMemoryHolds(MaskedUtf16(pw)));
            QVERIFY(!WritableMemoryHolds(pw));
        }
    }

    void closeBoxReturnsNothing() {
        TModalGuard guard;
        WhenModal([](QWidget* m) {
            auto* d = qobject_cast<TChangePasswordDlg*>(m);
            QVERIFY(d);
            QTest::keyClicks(d->eOld, QStringLiteral("old pw"));
            QTest::keyClicks(d->eNew, QStringLiteral("new pw"));
            d->close();
            // Not kept for a moment longer than the dialog.
            QVERIFY(d->OldPW().isEmpty() && d->NewPW().isEmpty());
        });
        QCOMPARE(ExecuteChangePassword(nullptr, UnicodeFromAnsi(Key),
                                       UnicodeFromAnsi(Crypt("old pw")), ShortIsWeak),
                 QString());
    }
};

VMR_TEST_MAIN(TestChangePasswordDlg)
#include "tst_ChangePasswordDlg.moc"
