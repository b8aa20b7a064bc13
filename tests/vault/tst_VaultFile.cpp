#include "LockedFile.h"
#include "common/FileHooks.h"
#include "common/OpenSslOracle.h"
#include "common/Unprivileged.h"
#include "vault/PageFixtures.h"
#include "vmr_vault.h"

#include <QtTest>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray Fixture() {
    QFile f(QStringLiteral(VMR_TEST_DATA "/three-pages.pgs"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteRaw(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

qint32 IntAt(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<qint32>(data.constData() + at);
}

// The encrypted fields of a vault, split by their length prefixes alone.
QList<QByteArray> Fields(const QByteArray& data) {
    QList<QByteArray> fields;
    qsizetype at = 4;
    for (int i = 0; i < 2 * IntAt(data, 0); ++i) {
        const qint32 n = IntAt(data, at);
        fields << data.mid(at + 4, n);
        at += 4 + n;
    }
    return fields;
}

QByteArray Utf16Le(const QString& s) {
    QByteArray bytes;
    for (QChar c : s) {
        bytes += char(c.unicode() & 0xFF);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

QString MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return QString::fromStdString(e.Message());
    }
    return QString();
}

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QStringList FilesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// Lowers the largest file size this process may write, for its lifetime.
struct TFileSizeLimit {
    rlimit Old{};
    explicit TFileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN); // a plain EFBIG instead of the signal
        getrlimit(RLIMIT_FSIZE, &Old);
        rlimit lower = Old;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &Old); }
};

// Another holder of the vault's lock, as another process would be.
struct TForeignLock {
    int Fd;
    explicit TForeignLock(const QString& path)
        : Fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {
        ::flock(Fd, LOCK_EX);
    }
    ~TForeignLock() { ::close(Fd); }
};

int Comparisons = 0;
int CountedCompare(TObject* a, TObject* b) {
    ++Comparisons;
    return ComparePageTitles(a, b);
}
} // namespace

class TestVaultFile : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QString FVault;

