// The files a vault save makes and leaves: the vault's mode under any umask,
// through the nameless temporary file and through the named one; the
// temporary files of killed saves removed, those of live ones kept; and the
// identity a read and a write report for the same file.

#include "FileFaults.h"
#include "LockedFile.h"
#include "SaverPages.h"
#include "vmr_vault.h"

#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QStringList FilesIn(const QString& Dir) {
    return QDir(Dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

int Mode(const QString& Path) {
    struct stat st;
    return ::stat(QFile::encodeName(Path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QByteArray ReadAll(const QString& Path) {
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Makes the nameless temporary file unavailable while it lives, and counts
// the saves that took the named one instead.
struct TNoNamelessFile {
    int Asked = 0;
    TNoNamelessFile() {
        SetFileCallHook([this](TFileCall Call) {
            if (Call != TFileCall::OpenUnnamed)
                return 0;
            ++Asked;
            return EOPNOTSUPP;
        });
    }
    ~TNoNamelessFile() { SetFileCallHook({}); }
};
} // namespace

class TestVaultSaveFiles : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QString FVault;

private slots:
    void init() {
        FVault = FDir.filePath(QStringLiteral("vellomar.pgs"));
        for (const QString& name : FilesIn(FDir.path()))
            QFile::remove(FDir.filePath(name));
    }
    void cleanup() { SetFileCallHook({}); }

    void modes_data() {
        QTest::addColumn<int>("umask");
        QTest::addColumn<bool>("named");
        for (int mask : {0, 022, 077})
            for (bool named : {false, true})
                QTest::addRow("umask %03o, %s", mask, named ? "named" : "nameless")
                    << mask << named;
    }
    void modes() {
        QFETCH(int, umask);
        QFETCH(bool, named);
        std::optional<TNoNamelessFile> fallback;
        if (named)
            fallback.emplace();
        const mode_t old = ::umask(mode_t(umask));
        const auto restore = qScopeGuard([old] { ::umask(old); });
        TOwnedPages pages;
        FillSaverPages(pages, 0);
        WriteVaultFile(FVault, *pages.List, 2);
        QCOMPARE(Mode(FVault), 0600);
        QCOMPARE(ReadAll(FVault), VaultData(*pages.List, 2));
        QVERIFY(::chmod(QFile::encodeName(FVault).constData(), 0644) == 0);
        WriteVaultFile(FVault, *pages.List, 1);
        QCOMPARE(Mode(FVault), 0644);
        QCOMPARE(ReadAll(FVault), VaultData(*pages.List, 1));
        QCOMPARE(FilesIn(FDir.path()), QStringList(QStringLiteral("vellomar.pgs")));
        if (fallback)
            QCOMPARE(fallback->Asked, 2);
        // No page in clear beside the vault.
        for (const QByteArray& form : SaverMarkerForms())
            QVERIFY(!ReadAll(FVault).contains(form));
    }

    // A named temporary file goes with the save that fails.
    void failedNamedSaveLeavesNothing_data() {
        QTest::addColumn<TFileCall>("call");
        QTest::newRow("write") << TFileCall::Write;
        QTest::newRow("fsync") << TFileCall::Sync;
        QTest::newRow("rename") << TFileCall::Rename;
    }
    void failedNamedSaveLeavesNothing() {
        QFETCH(TFileCall, call);
        TOwnedPages pages;
        pages.Add(QStringLiteral("a"), "old");
        WriteVaultFile(FVault, *pages.List, 1);
        const QByteArray before = ReadAll(FVault);
        SetFileCallHook([call](TFileCall c) {
            return c == TFileCall::OpenUnnamed ? EOPNOTSUPP : c == call ? ENOSPC : 0;
        });
        pages.List->GetPages(0)->SetText("new");
        QVERIFY_THROWS_EXCEPTION(EFileError, WriteVaultFile(FVault, *pages.List, 1));
        QCOMPARE(ReadAll(FVault), before);
        QCOMPARE(FilesIn(FDir.path()), QStringList(QStringLiteral("vellomar.pgs")));
    }

    // What killed saves left is removed by the next save that completes;
    // a temporary file a live save holds, and files that only look alike,
    // stay.
    void leftoversOfKilledSavesGo() {
        const auto make = [this](const QString& Name) {
            QFile f(FDir.filePath(Name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("encrypted");
        };
        const QStringList leftovers{QStringLiteral("vellomar.pgs.~a1B2c3"),
                                    QStringLiteral("vellomar.pgs.~zzzzzz")};
        const QStringList kept{
            QStringLiteral("vellomar.pgs.~live01"), QStringLiteral("vellomar.pgs.backup"),
            QStringLiteral("vellomar.pgs.~abc12"),  QStringLiteral("vellomar.pgs.~abc1234"),
            QStringLiteral("vellomar.pgs.damaged"), QStringLiteral("other.pgs.~a1B2c3")};
        for (const QString& name : leftovers + kept)
            make(name);
        const int live =
            ::open(QFile::encodeName(FDir.filePath(kept[0])).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(::flock(live, LOCK_EX) == 0);
        const auto unlock = qScopeGuard([live] { ::close(live); });

        TOwnedPages pages;
        pages.Add(QStringLiteral("a"), "text");
        WriteVaultFile(FVault, *pages.List, 1);
        QStringList expected = kept;
        expected << QStringLiteral("vellomar.pgs");
        expected.sort();
        QCOMPARE(FilesIn(FDir.path()), expected);
    }

    // A read reports the identity the write that made the file reported.
    void readAndWriteAgreeOnTheIdentity() {
        TOwnedPages pages;
        FillSaverPages(pages, 1);
        TFileIdentity written;
        WriteVaultFile(FVault, *pages.List, 3, TFlush::ToDisk, {nullptr, &written});
        TReadPages read;
        TFileIdentity identity;
        ReadVaultFile(FVault, CollectInto(read), &identity);
        QCOMPARE(read.size(), size_t(3));
        QCOMPARE(identity, written);
        QByteArray bytes = ReadAll(FVault);
        QCOMPARE(identity.Hash, ContentHash(bytes.constData(), bytes.size()));

        // Bytes after the last record count as well.
        {
            QFile f(FVault);
            QVERIFY(f.open(QIODevice::Append));
            f.write("tail");
        }
        read.clear();
        ReadVaultFile(FVault, CollectInto(read), &identity);
        bytes += "tail";
        QCOMPARE(identity.Size, bytes.size());
        QCOMPARE(identity.Hash, ContentHash(bytes.constData(), bytes.size()));
        QVERIFY(identity.Hash != written.Hash);
    }
};

QTEST_GUILESS_MAIN(TestVaultSaveFiles)
#include "tst_VaultSaveFiles.moc"
