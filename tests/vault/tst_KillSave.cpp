// A saver process killed with SIGKILL at random moments while it saves a
// multi-MiB vault over and over. After every kill the vault is whole: the
// content before the interrupted save or after it, never a mix, and it reads
// back. No file ever holds a page in clear, and a save that completes removes
// what killed saves left behind. VMR_KILLS sets the number of kills (200 by
// default), VMR_KILL_SEED the random moments.

#include "FileFaults.h"
#include "SaverPages.h"
#include "vmr_vault.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>
#include <random>

namespace {
QByteArray ReadAll(const QString& Path) {
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList FilesIn(const QString& Dir) {
    return QDir(Dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The last generation the saver announced; -1 when it announced none.
long long LastAnnounced(const QByteArray& Output) {
    const QList<QByteArray> lines = Output.split('\n');
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (!lines[i].isEmpty())
            return lines[i].toLongLong();
    return -1;
}
} // namespace

class TestKillSave : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QString FVault;
    QByteArray FContent[kSaverVariants];

    const QByteArray& Content(long long Generation) const {
        return FContent[Generation % kSaverVariants];
    }

    // Every file in the folder: no page in clear, and nothing but the vault
    // and temporary files of its saves.
    void CheckFolder(int MaxLeftovers) {
        const QRegularExpression temp(QStringLiteral("^vellomar\\.pgs\\.~[A-Za-z0-9]{6}$"));
        int leftovers = 0;
        for (const QString& name : FilesIn(FDir.path())) {
            const QByteArray bytes = ReadAll(FDir.filePath(name));
            for (const QByteArray& form : SaverMarkerForms())
                QVERIFY2(!bytes.contains(form), qPrintable(name + " holds a page in clear"));
            if (name == QLatin1String("vellomar.pgs"))
                continue;
            QVERIFY2(temp.match(name).hasMatch(), qPrintable("unexpected file " + name));
            ++leftovers;
        }
        QVERIFY2(leftovers <= MaxLeftovers, qPrintable(FilesIn(FDir.path()).join(u' ')));
    }

private slots:
    void initTestCase() {
        QVERIFY(FDir.isValid());
        FVault = FDir.filePath(QStringLiteral("vellomar.pgs"));
        for (int v = 0; v < kSaverVariants; ++v) {
            TOwnedPages pages;
            FillSaverPages(pages, v);
            FContent[v] = VaultData(*pages.List, pages.List->Count());
        }
    }

    void killedSavesLeaveAWholeVault() {
        const int kills = qEnvironmentVariableIsSet("VMR_KILLS")
                              ? qEnvironmentVariableIntValue("VMR_KILLS")
                              : 200;
        const unsigned seed = qEnvironmentVariableIsSet("VMR_KILL_SEED")
                                  ? unsigned(qEnvironmentVariableIntValue("VMR_KILL_SEED"))
                                  : std::random_device()();
        qInfo("%d kills, VMR_KILL_SEED=%u", kills, seed);
        std::mt19937 rng(seed);

        // Generation 0 on disk, and how long one save takes here: the kills
        // fall anywhere in the first two saves of each saver.
        TOwnedPages first;
        FillSaverPages(first, 0);
        QElapsedTimer timer;
        timer.start();
        WriteVaultFile(FVault, *first.List, first.List->Count());
        const qint64 saveUs = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);
        std::uniform_int_distribution<qint64> delayUs(0, 2 * saveUs);

        long long onDisk = 0;
        int beforeCommit = 0, afterCommit = 0, leftovers = 0;
        for (int k = 0; k < kills; ++k) {
            // Every other saver writes through a named temporary file.
            const bool fallback = k % 2 == 1;
            const long long start = onDisk + 1;
            QProcess saver;
            QStringList args{FVault, QString::number(start)};
            if (fallback)
                args << QStringLiteral("fallback");
            saver.start(QStringLiteral(VMR_SAVER), args);
            QVERIFY(saver.waitForStarted(60000));
            QVERIFY2(saver.waitForReadyRead(60000), saver.readAllStandardError().constData());
            QThread::usleep(delayUs(rng));
            saver.kill();
            QVERIFY(saver.waitForFinished(60000));
            QVERIFY2(saver.exitStatus() == QProcess::CrashExit,
                     saver.readAllStandardError().constData());

            const long long announced = LastAnnounced(saver.readAllStandardOutput());
            QVERIFY(announced >= start);
            const QByteArray disk = ReadAll(FVault);
            if (disk == Content(announced)) {
                onDisk = announced;
                ++afterCommit;
            } else if (disk == Content(announced - 1)) {
                onDisk = announced - 1;
                ++beforeCommit;
            } else {
                QFAIL(qPrintable(QStringLiteral("kill %1: the vault is neither generation %2 "
                                                "nor %3 (%4 bytes)")
                                     .arg(k)
                                     .arg(announced - 1)
                                     .arg(announced)
                                     .arg(disk.size())));
            }
            TReadPages read;
            ReadVaultFile(FVault, CollectInto(read));
            QCOMPARE(read.size(), size_t(8));

            // A save that completed in this round removed the older leftovers;
            // only the interrupted one may have left its temporary file.
            const int before = int(FilesIn(FDir.path()).size()) - 1;
            leftovers += before > 0 ? 1 : 0;
            CheckFolder(announced > start ? 1 : kills);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("%d kills survived: %d before the new file was in place, %d after; "
              "%d left a temporary file",
              kills, beforeCommit, afterCommit, leftovers);

        // One save that completes leaves the vault alone in its folder.
        TOwnedPages next;
        FillSaverPages(next, int((onDisk + 1) % kSaverVariants));
        WriteVaultFile(FVault, *next.List, next.List->Count());
        QCOMPARE(FilesIn(FDir.path()), QStringList(QStringLiteral("vellomar.pgs")));
        QCOMPARE(ReadAll(FVault), Content(onDisk + 1));
    }
};

QTEST_GUILESS_MAIN(TestKillSave)
#include "tst_KillSave.moc"
