#include "LockedFile.h"
#include "vmr_damaged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void Write(const QString& Name, const QByteArray& Bytes) {
    QFile f(Name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(Bytes);
}
QByteArray Read(const QString& Name) {
    QFile f(Name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TestVaultAside : public QObject {
    Q_OBJECT
private slots:
    void takesTheFirstFreeName() {
        QTemporaryDir dir;
        const QString vault = dir.filePath(QStringLiteral("v.pgs"));
        QCOMPARE(DamagedVaultName(vault), vault + QStringLiteral(".damaged"));
        Write(vault + QStringLiteral(".damaged"), "1");
        QCOMPARE(DamagedVaultName(vault), vault + QStringLiteral(".damaged-2"));
        Write(vault + QStringLiteral(".damaged-2"), "2");
        // A dangling link takes its name too.
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")),
                            vault + QStringLiteral(".damaged-3")));
        QCOMPARE(DamagedVaultName(vault), vault + QStringLiteral(".damaged-4"));
    }

    void movesTheFileAndReplacesNothing() {
        QTemporaryDir dir;
        const QString vault = dir.filePath(QStringLiteral("v.pgs"));
        Write(vault, "damaged bytes");
        Write(vault + QStringLiteral(".damaged"), "older");
        const QString moved = MoveVaultAside(vault);
        QCOMPARE(moved, vault + QStringLiteral(".damaged-2"));
        QVERIFY(!QFile::exists(vault));
        QCOMPARE(Read(moved), QByteArray("damaged bytes"));
        QCOMPARE(Read(vault + QStringLiteral(".damaged")), QByteArray("older"));
    }

    void aMissingFileNeedsNoMove() {
        QTemporaryDir dir;
        QCOMPARE(MoveVaultAside(dir.filePath(QStringLiteral("v.pgs"))), QString());
    }

    // A name too long for the file system cannot be made; the file stays.
    void aFailedMoveRaisesAndKeepsTheFile() {
        QTemporaryDir dir;
        const QString vault = dir.filePath(QString(248, u'v') + QStringLiteral(".pgs"));
        Write(vault, "damaged bytes");
        try {
            MoveVaultAside(vault);
            QFAIL("no error");
        } catch (const EFileError& e) {
            const QString msg = QString::fromUtf8(e.what());
            QVERIFY2(
                msg.startsWith(QStringLiteral("Cannot move the damaged vault file \"") + vault),
                qPrintable(msg));
            QVERIFY(msg.endsWith(QLatin1String("Nothing was saved.")));
        }
        QCOMPARE(Read(vault), QByteArray("damaged bytes"));
    }
};

QTEST_GUILESS_MAIN(TestVaultAside)
#include "tst_VaultAside.moc"
