// The real program started while another process holds the vault's lock, as
// another copy of the program does while it saves. A lock let go within the
// wait costs only the wait: every page appears and the file stays as it was.
// A lock held past it is reported as such; the vault is never taken for a
// damaged one, and nothing is written over it or moved aside.

#include "E2eStory.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QString ErrorBox = QStringLiteral("^Vellomar $");

const QList<TStoredPage> Pages = {{QStringLiteral("Apples"), QByteArray("red")},
                                  {QStringLiteral("Beans"), QByteArray("green")},
                                  {QStringLiteral("Cherries"), QByteArray("dark")}};

// The vault's lock, held by this process until Release.
class TVaultLock {
public:
    explicit TVaultLock(const QString& Vault)
        : FFd(::open(QFile::encodeName(Vault).constData(), O_RDONLY | O_CLOEXEC)) {
        FHeld = FFd >= 0 && ::flock(FFd, LOCK_EX) == 0;
    }
    ~TVaultLock() { Release(); }
    bool Held() const { return FHeld; }
    void Release() {
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
        FHeld = false;
    }

private:
    int FFd;
    bool FHeld = false;
};

// Every name in the program's folder that starts with the vault's.
QStringList VaultNames(const TProgramHome& Home) {
    const QFileInfo vault(Home.VaultPath());
    return vault.dir().entryList({vault.fileName() + QStringLiteral("*")},
                                 QDir::AllEntries | QDir::Hidden | QDir::System |
                                     QDir::NoDotAndDotDot);
}
} // namespace

class TstVaultLockedAtStart : public TE2eTest {
    Q_OBJECT

    // Starts the program while the vault is locked, unlocks it, and lets go
    // of the lock a second later; the main window's id. The program shows
    // nothing meanwhile: it waits.
    static qulonglong StartWhileLocked(TProgramHome& Home) {
        TVaultLock lock(Home.VaultPath());
        if (!lock.Held() || !Home.Start())
            return 0;
        const qulonglong splash = Home.WaitWindow(SplashWindow);
        if (!splash || !Home.Type(splash, DefaultPw))
            return 0;
        QThread::msleep(1000);
        if (Home.FindWindow(MainWindow) || Home.FindWindow(ErrorBox)) {
            qWarning("the program went on while the vault was locked");
            return 0;
        }
        lock.Release();
        const qulonglong main = Home.WaitWindow(MainWindow);
        if (Home.FindWindow(ErrorBox)) {
            qWarning("the program showed an error");
            return 0;
        }
        return main;
    }

private slots:
    void lockLetGoWithinTheWait() {
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault(Pages);
        const QByteArray before = home.VaultBytes();

        // Nothing changed: closing asks nothing, and the file is untouched.
        qulonglong main = StartWhileLocked(home);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        QCOMPARE(home.WaitExit(), 0);
        QCOMPARE(home.VaultBytes(), before);
        QCOMPARE(VaultNames(home), QStringList(QStringLiteral("vellomar.pgs")));

        // Every page is there: the last one, edited and saved, comes back
        // with the other two.
        main = StartWhileLocked(home);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, {200, 75 + 40 * 2 + 20}));
        E2E_VERIFY(home, ClickMain(home, main, EditorArea));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+End")}));
        E2E_VERIFY(home, home.Type(main, QStringLiteral(" and sweet")));
        E2E_VERIFY(home, ClickMain(home, main, OkButton));
        QCOMPARE(home.WaitExit(), 0);
        const QList<TStoredPage> saved = home.VaultPages();
        QCOMPARE(saved.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(saved[i].Title, Pages[i].Title);
        QVERIFY2(saved[2].Text.contains("dark and sweet"), saved[2].Text.constData());
        QVERIFY2(saved[0].Text.contains("red"), saved[0].Text.constData());
        QCOMPARE(VaultNames(home), QStringList(QStringLiteral("vellomar.pgs")));
    }

    void lockHeldPastTheWait() {
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault(Pages);
        const QByteArray before = home.VaultBytes();
        TVaultLock lock(home.VaultPath());
        QVERIFY(lock.Held());
        E2E_VERIFY(home, home.Start());
        const qulonglong splash = home.WaitWindow(SplashWindow);
        E2E_VERIFY(home, splash != 0);
        E2E_VERIFY(home, home.Type(splash, DefaultPw));
        // The program gives up after its wait and says why.
        const qulonglong box = home.WaitWindow(ErrorBox, 60000);
        E2E_VERIFY(home, box != 0);
        lock.Release();
        E2E_VERIFY(home, home.Keys(box, {QStringLiteral("Return")}));
        E2E_VERIFY(home, home.WaitNoWindow(ErrorBox));
        const qulonglong main = home.WaitWindow(MainWindow);
        E2E_VERIFY(home, main != 0);

        // A page added in the window is not saved over the vault: neither by
        // Ctrl+S nor by "Ok", and the window stays.
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("Insert")}));
        const qulonglong form = home.WaitWindow(PageFormWindow);
        E2E_VERIFY(home, form != 0);
        E2E_VERIFY(home, home.Type(form, QStringLiteral("Added")));
        E2E_VERIFY(home, home.Keys(form, {QStringLiteral("Tab")}));
        E2E_VERIFY(home, home.Type(form, QStringLiteral("while locked")));
        E2E_VERIFY(home, home.Keys(form, {QStringLiteral("Tab"), QStringLiteral("space")}));
        E2E_VERIFY(home, home.WaitNoWindow(PageFormWindow));
        for (const QPoint& button : {SaveButton, OkButton}) {
            E2E_VERIFY(home, ClickMain(home, main, button));
            const qulonglong refused = home.WaitWindow(ErrorBox);
            E2E_VERIFY(home, refused != 0);
            E2E_VERIFY(home, home.Keys(refused, {QStringLiteral("Return")}));
            E2E_VERIFY(home, home.WaitNoWindow(ErrorBox));
            E2E_VERIFY(home, home.FindWindow(MainWindow) == main);
            QCOMPARE(home.VaultBytes(), before);
        }

        // Closing without saving leaves the vault as it was, and alone.
        const qulonglong confirm = CloseWindow(home, main);
        E2E_VERIFY(home, confirm != 0);
        E2E_VERIFY(home, home.Keys(confirm, {QStringLiteral("Tab"), QStringLiteral("space")}));
        QCOMPARE(home.WaitExit(), 0);
        QCOMPARE(home.VaultBytes(), before);
        QCOMPARE(VaultNames(home), QStringList(QStringLiteral("vellomar.pgs")));
    }
};

QTEST_GUILESS_MAIN(TstVaultLockedAtStart)
#include "tst_VaultLockedAtStart.moc"
