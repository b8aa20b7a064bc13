// The program as a person uses it: unlocking, leaving, saving, closing and
// changing the password, in a real X server.

#include "E2eStory.h"
#include "vmr_utils.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

namespace {

bool WaitVaultSize(const TProgramHome& Home, qsizetype Size) {
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (Home.VaultBytes().size() == Size)
            return true;
        QThread::msleep(50);
    }
    return false;
}
// The soft and hard core file size limits of a running process.
QStringList CoreLimit(qint64 Pid) {
    QFile limits(QStringLiteral("/proc/%1/limits").arg(Pid));
    if (!limits.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : limits.readAll().split('\n'))
        if (line.startsWith("Max core file size"))
            return QString::fromLatin1(line.mid(26)).split(u' ', Qt::SkipEmptyParts).mid(0, 2);
    return {};
}
} // namespace

class TstEndToEnd : public TE2eTest {
    Q_OBJECT

private slots:
    void firstStartSavesDefaultVault() {
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        const qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        // The running program can leave no core file with pages or passwords.
        E2E_VERIFY(home, CoreLimit(home.ProcessId()) == QStringList({"0", "0"}));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+s")}));
        E2E_VERIFY(home, WaitVaultSize(home, 60));
        // Nothing is left to save: the window closes without a question.
        CloseWindow(home, main);
        E2E_VERIFY(home, home.WaitExit(5000) == 0);
        QCOMPARE(home.VaultBytes().size(), 60);
        const QList<TStoredPage> pages = home.VaultPages();
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pages[0].Title, QStringLiteral("<empty page>"));
        QCOMPARE(pages[0].Text, QByteArray("<text>"));
    }

    void leavingUnlockWindowWritesNothing_data() {
        QTest::addColumn<bool>("byClick");
        QTest::newRow("Esc") << false;
        QTest::newRow("click on the close mark") << true;
    }
    void leavingUnlockWindowWritesNothing() {
        QFETCH(bool, byClick);
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        QVERIFY(home.Start());
        const qulonglong splash = home.WaitWindow(SplashWindow);
        E2E_VERIFY(home, splash != 0);
        // A wrong password first: it must not count for anything.
        E2E_VERIFY(home, home.Type(splash, QStringLiteral("vellomaR")));
        if (byClick) {
            // The middle of the cancel zone, at design (565, 33, 85, 82).
            const double scale = home.Geometry(splash).width() / 660.0;
            E2E_VERIFY(home, home.Click(splash, qRound(607 * scale), qRound(74 * scale)));
        } else {
            E2E_VERIFY(home, home.Keys(splash, {QStringLiteral("Escape")}));
        }
        E2E_VERIFY(home, home.WaitExit() == 1);
        QVERIFY(!home.VaultExists());
        QVERIFY(!QFileInfo::exists(home.SettingsPath()));
    }

    void changedPasswordUnlocksAfterRestart() {
        const QString newPw = QStringLiteral("Quill7!stone");
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        const qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ChangePasswordButton));
        const qulonglong dlg = home.WaitWindow(PasswordWindow);
        E2E_VERIFY(home, dlg != 0);
        // Old, new and confirmation, then Tab to "Ok" and press it.
        E2E_VERIFY(home, home.Type(dlg, DefaultPw + QLatin1Char('\t') + newPw + QLatin1Char('\t') +
                                            newPw + QLatin1Char('\t')));
        E2E_VERIFY(home, home.Keys(dlg, {QStringLiteral("space")}));
        E2E_VERIFY(home, home.WaitNoWindow(PasswordWindow));
        QCOMPARE(home.StoredCryptString(), CryptStringOf(newPw));
        // "Ok" saves what the first start made and closes.
        E2E_VERIFY(home, ClickMain(home, main, OkButton));
        E2E_VERIFY(home, home.WaitExit() == 0);

        // The old password no longer opens the notebook: Esc after it still
        // finds the unlock window.
        QVERIFY(home.Start());
        qulonglong splash = home.WaitWindow(SplashWindow);
        E2E_VERIFY(home, splash != 0);
        E2E_VERIFY(home, home.Type(splash, DefaultPw));
        E2E_VERIFY(home, home.Keys(splash, {QStringLiteral("Escape")}));
        E2E_VERIFY(home, home.WaitExit() == 1);

        const qulonglong again = StartUnlocked(home, newPw);
        E2E_VERIFY(home, again != 0);
        CloseWindow(home, again);
        E2E_VERIFY(home, home.WaitExit() == 0);
        QCOMPARE(home.StoredCryptString(), CryptStringOf(newPw));
    }

    void closingWithUnsavedChanges_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("Yes saves") << QStringLiteral("Yes");
        QTest::newRow("No discards") << QStringLiteral("No");
        QTest::newRow("Cancel keeps the window") << QStringLiteral("Cancel");
    }
    void closingWithUnsavedChanges() {
        QFETCH(QString, answer);
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault({{QStringLiteral("Groceries"), QByteArray("milk")}});
        const QByteArray before = home.VaultBytes();
        const qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, EditorArea));
        E2E_VERIFY(home, home.Type(main, QStringLiteral("bread")));
        qulonglong confirm = CloseWindow(home, main);
        E2E_VERIFY(home, confirm != 0);
        // The box opens with the focus on its rightmost button, Cancel; Tab
        // walks left through No and Yes.
        const QStringList keys = answer == QLatin1String("Cancel") ? QStringList{"Escape"}
                                 : answer == QLatin1String("No")
                                     ? QStringList{"Tab", "space"}
                                     : QStringList{"Tab", "Tab", "space"};
        E2E_VERIFY(home, home.Keys(confirm, keys));

        if (answer == QLatin1String("Cancel")) {
            E2E_VERIFY(home, home.WaitNoWindow(ConfirmWindow));
            E2E_VERIFY(home, home.FindWindow(MainWindow) == main);
            QVERIFY(home.IsRunning());
            QCOMPARE(home.VaultBytes(), before);
            // Still asks, as long as the changes are there.
            confirm = CloseWindow(home, main);
            E2E_VERIFY(home, confirm != 0);
            E2E_VERIFY(home, home.Keys(confirm, {QStringLiteral("Tab"), QStringLiteral("space")}));
        }
        E2E_VERIFY(home, home.WaitExit() == 0);
        const QList<TStoredPage> pages = home.VaultPages();
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pages[0].Title, QStringLiteral("Groceries"));
        if (answer == QLatin1String("Yes")) {
            QVERIFY2(pages[0].Text.contains("bread"), pages[0].Text.constData());
            QVERIFY(pages[0].Text.startsWith("{\\rtf"));
        } else {
            QCOMPARE(home.VaultBytes(), before);
        }
    }
};

QTEST_GUILESS_MAIN(TstEndToEnd)
#include "tst_EndToEnd.moc"