private slots:
    void init() {
        QVERIFY(FDir.isValid());
        FVault = FDir.filePath(QStringLiteral("vellomar.pgs"));
        QFile::remove(FVault);
        QDir(FVault).removeRecursively();
    }

    void vaultFileName_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("vault");
        QTest::newRow("no extension") << "/opt/vmr/vellomar"
                                      << "/opt/vmr/vellomar.pgs";
        QTest::newRow("extension") << "/opt/vmr/notebook.exe"
                                   << "/opt/vmr/notebook.pgs";
        QTest::newRow("last dot only") << "/x/a.tar.gz"
                                       << "/x/a.tar.pgs";
        QTest::newRow("dot in a folder") << "/home/a.b/vellomar"
                                         << "/home/a.b/vellomar.pgs";
        QTest::newRow("trailing dot") << "/x/prog."
                                      << "/x/prog.pgs";
        QTest::newRow("windows path") << "C:\\Notes\\notebook.exe"
                                      << "C:\\Notes\\notebook.pgs";
    }
    void vaultFileName() {
        QFETCH(QString, exe);
        QFETCH(QString, vault);
        QCOMPARE(VaultFileName(exe), vault);
    }

    void defaultPageMakesSixtyBytes() {
        TOwnedPages pages;
        pages.Add("<empty page>", "<text>");
        WriteVaultFile(FVault, *pages.List, 1);
        const QByteArray data = ReadAll(FVault);
        QCOMPARE(data.size(), 60);
        QCOMPARE(IntAt(data, 0), 1);
        QCOMPARE(IntAt(data, 4), 32);
        QCOMPARE(IntAt(data, 40), 16);
    }

    // Every encrypted field is what openssl makes of the zero-padded field.
    void fieldsMatchAnIndependentCipher() {
        const QStringList titles = {"<empty page>", "Notes",     "Ideen \u00e4", "",
                                    "abcdefgh",     "abcdefghi", "Wait\u2026"};
        const QList<QByteArray> texts = {
            "<text>", "{\\rtf1 x}", "", QByteArray("a\0b", 3), QByteArray(40, 'r'), "", "t "};
        TOwnedPages pages;
        for (int i = 0; i < titles.size(); ++i)
            pages.Add(titles[i], texts[i]);
        WriteVaultFile(FVault, *pages.List, pages.List->Count());
        const QByteArray data = ReadAll(FVault);
        QCOMPARE(IntAt(data, 0), int(titles.size()));
        const QList<QByteArray> fields = Fields(data);
        qsizetype expectedSize = 4;
        for (int i = 0; i < fields.size(); ++i) {
            QByteArray plain = i % 2 ? texts[i / 2] : Utf16Le(titles[i / 2]);
            plain.append((16 - plain.size() % 16) % 16, '\0');
            const QByteArray expected =
                plain.isEmpty()
                    ? QByteArray()
                    : QByteArray::fromStdString(OpenSslEcbEncrypt(VaultKey, plain.toStdString()));
            QVERIFY2(plain.isEmpty() || !expected.isEmpty(), "openssl is needed");
            QCOMPARE(fields[i].toHex(), expected.toHex());
            expectedSize += 4 + expected.size();
        }
        QCOMPARE(data.size(), expectedSize); // nothing after the last record
        // 8 title characters fill one block, 9 need two.
        QCOMPARE(fields[8].size(), 16);
        QCOMPARE(fields[10].size(), 32);
    }

    // A vault made by openssl alone reads, and writing its pages again gives
    // the same bytes.
    void readsAndWritesAnIndependentVault() {
        TReadPages read;
        const QString fixture = QStringLiteral(VMR_TEST_DATA "/three-pages.pgs");
        ReadVaultFile(fixture, CollectInto(read));
        QCOMPARE(read.size(), size_t(3));
        QCOMPARE(read[0]->Title(), QString("Notes"));
        QCOMPARE(read[0]->Text(), QByteArray("{\\rtf1\\ansi Hello}"));
        QCOMPARE(read[1]->Title(), QString("Ideen \u00e4"));
        QCOMPARE(read[1]->Text(), QByteArray("<text>"));
        QCOMPARE(read[2]->Title(), QString());
        QCOMPARE(read[2]->Text(), QByteArray());
        TOwnedPages pages;
        for (auto& p : read)
            pages.List->Add(p.release());
        WriteVaultFile(FVault, *pages.List, 3);
        QCOMPARE(ReadAll(FVault), Fixture());
    }

    void titlesAndTextsRoundTrip_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("textRead");
        QTest::newRow("empty") << "" << QByteArray() << QByteArray();
        QTest::newRow("Notes") << "Notes" << QByteArray("<text>") << QByteArray("<text>");
        QTest::newRow("last character below U+0100")
            << "Ideen \u00e4" << QByteArray("x") << QByteArray("x");
        QTest::newRow("one character") << "a" << QByteArray() << QByteArray();
        QTest::newRow("eight characters") << "abcdefgh" << QByteArray() << QByteArray();
        QTest::newRow("ending in a space") << "Notes " << QByteArray() << QByteArray();
        QTest::newRow("ending in spaces") << "  a  " << QByteArray() << QByteArray();
        QTest::newRow("ellipsis") << "Wait\u2026" << QByteArray() << QByteArray();
        QTest::newRow("euro sign") << "5 \u20ac" << QByteArray() << QByteArray();
        QTest::newRow("dagger, two 0x20 bytes") << "x\u2020" << QByteArray() << QByteArray();
        QTest::newRow("en quad") << "\u2000" << QByteArray() << QByteArray();
        QTest::newRow("U+0100") << "\u0100" << QByteArray() << QByteArray();
        QTest::newRow("CJK") << "\u65e5\u672c" << QByteArray() << QByteArray();
        QTest::newRow("surrogate pair") << "\U0001F600" << QByteArray() << QByteArray();
        QTest::newRow("zero bytes inside a text")
            << "t" << QByteArray("a\0\0b", 4) << QByteArray("a\0\0b", 4);
        QTest::newRow("trailing spaces of a text are not kept")
            << "t" << QByteArray("abc  ") << QByteArray("abc");
        QTest::newRow("RTF") << "rtf" << QByteArray("{\\rtf1\\ansi\\deff0 {\\b bold}\\par\r\n}")
                             << QByteArray("{\\rtf1\\ansi\\deff0 {\\b bold}\\par\r\n}");
    }
    void titlesAndTextsRoundTrip() {
        QFETCH(QString, title);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, textRead);
        TOwnedPages pages;
        pages.Add(title, text);
        WriteVaultFile(FVault, *pages.List, 1);
        TReadPages read;
        ReadVaultFile(FVault, CollectInto(read));
        QCOMPARE(read.size(), size_t(1));
        QCOMPARE(read[0]->Title(), title);
        QCOMPARE(read[0]->Text(), textRead);
    }

    void trimStr() {
        QCOMPARE(TrimStr(std::string("N\0o\0t\0e\0s", 9)), QString("Notes"));
        QCOMPARE(TrimStr(std::string()), QString());
        QCOMPARE(TrimStr(std::string("\xac\x20", 2)), QString("\u20ac"));
    }

    void emptyListAndZeroCount() {
        TOwnedPages pages;
        pages.Add("not written");
        WriteVaultFile(FVault, *pages.List, 0);
        QCOMPARE(ReadAll(FVault), QByteArray(4, '\0'));
        TReadPages read;
        ReadVaultFile(FVault, CollectInto(read));
        QVERIFY(read.empty());
    }

    void shorterContentReplacesALongerFile() {
        TOwnedPages pages;
        pages.Add("long", QByteArray(5000, 'x'));
        pages.Add("longer", QByteArray(9000, 'y'));
        WriteVaultFile(FVault, *pages.List, 2);
        TOwnedPages fewer;
        fewer.Add("short", "s");
        WriteVaultFile(FVault, *fewer.List, 1);
        QCOMPARE(ReadAll(FVault), VaultData(*fewer.List, 1));
        TReadPages read;
        ReadVaultFile(FVault, CollectInto(read));
        QCOMPARE(read.size(), size_t(1));
        QCOMPARE(read[0]->Title(), QString("short"));
    }

    void bytesAfterTheLastRecordAreIgnored() {
        QVERIFY(WriteRaw(FVault, Fixture() + QByteArray("\xff\xff\xff\x7f trailing")));
        TReadPages read;
        ReadVaultFile(FVault, CollectInto(read));
        QCOMPARE(read.size(), size_t(3));
    }

    void writeRejectsACountOutsideTheList() {
        QVERIFY(WriteRaw(FVault, Fixture()));
        TOwnedPages pages;
        pages.Add("a");
        pages.Add("b");
        QCOMPARE(MessageOf([&] { WriteVaultFile(FVault, *pages.List, 3); }),
                 QString("List index out of bounds (2)"));
        QCOMPARE(MessageOf([&] { WriteVaultFile(FVault, *pages.List, -1); }),
                 QString("List count out of bounds (-1)"));
        QCOMPARE(ReadAll(FVault), Fixture());
    }

    void newVaultIsPrivateAndAnOldOneKeepsItsMode() {
        const mode_t oldMask = ::umask(022);
        TOwnedPages pages;
        pages.Add("p");
        WriteVaultFile(FVault, *pages.List, 1);
        QFileInfo info(FVault);
        QCOMPARE(int(info.permissions() & 0x0777), int(QFile::ReadUser | QFile::WriteUser));
        ::chmod(QFile::encodeName(FVault).constData(), 0640);
        WriteVaultFile(FVault, *pages.List, 1);
        struct stat st;
        ::stat(QFile::encodeName(FVault).constData(), &st);
        ::umask(oldMask);
        QCOMPARE(int(st.st_mode & 07777), 0640);
    }

    void aLinkedVaultIsWrittenThroughTheLink() {
        const QString target = FDir.filePath("elsewhere.pgs");
        QVERIFY(WriteRaw(target, Fixture()));
        QVERIFY(QFile::link(target, FVault));
        TOwnedPages pages;
        pages.Add("p");
        WriteVaultFile(FVault, *pages.List, 1);
        QVERIFY(QFileInfo(FVault).isSymLink());
        QCOMPARE(ReadAll(target), VaultData(*pages.List, 1));
        QFile::remove(target);
    }

    // The benchmarks' write without the flush writes the same file.
    void writeWithoutFlushWritesTheSameBytes() {
        QVERIFY(WriteRaw(FVault, QByteArray(500, 'x')));
        TOwnedPages pages;
        pages.Add("p", "text");
        WriteVaultFile(FVault, *pages.List, 1, TFlush::None);
        QCOMPARE(ReadAll(FVault), VaultData(*pages.List, 1));
        QCOMPARE(FilesIn(FDir.path()), QStringList("vellomar.pgs"));
    }

    void missingFileCannotBeRead() {
        TReadPages read;
        QCOMPARE(MessageOf([&] { ReadVaultFile(FVault, CollectInto(read)); }),
                 QStringLiteral("Cannot open file \"%1\". %2").arg(FVault, SystemText(ENOENT)));
        QVERIFY(read.empty());
    }

    // A lock held past the wait: neither read nor written. The wait polls,
    // and without a wait there is one try.
    void lockedVaultIsNeitherReadNorWritten_data() {
        QTest::addColumn<int>("waitMs");
        QTest::newRow("no wait") << 0;
        QTest::newRow("short wait") << 50;
    }
    void lockedVaultIsNeitherReadNorWritten() {
        QFETCH(int, waitMs);
        QVERIFY(WriteRaw(FVault, Fixture()));
        const QString inUse =
            QStringLiteral("Cannot open file \"%1\". It is in use by another copy of Vellomar.")
                .arg(FVault);
        TOwnedPages pages;
        pages.Add("new");
        TReadPages read;
        {
            const TLockWait wait{std::chrono::milliseconds(waitMs)};
            TForeignLock lock(FVault);
            int tries = 0;
            const TFileHook count([&](TFileCall Call) {
                tries += Call == TFileCall::Lock;
                return 0;
            });
            QCOMPARE(MessageOf([&] { ReadVaultFile(FVault, CollectInto(read)); }), inUse);

            QVERIFY(waitMs == 0 ? tries == 1 : tries > 1);
            QCOMPARE(MessageOf([&] { WriteVaultFile(FVault, *pages.List, 1); }), inUse);
            QVERIFY_THROWS_EXCEPTION(EVaultInUse, ReadVaultFile(FVault, CollectInto(read)));
            QVERIFY_THROWS_EXCEPTION(EVaultInUse, WriteVaultFile(FVault, *pages.List, 1));
        }
        QVERIFY(read.empty());
        QCOMPARE(ReadAll(FVault), Fixture());
        WriteVaultFile(FVault, *pages.List, 1); // free again
        ReadVaultFile(FVault, CollectInto(read));
        QCOMPARE(read.size(), size_t(1));
    }

    // Another process's save holds the lock for a moment: reading and
    // writing wait until it lets go, however long the wait may be.
    void lockReleasedDuringTheWait_data() {
        QTest::addColumn<bool>("write");
        QTest::newRow("read") << false;
        QTest::newRow("write") << true;
    }
    void lockReleasedDuringTheWait() {
        QFETCH(bool, write);
        QVERIFY(WriteRaw(FVault, Fixture()));
        const TLockWait wait{std::chrono::minutes(10)};
        auto lock = std::make_unique<TForeignLock>(FVault);
        int tries = 0;
        const TFileHook release([&](TFileCall Call) {
            if (Call == TFileCall::Lock && ++tries == 3)
                lock.reset();
            return 0;
        });
        TOwnedPages pages;
        pages.Add("new");
        TReadPages read;
        if (write) {
            WriteVaultFile(FVault, *pages.List, 1);
            QCOMPARE(ReadAll(FVault), VaultData(*pages.List, 1));
        } else {
            ReadVaultFile(FVault, CollectInto(read));
            QCOMPARE(read.size(), size_t(3));
        }
        QCOMPARE(tries, 3);
    }

    // A save that renames its new file into place between our open and our
    // lock leaves us holding the old file: it is opened again, and the new
    // content is what is read.
    void fileRenamedIntoPlaceIsOpenedAgain() {
        QVERIFY(WriteRaw(FVault, Fixture()));
        TOwnedPages theirs;
        theirs.Add("theirs");
        const QString next = FVault + QStringLiteral(".next");
        QVERIFY(WriteRaw(next, VaultData(*theirs.List, 1)));
        int tries = 0;
        const TFileHook rename([&](TFileCall Call) {
            if (Call == TFileCall::Lock && ++tries == 1)
                ::rename(QFile::encodeName(next).constData(),
                         QFile::encodeName(FVault).constData());
            return 0;
        });
        TReadPages read;
        ReadVaultFile(FVault, CollectInto(read));
        QCOMPARE(tries, 2);
        QCOMPARE(read.size(), size_t(1));
        QCOMPARE(read[0]->Title(), QStringLiteral("theirs"));
    }

    // The reader holds the lock as well: a writer cannot slip in meanwhile.
    void readerHoldsTheLock() {
        QVERIFY(WriteRaw(FVault, Fixture()));
        const TLockWait wait{std::chrono::milliseconds(20)};
        TOwnedPages pages;
        pages.Add("new");
        QString messageDuringRead;
        ReadVaultFile(FVault, [&](TPage* p) {
            delete p;
            if (messageDuringRead.isEmpty())
                messageDuringRead = MessageOf([&] { WriteVaultFile(FVault, *pages.List, 1); });
        });
        QVERIFY(messageDuringRead.contains("in use by another copy of Vellomar"));
        QCOMPARE(ReadAll(FVault), Fixture());
    }

    void failedSaveLeavesTheOldVault() {
        QVERIFY(WriteRaw(FVault, Fixture()));
        TOwnedPages pages;
        pages.Add("big", QByteArray(64 * 1024, 'b'));
        QString message;
        {
            const TFileSizeLimit limit(4096);
            message = MessageOf([&] { WriteVaultFile(FVault, *pages.List, 1); });
        }
        QCOMPARE(message,
                 QStringLiteral("Cannot write file \"%1\". %2").arg(FVault, SystemText(EFBIG)));
        QCOMPARE(ReadAll(FVault), Fixture());
        QCOMPARE(FilesIn(FDir.path()), QStringList("vellomar.pgs")); // no temporary file left
    }

    void failedOpenOrCreateWritesNothing() {
        TOwnedPages pages;
        pages.Add("p");
        const QString noFolder = FDir.filePath("missing/vellomar.pgs");
        QCOMPARE(MessageOf([&] { WriteVaultFile(noFolder, *pages.List, 1); }),
                 QStringLiteral("Cannot create file \"%1\". %2").arg(noFolder, SystemText(ENOENT)));
        QVERIFY(QDir().mkdir(FVault)); // a folder where the vault should be
        QCOMPARE(MessageOf([&] { WriteVaultFile(FVault, *pages.List, 1); }),
                 QStringLiteral("Cannot open file \"%1\". %2").arg(FVault, SystemText(EISDIR)));
        TReadPages read;
        QCOMPARE(MessageOf([&] { ReadVaultFile(FVault, CollectInto(read)); }),
                 QStringLiteral("Cannot open file \"%1\". It is not a regular file.").arg(FVault));
        QVERIFY(QDir().rmdir(FVault));
    }

    void folderWithoutWritePermission() {
        TUnprivileged unprivileged(FDir.path());
        QVERIFY2(unprivileged.Binds(), "file permissions cannot be made to bind here");
        QVERIFY(WriteRaw(FVault, Fixture()));
        ::chmod(QFile::encodeName(FDir.path()).constData(), 0500);
        TOwnedPages pages;
        pages.Add("p");
        const QString message = MessageOf([&] { WriteVaultFile(FVault, *pages.List, 1); });
        ::chmod(QFile::encodeName(FDir.path()).constData(), 0700);
        unprivileged.Restore();
        QVERIFY(message.startsWith(QStringLiteral("Cannot open file \"%1\".").arg(FVault)));
        QCOMPARE(ReadAll(FVault), Fixture());
        QCOMPARE(FilesIn(FDir.path()), QStringList("vellomar.pgs"));
    }

    // The file is read through a window of its own, the data in one piece:
    // texts smaller and larger than the window, and fields across its edges,
    // read the same both ways, and so does a file cut off at any of them.
    void fileAndDataReadAlikeAcrossTheReadWindow() {
        std::mt19937 rng(11);
        const auto bytes = [&](qsizetype Size) {
            QByteArray b(Size, Qt::Uninitialized);
            for (char& c : b)
                c = char('a' + rng() % 26);
            return b;
        };
        TOwnedPages written;
        for (const qsizetype size : {0, 1, 15, 16, 17, 100, 262141, 262144, 262147, 700001, 5})
            for (int k = 0; k < 3; ++k)
                written.Add(QStringLiteral("p%1 %2").arg(size).arg(k), bytes(size));
        WriteVaultFile(FVault, *written.List, written.List->Count());
        const QByteArray whole = ReadAll(FVault);
        // What a read hands over, titles and texts, and what it raises.
        const auto outcome = [](auto&& Read) {
            TReadPages read;
            QString message;
            try {
                Read(read);
            } catch (const Exception& e) {
                message = QString::fromStdString(e.what());
            }
            QByteArray pages;
            for (const auto& p : read)
                pages += p->Title().toUtf8() + '|' + p->Text() + '|';
            return std::make_pair(pages, message);
        };
        for (const qsizetype cut : {whole.size(), whole.size() - 1, whole.size() / 2,
                                    qsizetype(262144), qsizetype(262144 + 7), qsizetype(4 + 3)}) {
            const QByteArray data = whole.left(cut);
            QFile f(FVault);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(data);
            f.close();
            const auto fromFile =
                outcome([&](TReadPages& r) { ReadVaultFile(FVault, CollectInto(r)); });
            const auto fromData =
                outcome([&](TReadPages& r) { ReadVaultData(data, FVault, CollectInto(r)); });
            QCOMPARE(fromFile, fromData);
            QCOMPARE(fromFile.second.isEmpty(), cut == whole.size());
        }
        TReadPages read;
        ReadVaultData(whole, FVault, CollectInto(read));
        QCOMPARE(read.size(), size_t(written.List->Count()));
        for (size_t i = 0; i < read.size(); ++i) {
            QCOMPARE(read[i]->Title(), written.List->GetPages(int(i))->Title());
            QCOMPARE(read[i]->Text(), written.List->GetPages(int(i))->Text());
        }
    }

    // Reading n pages into the list costs O(n log n) comparisons, not n sorts.
    void readingTenThousandPagesComparisons() {
        const int n = 10000;
        std::mt19937 rng(3);
        TOwnedPages written;
        for (int i = 0; i < n; ++i)
            written.Add(QString::number(rng(), 36), "t");
        WriteVaultFile(FVault, *written.List, n);
        TOwnedPages pages;
        Comparisons = 0;
        ReadVaultFile(FVault, [&](TPage* p) { pages.List->AddSorted(p, CountedCompare); });
        QCOMPARE(pages.List->Count(), n);
        for (int i = 1; i < n; ++i)
            QVERIFY(ComparePageTitles(pages.List->GetItems(i - 1), pages.List->GetItems(i)) <= 0);
        const double nLogN = n * std::log2(double(n));
        qInfo("reading %d pages: %d comparisons (n log2 n = %.0f)", n, Comparisons, nLogN);
        QVERIFY(Comparisons <= 2 * nLogN);
    }
};

QTEST_GUILESS_MAIN(TestVaultFile)
#include "tst_VaultFile.moc"
