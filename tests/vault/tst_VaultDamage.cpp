#include "FileFaults.h"
#include "vault/PageFixtures.h"
#include "vmr_vault.h"

#include <QtTest>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

namespace {
// data/three-pages.pgs: records end at bytes 60, 100 and 108.
QByteArray Fixture() {
    QFile f(QStringLiteral(VMR_TEST_DATA "/three-pages.pgs"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Int(qint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// The process's peak virtual size: it rises with any large allocation, even
// one never touched.
qint64 PeakVirtualKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmPeak:"))
            return line.mid(7).trimmed().split(' ').first().toLongLong();
    return -1;
}

const QString Name = QStringLiteral("/home/me/vellomar.pgs");
} // namespace

class TestVaultDamage : public QObject {
    Q_OBJECT
private slots:
    void truncatedAtEveryByte() {
        const QByteArray whole = Fixture();
        QCOMPARE(whole.size(), 108);
        for (int cut = 0; cut < whole.size(); ++cut) {
            TReadPages read;
            try {
                ReadVaultData(whole.left(cut), Name, CollectInto(read));
                QFAIL(qPrintable(QStringLiteral("no error at %1 bytes").arg(cut)));
            } catch (const EVaultDamaged& e) {
                const size_t complete = (cut >= 60) + (cut >= 100);
                QCOMPARE(read.size(), complete);
                QCOMPARE(e.FileName(), Name);
                QVERIFY(e.Offset() <= cut);
                QVERIFY(e.Offset() >= (cut >= 100 ? 100 : cut >= 60 ? 60 : 0));
                QVERIFY(
                    QString::fromStdString(e.Message())
                        .startsWith(QStringLiteral("The vault file \"%1\" is damaged at byte %2: ")
                                        .arg(Name)
                                        .arg(e.Offset())));
            }
        }
        // The pages before the damage are whole.
        TReadPages read;
        QVERIFY_THROWS_EXCEPTION(EVaultDamaged,
                                 ReadVaultData(whole.left(107), Name, CollectInto(read)));
        QCOMPARE(read.size(), size_t(2));
        QCOMPARE(read[1]->Title(), QString("Ideen \u00e4"));
        QCOMPARE(read[1]->Text(), QByteArray("<text>"));
    }

    void damagedFileOnDisk() {
        QTemporaryDir dir;
        const QString path = dir.filePath("v.pgs");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(Fixture().left(70));
        f.close();
        TReadPages read;
        try {
            ReadVaultFile(path, CollectInto(read));
            QFAIL("no error raised");
        } catch (const EVaultDamaged& e) {
            QCOMPARE(e.FileName(), path);
            QCOMPARE(e.Offset(), 60);
            QCOMPARE(QString::fromStdString(e.Message()),
                     QStringLiteral("The vault file \"%1\" is damaged at byte 60: "
                                    "page 2 of 3 runs past the end of the file.")
                         .arg(path));
        }
        QCOMPARE(read.size(), size_t(1));
    }

    // A read that fails is no damage, wherever it falls: the file is named
    // with the system's reason, and the pages read before it are whole.
    void failedReadIsNoDamage_data() {
        QTest::addColumn<int>("failingRead");
        QTest::addColumn<bool>("identity");
        QTest::addColumn<int>("pagesBefore");
        QTest::newRow("first read") << 1 << false << 0;
        QTest::newRow("inside the large page") << 2 << false << 1;
        QTest::newRow("after the last record") << 3 << true << 2;
    }
    void failedReadIsNoDamage() {
        QFETCH(int, failingRead);
        QFETCH(bool, identity);
        QFETCH(int, pagesBefore);
        QTemporaryDir dir;
        const QString path = dir.filePath("v.pgs");
        // Larger than the reader's window, so that it reads more than once.
        TOwnedPages pages;
        pages.Add(QStringLiteral("small"), "a");
        pages.Add(QStringLiteral("large"), QByteArray(300 * 1024, 'b'));
        WriteVaultFile(path, *pages.List, 2);
        int reads = 0;
        SetFileCallHook([&](TFileCall Call) {
            return Call == TFileCall::Read && ++reads == failingRead ? EIO : 0;
        });
        const auto unhook = qScopeGuard([] { SetFileCallHook({}); });
        TReadPages read;
        TFileIdentity id;
        try {
            ReadVaultFile(path, CollectInto(read), identity ? &id : nullptr);
            QFAIL("no error raised");
        } catch (const EVaultDamaged& e) {
            QFAIL(e.what());
        } catch (const EFileError& e) {
            QCOMPARE(QString::fromStdString(e.Message()),
                     QStringLiteral("Cannot read file \"%1\". %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(EIO))));
        }
        QCOMPARE(read.size(), size_t(pagesBefore));
        for (int i = 0; i < pagesBefore; ++i)
            QCOMPARE(read[size_t(i)]->Text(), pages.List->GetPages(i)->Text());
    }

    void impossibleCountsAndLengths_data() {
        const QByteArray whole = Fixture();
        const QByteArray record = whole.mid(4, 56);
        const QByteArray title = whole.mid(4, 20);
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("pagesKept");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("reason");
        QTest::newRow("negative count")
            << Int(-1) + record << 0 << 0 << "the page count is negative";
        QTest::newRow("huge count")
            << Int(INT_MAX) + record << 1 << 60 << "the file ends inside page 2 of 2147483647";
        QTest::newRow("negative title length") << Int(1) + Int(-16) + QByteArray(64, 'x') << 0 << 4
                                               << "a length in page 1 of 1 is negative";
        QTest::newRow("huge title length") << Int(1) + Int(INT_MAX) + QByteArray(64, 'x') << 0 << 4
                                           << "page 1 of 1 runs past the end of the file";
        QTest::newRow("huge text length") << Int(1) + title + Int(0x7ffffff0) + QByteArray(64, 'x')
                                          << 0 << 24 << "page 1 of 1 runs past the end of the file";
        QTest::newRow("one byte past the end") << Int(1) + Int(17) + QByteArray(16, 'x') << 0 << 4
                                               << "page 1 of 1 runs past the end of the file";
        QTest::newRow("negative text length, second page")
            << Int(2) + record + title + Int(INT_MIN) << 1 << 80
            << "a length in page 2 of 2 is negative";
    }
    void impossibleCountsAndLengths() {
        QFETCH(QByteArray, data);
        QFETCH(int, pagesKept);
        QFETCH(int, offset);
        QFETCH(QString, reason);
        const qint64 peakBefore = PeakVirtualKiB();
        TReadPages read;
        try {
            ReadVaultData(data, Name, CollectInto(read));
            QFAIL("no error raised");
        } catch (const EVaultDamaged& e) {
            QCOMPARE(e.Offset(), offset);
            QCOMPARE(QString::fromStdString(e.Message()),
                     QStringLiteral("The vault file \"%1\" is damaged at byte %2: %3.")
                         .arg(Name)
                         .arg(offset)
                         .arg(reason));
        }
        QCOMPARE(read.size(), size_t(pagesKept));
        // Nothing was allocated for the length or count that the file claims.
        QVERIFY(peakBefore > 0);
        QVERIFY2(
            PeakVirtualKiB() - peakBefore < 64 * 1024,
            qPrintable(QStringLiteral("peak grew by %1 KiB").arg(PeakVirtualKiB() - peakBefore)));
    }

    void lengthsThatAreNoMultipleOfSixteenStillRead() {
        TReadPages read;
        ReadVaultData(Int(1) + Int(5) + QByteArray(5, 'a') + Int(3) + QByteArray(3, 'b'), Name,
                      CollectInto(read));
        QCOMPARE(read.size(), size_t(1));
    }

    // Altered bytes give pages or a damage report, and nothing else.
    void alteredBytesNeverCrash() {
        const QByteArray whole = Fixture();
        std::mt19937 rng(7);
        for (int round = 0; round < 3000; ++round) {
            QByteArray data = whole.left(qsizetype(rng() % (whole.size() + 1)));
            for (int flips = 1 + int(rng() % 4); flips > 0 && !data.isEmpty(); --flips)
                data[qsizetype(rng() % data.size())] = char(rng());
            TReadPages read;
            try {
                ReadVaultData(data, Name, CollectInto(read));
            } catch (const EVaultDamaged&) {
            }
            QVERIFY(read.size() <= size_t(data.size() / 8)); // each record takes 8 bytes at least
        }
    }
};

QTEST_GUILESS_MAIN(TestVaultDamage)
#include "tst_VaultDamage.moc"
