// Another copy of the program holds the vault's lock while this one opens or
// saves it. Opening waits for it; a lock that stays held, like any other
// reason the vault cannot be opened or read through, is told as what it is.
// Such a vault is never taken for a damaged one: no default page stands in
// for it, nothing is moved aside, and nothing is written over it.

#include "MainFixture.h"
#include "common/FileHooks.h"

#include <QProcess>
#include <cerrno>
#include <cstring>
#include <optional>

namespace {
// The vault's lock, held by another process until Release.
class TLocker {
public:
    explicit TLocker(const QString& File) {
        FProcess.start(QStringLiteral(VMR_LOCKER), {File});
        FLocked = FProcess.waitForStarted(60000) && FProcess.waitForReadyRead(60000) &&
                  FProcess.readAllStandardOutput().startsWith("locked");
    }
    ~TLocker() { Release(); }
    bool Holds() const { return FLocked && FProcess.state() == QProcess::Running; }
    // Lets go of the lock; the process is gone when this returns.
    void Release() {
        if (FProcess.state() == QProcess::NotRunning)
            return;
        FProcess.write("\n");
        FProcess.closeWriteChannel();
        if (!FProcess.waitForFinished(60000)) {
            FProcess.kill();
            FProcess.waitForFinished();
        }
    }

private:
    QProcess FProcess;
    bool FLocked = false;
};

enum class TCause { InUse, Folder, DanglingLink, ReadFailsAtOnce, ReadFailsPartWay };

QString SystemText(int Error) {
    return QString::fromLocal8Bit(std::strerror(Error));
}
} // namespace

