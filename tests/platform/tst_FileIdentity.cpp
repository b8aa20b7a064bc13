// The hash and the file identity that tell a save whether another program
// changed the file since it was read or written here.

#include "FileFaults.h"
#include "FileIdentity.h"
#include "LockedFile.h"

#include <QtTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray RandomBytes(qsizetype Size, unsigned Seed) {
    std::mt19937 rng(Seed);
    QByteArray bytes(Size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(rng());
    return bytes;
}

// Whether the file at Path, opened, is still what Known describes.
bool StillSame(const TFileIdentity& Known, const QString& Path) {
    const int fd = ::open(QFile::encodeName(Path).constData(), O_RDONLY | O_CLOEXEC);
    TFileIdentity now;
    const bool same = StillSameFile(Known, fd, now);
    if (fd >= 0)
        ::close(fd);
    return same;
}

TFileIdentity Identity(const QString& Path) {
    const QByteArray bytes = [&] {
        QFile f(Path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const int fd = ::open(QFile::encodeName(Path).constData(), O_RDONLY | O_CLOEXEC);
    const TFileIdentity id = IdentityOfHandle(fd, ContentHash(bytes.constData(), bytes.size()));
    ::close(fd);
    return id;
}
} // namespace

class TestFileIdentity : public QObject {
    Q_OBJECT
private slots:
    // Fed in pieces of any size, the hash is that of the whole.
    void piecesMakeTheWhole_data() {
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 7, 8, 31, 32, 33, 63, 64, 65, 1000, 65537})
            QTest::addRow("%d bytes", size) << size;
    }
    void piecesMakeTheWhole() {
        QFETCH(int, size);
        const QByteArray data = RandomBytes(size, unsigned(size));
        const quint64 whole = ContentHash(data.constData(), data.size());
        std::mt19937 rng(7);
        for (int round = 0; round < 50; ++round) {
            TContentHash hash;
            for (qsizetype at = 0; at < data.size();) {
                const qsizetype n = std::min<qsizetype>(data.size() - at, rng() % 40);
                hash.Add(data.constData() + at, n);
                at += n;
            }
            QCOMPARE(hash.Value(), whole);
            QCOMPARE(hash.Size(), qint64(size));
        }
    }

    // Every single-bit change, and every change of length by zero bytes,
    // gives another hash.
    void everySmallChangeShows() {
        const QByteArray data = RandomBytes(100, 1);
        QSet<quint64> seen{ContentHash(data.constData(), data.size())};
        for (qsizetype byte = 0; byte < data.size(); ++byte)
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray changed = data;
                changed[byte] = char(changed[byte] ^ (1 << bit));
                seen.insert(ContentHash(changed.constData(), changed.size()));
            }
        QCOMPARE(seen.size(), 1 + 800);
        const QByteArray zeros(64, '\0');
        QSet<quint64> lengths;
        for (qsizetype n = 0; n <= zeros.size(); ++n)
            lengths.insert(ContentHash(zeros.constData(), n));
        QCOMPARE(lengths.size(), 65);
    }

    void stillSameFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f"));
        ReplaceFileContent(path, RandomBytes(5000, 2));
        const TFileIdentity known = Identity(path);
        QVERIFY(known.Exists);
        QCOMPARE(known.Size, qint64(5000));
        QVERIFY(StillSame(known, path));

        // A new time, or a new file with the same bytes, changes nothing.
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0) == 0);
        QVERIFY(StillSame(known, path));
        ReplaceFileContent(path, RandomBytes(5000, 2));
        QVERIFY(StillSame(known, path));

        // Other bytes in place, the times put back: the change time tells.
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        const TFileIdentity renamed = Identity(path);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(4000);
            f.write("x");
        }
        const timespec times[2] = {st.st_atim, st.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
        QVERIFY(!StillSame(renamed, path));

        // Existence both ways.
        QVERIFY(!StillSame(TFileIdentity(), path));
        QVERIFY(QFile::remove(path));
        QVERIFY(!StillSame(known, path));
        QVERIFY(StillSame(TFileIdentity(), path));
    }

    // A replacement reports the identity of the file it put in place, and
    // one that expects another file leaves it alone.
    void replacementChecksAndReports() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f"));
        const TFileIdentity missing;
        TFileIdentity written;
        const auto put = [](const QByteArray& Data) {
            return [Data](const TPutBytes& Put) { Put(Data.constData(), Data.size()); };
        };
        ReplaceFileContent(path, put("first"), TFlush::ToDisk, {&missing, &written});
        QCOMPARE(written, Identity(path));

        const TFileIdentity mine = written;
        ReplaceFileContent(path, put("theirs"));
        try {
            ReplaceFileContent(path, put("second"), TFlush::ToDisk, {&mine, &written});
            QFAIL("the changed file was overwritten");
        } catch (const EFileChanged& e) {
            QCOMPARE(e.Now(), Identity(path));
        }
        QCOMPARE(Identity(path).Size, qint64(6));
        QCOMPARE(written, mine);
        try {
            ReplaceFileContent(path, put("created"), TFlush::ToDisk, {&missing, &written});
            QFAIL("an existing file was taken for a missing one");
        } catch (const EFileChanged&) {
        }
    }

    // A file whose bytes must be compared and cannot be read is not taken
    // for another program's save: the replacement fails with the reason,
    // and the file stays as it was.
    void unreadableFileIsNeitherSameNorReplaced() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f"));
        TFileIdentity known;
        ReplaceFileContent(path, [](const TPutBytes& Put) { Put("mine", 4); }, TFlush::ToDisk,
                           {nullptr, &known});
        // Touched: only the bytes can tell.
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0) == 0);
        SetFileCallHook([](TFileCall Call) { return Call == TFileCall::Read ? EIO : 0; });
        const auto unhook = qScopeGuard([] { SetFileCallHook({}); });

        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        TFileIdentity now;
        int readError = -1;
        QVERIFY(!StillSameFile(known, fd, now, &readError));
        QCOMPARE(readError, EIO);
        ::close(fd);

        try {
            ReplaceFileContent(path, [](const TPutBytes& Put) { Put("next", 4); }, TFlush::ToDisk,
                               {&known, nullptr});
            QFAIL("the file was replaced");
        } catch (const EFileChanged&) {
            QFAIL("a read error was taken for a change");
        } catch (const EFileError& e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral("Cannot read file \"%1\". %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(EIO))));
        }
        SetFileCallHook({});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("mine"));
        QVERIFY(StillSame(known, path));
    }
};

QTEST_GUILESS_MAIN(TestFileIdentity)
#include "tst_FileIdentity.moc"
