#include "Stream.h"

#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

namespace {
QString MessageOf(const std::function<void()>& F) {
    try {
        F();
    } catch (const Exception& e) {
        return QString::fromStdString(e.Message());
    }
    return QString();
}
} // namespace

class tst_Stream : public QObject {
    Q_OBJECT

private slots:
    void readWriteSeek_data();
    void readWriteSeek();
    void shortReadsAndWrites();
    void seekBeforeStartFails();
    void fileBeyondFourGigabytes();
    void fileOpenErrors();
};

void tst_Stream::readWriteSeek_data() {
    QTest::addColumn<bool>("onFile");
    QTest::newRow("memory") << false;
    QTest::newRow("file") << true;
}

// Both streams behave alike: positions, overwriting, gaps and reads past the end.
void tst_Stream::readWriteSeek() {
    QFETCH(bool, onFile);
    QTemporaryDir dir;
    std::unique_ptr<TStream> s;
    if (onFile)
        s = std::make_unique<TFileStream>(dir.filePath("s.bin"), TFileStreamMode::Create);
    else
        s = std::make_unique<TMemoryStream>();

    s->WriteBuffer("abcdef", 6);
    QCOMPARE(s->Position(), 6);
    QCOMPARE(s->Seek(-4, TSeekOrigin::Current), 2);
    s->WriteBuffer("XY", 2);
    QCOMPARE(s->Seek(3, TSeekOrigin::End), 9); // past the end
    s->WriteBuffer("!", 1);
    QCOMPARE(s->Size(), 10);

    s->SetPosition(0);
    char buf[16] = {};
    QCOMPARE(s->Read(buf, 16), 10);
    QCOMPARE(QByteArray(buf, 10), QByteArray("abXYef\0\0\0!", 10));
    QCOMPARE(s->Read(buf, 4), 0);
    s->SetPosition(100);
    QCOMPARE(s->Read(buf, 4), 0);
    QCOMPARE(s->Position(), 100);
}

void tst_Stream::shortReadsAndWrites() {
    TMemoryStream s(QByteArray("abc"));
    char buf[4];
    QCOMPARE(MessageOf([&] { s.ReadBuffer(buf, 4); }), QStringLiteral("Stream read error"));
    QCOMPARE(MessageOf([&] { s.ReadBuffer(buf, 0); }), QString());

    // A write far past the end would have to fill the gap: refused, not allocated.
    s.SetPosition(std::int64_t(1) << 40);
    QCOMPARE(MessageOf([&] { s.WriteBuffer("x", 1); }), QStringLiteral("Stream write error"));
    QCOMPARE(s.Size(), 3);
}

void tst_Stream::seekBeforeStartFails() {
    TMemoryStream s(QByteArray("abc"));
    s.SetPosition(2);
    QCOMPARE(MessageOf([&] { s.Seek(-3, TSeekOrigin::Current); }),
             QStringLiteral("Stream seek error"));
    QCOMPARE(s.Position(), 2);
    QCOMPARE(MessageOf([&] { s.Seek(INT64_MAX, TSeekOrigin::End); }),
             QStringLiteral("Stream seek error"));
}

// Positions are 64-bit: a sparse file takes no room on disk.
void tst_Stream::fileBeyondFourGigabytes() {
    QTemporaryDir dir;
    const QString path = dir.filePath("big.bin");
    const std::int64_t far = (std::int64_t(1) << 32) + 10;
    {
        TFileStream s(path, TFileStreamMode::Create);
        s.SetPosition(far);
        s.WriteBuffer("tail", 4);
        QCOMPARE(s.Position(), far + 4);
    }
    TFileStream s(path, TFileStreamMode::OpenReadWrite);
    QCOMPARE(s.Size(), far + 4);
    s.SetPosition(far);
    char buf[4];
    s.ReadBuffer(buf, 4);
    QCOMPARE(QByteArray(buf, 4), QByteArray("tail"));
}

void tst_Stream::fileOpenErrors() {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.bin");
    QCOMPARE(MessageOf([&] { TFileStream(missing, TFileStreamMode::OpenRead); }),
             QString("Cannot open file \"%1\". No such file or directory").arg(missing));
    QCOMPARE(MessageOf([&] { TFileStream(missing, TFileStreamMode::OpenReadWrite); }),
             QString("Cannot open file \"%1\". No such file or directory").arg(missing));
    QVERIFY(!QFile::exists(missing));
    QCOMPARE(MessageOf([&] { TFileStream("/dev/zero", TFileStreamMode::OpenRead); }),
             QStringLiteral("Cannot open file \"/dev/zero\". Not a regular file"));
    QCOMPARE(MessageOf([&] { TFileStream(dir.path(), TFileStreamMode::Create); }),
             QString("Cannot create file \"%1\". Not a regular file").arg(dir.path()));
}

QTEST_GUILESS_MAIN(tst_Stream)
#include "tst_Stream.moc"