class TestVaultInUse : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

    // What lies at the vault's name: a file's bytes, a folder, or a link.
    QString VaultState() const {
        const QFileInfo info(fx->Vault());
        if (info.isSymLink())
            return QStringLiteral("link to ") + info.symLinkTarget() +
                   (info.exists() ? QStringLiteral(", which exists") : QString());
        if (info.isDir())
            return QStringLiteral("folder");
        return QString::fromLatin1(FileBytes(fx->Vault()).toHex());
    }

    // Every name in the folder that starts with the vault's.
    QStringList VaultNames() const {
        return QDir(fx->Dir.path())
            .entryList({QStringLiteral("vellomar.pgs*")},
                       QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

private slots:
    void init() { fx = std::make_unique<TMainFixture>(); }
    void cleanup() { fx.reset(); }

    // The other copy lets go while this one waits: every page appears, as
    // if there had been no wait, and the file is left as it was.
    void lockReleasedDuringTheWait() {
        fx->WriteVault(ThreePages);
        const QByteArray before = FileBytes(fx->Vault());
        TLocker locker(fx->Vault());
        QVERIFY(locker.Holds());
        const TLockWait wait{std::chrono::minutes(10)};
        int tries = 0;
        bool waitCursor = false;
        const TFileHook release([&](TFileCall Call) {
            // The first try found the lock held.
            if (Call == TFileCall::Lock && ++tries == 2) {
                const QCursor* cursor = QApplication::overrideCursor();
                waitCursor = cursor && cursor->shape() == Qt::WaitCursor;
                locker.Release();
            }
            return 0;
        });
        TMessageBoxRecorder boxes;
        TTPagesMain* w = fx->Open();
        QCOMPARE(boxes.Calls.size(), 0);
        QCOMPARE(tries, 2);
        QVERIFY(waitCursor);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(fx->Seen(), ThreePages);
        QCOMPARE(w->CurPageIx(), 0);
        QVERIFY(!w->IsChanged());
        QVERIFY(w->close()); // nothing to save: nothing asked
        QCOMPARE(FileBytes(fx->Vault()), before);
        QCOMPARE(VaultNames(), QStringList(QStringLiteral("vellomar.pgs")));
    }

    // A save while the other copy saves waits for it too, and then writes.
    void saveWaitsForTheOtherCopy() {
        TTPagesMain* w = fx->OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" mine"));
        TLocker locker(fx->Vault());
        QVERIFY(locker.Holds());
        const TLockWait wait{std::chrono::minutes(10)};
        int tries = 0;
        const TFileHook release([&](TFileCall Call) {
            if (Call == TFileCall::Lock && ++tries == 2)
                locker.Release();
            return 0;
        });
        TMessageBoxRecorder boxes;
        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 0);
        QCOMPARE(tries, 2);
        QVERIFY(!w->IsChanged());
        TSeenPages mine = ThreePages;
        mine[0].Text += QStringLiteral(" mine");
        QCOMPARE(SeenVault(fx->Vault()), mine);
    }

    void vaultThatCannotBeOpened_data() {
        QTest::addColumn<TCause>("cause");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("pagesRead");
        QTest::newRow("in use past the wait")
            << TCause::InUse
            << QStringLiteral("Cannot open file \"%1\". It is in use by another copy of Vellomar.")
            << 0;
        QTest::newRow("a folder") << TCause::Folder
                                  << QStringLiteral("Cannot open file \"%1\". It is not a "
                                                    "regular file.")
                                  << 0;
        QTest::newRow("a dangling link")
            << TCause::DanglingLink
            << QStringLiteral("Cannot open file \"%1\". ") + SystemText(ENOENT) << 0;
        QTest::newRow("read fails at once")
            << TCause::ReadFailsAtOnce
            << QStringLiteral("Cannot read file \"%1\". ") + SystemText(EIO) << 0;
        QTest::newRow("read fails part-way")
            << TCause::ReadFailsPartWay
            << QStringLiteral("Cannot read file \"%1\". ") + SystemText(EIO) << 1;
    }
    void vaultThatCannotBeOpened() {
        QFETCH(TCause, cause);
        QFETCH(QString, reason);
        QFETCH(int, pagesRead);
        std::optional<TLocker> locker;
        std::optional<TFileHook> failRead;
        int reads = 0;
        const auto failReadNumber = [&](int Failing) {
            failRead.emplace([&reads, Failing](TFileCall Call) {
                return Call == TFileCall::Read && ++reads == Failing ? EIO : 0;
            });
        };
        switch (cause) {
        case TCause::InUse:
            fx->WriteVault(ThreePages);
            locker.emplace(fx->Vault());
            QVERIFY(locker->Holds());
            break;
        case TCause::Folder:
            QVERIFY(QDir().mkdir(fx->Vault()));
            break;
        case TCause::DanglingLink:
            QVERIFY(QFile::link(fx->Dir.filePath(QStringLiteral("elsewhere.pgs")), fx->Vault()));
            break;
        case TCause::ReadFailsAtOnce:
            fx->WriteVault(ThreePages);
            failReadNumber(1);
            break;
        case TCause::ReadFailsPartWay:
            // Longer than one read: the first page comes in the first one.
            fx->WriteBodies({{QStringLiteral("Alpha"), RtfOf(QStringLiteral("first text"))},
                             {QStringLiteral("Bulky"), QByteArray(300 * 1024, 'b')}});
            failReadNumber(2);
            break;
        }
        const QString before = VaultState();

        TMessageBoxRecorder boxes;
        TTPagesMain* w = nullptr;
        {
            const TLockWait wait{std::chrono::milliseconds(100)};
            w = fx->Open();
        }
        // Whatever kept the vault from being read is over now: still nothing
        // may be written over it.
        failRead.reset();
        locker.reset();

        QCOMPARE(boxes.Calls.size(), 1);
        const QString opening = boxes.Calls[0].Text;
        QVERIFY2(opening.startsWith(reason.arg(fx->Vault())), qPrintable(opening));
        QVERIFY2(opening.contains(QLatin1String("Nothing will be saved over the vault")),
                 qPrintable(opening));
        QVERIFY2(!opening.contains(QLatin1String("damaged")), qPrintable(opening));
        // No default page in the vault's place.
        QCOMPARE(w->Pages->Count(), pagesRead);
        QVERIFY(!w->IsChanged());
        QVERIFY(!w->aSave->isEnabled());
        QCOMPARE(w->CurPageIx(), pagesRead - 1);
        if (pagesRead == 0) {
            QVERIFY(!w->eTitle->isEnabled() && !w->eText->isEnabled());
            QCOMPARE(w->eTitle->Text(), QString());
        } else {
            QCOMPARE(fx->Seen(), (TSeenPages{ThreePages[0]}));
        }

        WhenPageForm(
            [](TPageForm* f) { FillPageForm(f, QStringLiteral("Rescue"), QStringLiteral("x")); });
        QTest::mouseClick(w->bAddPage, Qt::LeftButton);
        QVERIFY(w->IsChanged());
        const TSeenPages inMemory = fx->Stored();
        QCOMPARE(inMemory.size(), pagesRead + 1);

        const auto saidNothingWasSaved = [&](qsizetype Box) {
            QVERIFY(boxes.Calls.size() > Box);
            const QString text = boxes.Calls[Box].Text;
            QVERIFY2(
                text.startsWith(
                    QStringLiteral("The vault file \"%1\" could not be opened").arg(fx->Vault())),
                qPrintable(text));
            QVERIFY2(text.contains(QLatin1String("nothing was saved")), qPrintable(text));
        };
        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 2);
        saidNothingWasSaved(1);
        QVERIFY(w->IsChanged());
        QCOMPARE(VaultState(), before);

        QTest::mouseClick(w->bOk, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 3);
        saidNothingWasSaved(2);
        QVERIFY(w->isVisible());

        {
            TConfirmRecorder confirm;
            confirm.Answers = {6};
            QVERIFY(!w->close());
            QCOMPARE(confirm.Calls.size(), 1);
        }
        QCOMPARE(boxes.Calls.size(), 4);
        saidNothingWasSaved(3);
        QVERIFY(w->isVisible());
        QVERIFY(w->IsChanged());
        QCOMPARE(fx->Stored(), inMemory);
        QCOMPARE(VaultState(), before);
        QCOMPARE(VaultNames(), QStringList(QStringLiteral("vellomar.pgs")));

        // No leaves without saving, and leaves the vault as it was.
        TConfirmRecorder no;
        QVERIFY(w->close());
        QCOMPARE(VaultState(), before);
        QCOMPARE(VaultNames(), QStringList(QStringLiteral("vellomar.pgs")));
    }
};

VMR_APP_TEST_MAIN(TestVaultInUse)
#include "tst_VaultInUse.moc"
