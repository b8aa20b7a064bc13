// Changing the password from the main window, through the real dialog and
// the settings store file, and the next unlock.

#include "AnsiCodePage.h"
#include "Edit.h"
#include "MainFixture.h"
#include "SecureText.h"
#include "SettingsStore.h"
#include "cCipherUtils.h"
#include "common/ProcessMemory.h"
#include "kel_changepw.h"
#include "vmr_password.h"
#include "vmr_utils.h"

#include <QLabel>

namespace {
// Runs Action on the change-password dialog once it is open.
void WhenChangeDialog(std::function<void(TChangePasswordDlg*)> Action) {
    WhenModal([Action](QWidget* m) {
        auto* d = qobject_cast<TChangePasswordDlg*>(m);
        QVERIFY2(d, "the change-password dialog did not open");
        Action(d);
    });
}

// Types the three fields with real keys, moving on with Tab.
void Fill(TChangePasswordDlg* d, const QString& Old, const QString& New, const QString& Cfm) {
    d->eOld->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(d->eOld, Old);
    QTest::keyClick(d->eOld, Qt::Key_Tab);
    QTest::keyClicks(d->eNew, New);
    QTest::keyClick(d->eNew, Qt::Key_Tab);
    QTest::keyClicks(d->eCfm, Cfm);
}

// Changes the password from W's button with the dialog's OK; the dialog
// must close.
void ChangePassword(TTPagesMain* W, const QString& Old, const QString& New) {
    TModalGuard guard;
    WhenChangeDialog([Old, New](TChangePasswordDlg* d) {
        Fill(d, Old, New, New);
        QTest::mouseClick(d->Button2, Qt::LeftButton);
    });
    QTest::mouseClick(W->bChgPW, Qt::LeftButton);
    QVERIFY(!guard.Fired);
}

// Types a text given masked, key by key, so that the test holds no copy.
void TypeMasked(QWidget* Edit, const QByteArray& Masked8) {
    Edit->setFocus(Qt::TabFocusReason);
    for (char c : Masked8)
        QTest::keyClick(Edit, char(c ^ kMemoryMask));
}

// A crypt string as text, UTF-16LE, masked; the text itself is wiped.
QByteArray MaskedCryptText(const std::string& Crypt) {
    QString text = UnicodeFromAnsi(Crypt);
    const QByteArray masked =
        Masked(QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
    WipeOwned(text);
    return masked;
}

QByteArray StoreFile() {
    QFile f(DefaultSettingsPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether a fresh unlock window, reading the store, opens for Typed.
bool Unlocks(const QString& Typed) {
    StoredCryptString = DefaultCryptString;
    TVMRSplash s;
    ShowActive(&s);
    QTest::keyClicks(s.ePassword, Typed);
    return s.ModalResult() == 1;
}
} // namespace

class TestPasswordChange : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

private slots:
    void init() {
        QFile::remove(DefaultSettingsPath());
        StoredCryptString = DefaultCryptString;
        fx = std::make_unique<TMainFixture>();
    }
    void cleanup() {
        fx.reset();
        QFile::remove(DefaultSettingsPath());
    }

    // With no settings key, the default password allows the change; the key
    // is created, holds the new crypt string, and only the new password
    // unlocks at the next start.
    void roundTripThroughTheStoreFile() {
        TTPagesMain* w = fx->Open();
        QVERIFY(!QFile::exists(DefaultSettingsPath()));
        ChangePassword(w, DefaultPassword, QStringLiteral("Night0wl!"));
        QCOMPARE(StoredCryptString, CryptStringOf(QStringLiteral("Night0wl!")));
        const QByteArray file = StoreFile();
        QVERIFY(file.contains("[Software/Ostrand/VMR/Settings]"));
        QVERIFY(file.contains("\"Data\"="));
        auto store = OpenCurrentUserStore();
        QVERIFY(store->OpenKey(SettingsKey, false));
        QCOMPARE(AnsiFromUnicode(store->ReadString(SettingsValue)),
                 CryptStringOf(QStringLiteral("Night0wl!")));
        store->CloseKey();
        fx.reset();
        QVERIFY(!Unlocks(DefaultPassword));
        QVERIFY(!Unlocks(QStringLiteral("night0wl!")));
        QVERIFY(Unlocks(QStringLiteral("Night0wl!")));
    }

    // A weak password is refused when leaving the field (the rule's text in
    // a box captioned "Error", then the label) and again on OK; the stored
    // crypt string stays.
    void weakPasswordIsRefused() {
        TTPagesMain* w = fx->Open();
        TMessageBoxRecorder boxes;
        TModalGuard guard;
        QString label;
        WhenChangeDialog([&label](TChangePasswordDlg* d) {
            Fill(d, DefaultPassword, QStringLiteral("weakpass"), QStringLiteral("weakpass"));
            QTest::mouseClick(d->Button2, Qt::LeftButton);
            label = d->lErr->isVisible() ? d->lErr->text() : QString();
            d->close();
        });
        QTest::mouseClick(w->bChgPW, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 1); // on leaving the new-password field
        QCOMPARE(boxes.Calls[0].Text, WeakPasswordMessage());
        QCOMPARE(boxes.Calls[0].Caption, QStringLiteral("Error"));
        QCOMPARE(label, QStringLiteral("New password too weak"));
        QCOMPARE(StoredCryptString, DefaultCryptString);
        QVERIFY(!QFile::exists(DefaultSettingsPath()));
    }

    void closeBoxChangesNothing() {
        TTPagesMain* w = fx->Open();
        TModalGuard guard;
        WhenChangeDialog([](TChangePasswordDlg* d) {
            Fill(d, DefaultPassword, QStringLiteral("Night0wl!"), QStringLiteral("Night0wl!"));
            d->close();
        });
        QTest::mouseClick(w->bChgPW, Qt::LeftButton);
        QCOMPARE(StoredCryptString, DefaultCryptString);
        QVERIFY(!QFile::exists(DefaultSettingsPath()));
    }

    // A key without "Data" leaves an empty crypt string: no old password,
    // the empty one included, allows a change.
    void emptyStoredCryptStringAllowsNoChange() {
        QDir().mkpath(QFileInfo(DefaultSettingsPath()).absolutePath());
        {
            QFile f(DefaultSettingsPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Software/Ostrand/VMR/Settings]\n");
        }
        StoredCryptString.clear();
        // Unlock with the empty text: type one character and erase it.
        TModalGuard guard;
        WhenModal([](QWidget* m) {
            if (auto* s = qobject_cast<TVMRSplash*>(m)) {
                QTest::keyClick(s->ePassword, 'x');
                QTest::keyClick(s->ePassword, Qt::Key_Backspace);
            }
        });
        fx->W = std::make_unique<TTPagesMain>();
        ShowActive(fx->W.get());
        QCOMPARE(StoredCryptString, std::string());
        QStringList labels;
        WhenChangeDialog([&labels](TChangePasswordDlg* d) {
            for (const QString& old : {QString(), QStringLiteral(" "), DefaultPassword}) {
                d->eOld->clear();
                Fill(d, old, QStringLiteral("Night0wl!"), QStringLiteral("Night0wl!"));
                QTest::mouseClick(d->Button2, Qt::LeftButton);
                labels << d->lErr->text();
                d->eNew->clear();
                d->eCfm->clear();
            }
            d->close();
        });
        QTest::mouseClick(fx->W->bChgPW, Qt::LeftButton);
        QCOMPARE(labels, QStringList(3, QStringLiteral("Incorrect password")));
        QCOMPARE(StoredCryptString, std::string());
    }

    // A store that cannot be written: the error box says so, and the new
    // password is in force for the rest of the run.
    void failingStoreWriteIsShown() {
        TTPagesMain* w = fx->Open();
        // The store's folder is a regular file, so the store cannot be written.
        const QString folder = QFileInfo(DefaultSettingsPath()).absolutePath();
        QDir(folder).removeRecursively();
        {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        TMessageBoxRecorder boxes;
        TModalGuard guard;
        WhenChangeDialog([](TChangePasswordDlg* d) {
            Fill(d, DefaultPassword, QStringLiteral("Night0wl!"), QStringLiteral("Night0wl!"));
            QTest::mouseClick(d->Button2, Qt::LeftButton);
        });
        QTest::mouseClick(w->bChgPW, Qt::LeftButton);
        QFile::remove(folder);
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, QStringLiteral("Failed to set data for 'Data'"));
        QCOMPARE(boxes.Calls[0].Flags & 0xF0, unsigned(MB_ICONERROR));
        QCOMPARE(StoredCryptString, CryptStringOf(QStringLiteral("Night0wl!")));
    }

    // A damaged store is shown by the unlock window, and the default password
    // unlocks; a change then reports that it could not be stored, and the
    // file stays as it was, for the user to mend.
    void damagedStoreIsNotWrittenOver_data() {
        QTest::addColumn<QByteArray>("storeFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged value")
            << QByteArray("[Software/Ostrand/VMR/Settings]\n\"Data\"=\"abc\n")
            << QStringLiteral("The value 'Data' cannot be read: line 2 of the settings file \"%1\" "
                              "is damaged.");
        QTest::newRow("file cut off")
            << QByteArray("\xFF\xFE[\0S\0]\0\n\0\"", 11)
            << QStringLiteral("The settings file \"%1\" cannot be read: it ends in the middle of a "
                              "character.");
    }
    void damagedStoreIsNotWrittenOver() {
        QFETCH(QByteArray, storeFile);
        QFETCH(QString, reason);
        reason = reason.arg(DefaultSettingsPath());
        QDir().mkpath(QFileInfo(DefaultSettingsPath()).absolutePath());
        {
            QFile f(DefaultSettingsPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(storeFile);
        }
        TMessageBoxRecorder boxes;
        TTPagesMain* w = fx->Open();
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, reason);
        ChangePassword(w, DefaultPassword, QStringLiteral("Night0wl!"));
        QCOMPARE(boxes.Calls.size(), 2);
        QCOMPARE(boxes.Calls[1].Text, QStringLiteral("Failed to set data for 'Data'. ") + reason);
        QCOMPARE(boxes.Calls[1].Flags & 0xF0, unsigned(MB_ICONERROR));
        QCOMPARE(StoreFile(), storeFile);
        QCOMPARE(StoredCryptString, CryptStringOf(QStringLiteral("Night0wl!")));
    }

    // After a change, neither password typed nor the old and the new crypt
    // string as the texts handed to and from the dialog are left in memory.
    void passwordsAreNotLeftInMemory() {
        TTPagesMain* w = fx->Open();
        const QByteArray oldPw = Masked("0ld!Pass9"), newPw = Masked("N3w#Night5");
        QString pw = Unmasked(oldPw);
        AssignSecret(StoredCryptString, CryptStringOf(pw));
        WipeOwned(pw);
        const QByteArray oldCryptText = MaskedCryptText(StoredCryptString);
        TModalGuard guard;
        WhenChangeDialog([&](TChangePasswordDlg* d) {
            TypeMasked(d->eOld, oldPw);
            TypeMasked(d->eNew, newPw);
            TypeMasked(d->eCfm, newPw);
            QTest::mouseClick(d->Button2, Qt::LeftButton);
        });
        QTest::mouseClick(w->bChgPW, Qt::LeftButton);
        QVERIFY(!guard.Fired);
        pw = Unmasked(newPw);
        std::string crypt = CryptStringOf(pw);
        WipeOwned(pw);
        QCOMPARE(StoredCryptString, crypt);
        SecureZero(crypt);
        const QByteArray newCryptText = MaskedCryptText(StoredCryptString);
        for (const QByteArray& typed : {oldPw, newPw}) {
            QVERIFY(!WritableMemoryHolds(MaskedUtf16(typed)));
            QVERIFY(!WritableMemoryHolds(typed));
        }
        QVERIFY(!WritableMemoryHolds(oldCryptText));
        QVERIFY(!WritableMemoryHolds(newCryptText));
    }

    // Another copy of the program stored its own password after this one
    // read the store: changing the password here asks before overwriting it.
    void anotherCopysPasswordIsNotOverwrittenUnasked_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("No") << int(IDNO);
        QTest::newRow("Yes") << int(IDYES);
    }
    void anotherCopysPasswordIsNotOverwrittenUnasked() {
        TTPagesMain* w = fx->Open();
        const std::string theirs = CryptStringOf(QStringLiteral("Other1!x"));
        {
            auto other = CreateFileSettingsStore(DefaultSettingsPath());
            QVERIFY(other->OpenKey(SettingsKey, true));
            other->WriteString(SettingsValue, UnicodeFromAnsi(theirs));
            other->WriteString(QStringLiteral("Other"), QStringLiteral("kept"));
            other->CloseKey();
        }
        QFETCH(int, answer);
        TMessageBoxRecorder boxes(answer);
        ChangePassword(w, DefaultPassword, QStringLiteral("Night0wl!"));
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text,
                 QStringLiteral("The settings file was changed by another program. Overwrite it?"));
        QCOMPARE(boxes.Calls[0].Caption, QStringLiteral("Confirm"));
        QCOMPARE(boxes.Calls[0].Flags, unsigned(MB_YESNO | MB_ICONQUESTION));
        auto store = OpenCurrentUserStore();
        QVERIFY(store->OpenKey(SettingsKey, false));
        const std::string stored = AnsiFromUnicode(store->ReadString(SettingsValue));
        QCOMPARE(store->ReadString(QStringLiteral("Other")), QStringLiteral("kept"));
        store->CloseKey();
        if (answer == IDNO) {
            QCOMPARE(stored, theirs);
            QCOMPARE(StoredCryptString, DefaultCryptString);
            return;
        }
        const std::string mine = CryptStringOf(QStringLiteral("Night0wl!"));
        QCOMPARE(stored, mine);
        QCOMPARE(StoredCryptString, mine);
        // Our own value now: the next change asks nothing.
        ChangePassword(w, QStringLiteral("Night0wl!"), QStringLiteral("Day7owl!"));
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(StoredCryptString, CryptStringOf(QStringLiteral("Day7owl!")));
    }

    // Other values another copy wrote are merged, not a reason to ask.
    void otherValuesAreKeptWithoutAsking() {
        QDir().mkpath(QFileInfo(DefaultSettingsPath()).absolutePath());
        TTPagesMain* w = fx->Open();
        {
            auto other = CreateFileSettingsStore(DefaultSettingsPath());
            QVERIFY(other->OpenKey(QStringLiteral("Software/Elsewhere"), true));
            other->WriteString(QStringLiteral("Theirs"), QStringLiteral("1"));
            other->CloseKey();
        }
        TMessageBoxRecorder boxes(IDNO);
        ChangePassword(w, DefaultPassword, QStringLiteral("Night0wl!"));
        QCOMPARE(boxes.Calls.size(), 0);
        const QByteArray file = StoreFile();
        QVERIFY(file.contains("\"Theirs\"=\"1\""));
        QCOMPARE(StoredCryptString, CryptStringOf(QStringLiteral("Night0wl!")));
    }
};

VMR_APP_TEST_MAIN(TestPasswordChange)
#include "tst_PasswordChange.moc"
