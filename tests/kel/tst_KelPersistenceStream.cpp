#include "PersistFixtures.h"

#include <QTemporaryDir>

namespace {
// A list-object record: the size, the element class, the count, then Body.
QByteArray Record(const QString& ElmClass, qint32 Count, const QByteArray& Body,
                  qint64 ExtraSize = 0) {
    const QByteArray rest = Utf16String(ElmClass) + Int32LE(Count) + Body;
    return Int64LE(8 + rest.size() + ExtraSize) + rest;
}

// An element with nothing of its own to store, in a stream too.
class TMark : public TKelObj {
public:
    KEL_DECLARE_CLASS(TMark)
    void SaveToStream(TStream&) const override {}
    void LoadFromStream(TStream&) override {}
};
KEL_DEFINE_CLASS(TMark, TKelObj)

QByteArray Saved(const TKelListObj& Obj) {
    TMemoryStream s;
    Obj.SaveToStream(s);
    return s.Data();
}
} // namespace

class tst_KelPersistenceStream : public QObject {
    Q_OBJECT

private slots:
    // Far more than any test reads, and the same on every machine.
    void initTestCase() {
        RegisterTestClasses();
        RegisterClass(TMark::StaticClass());
        SetItemMemoryLimit(qint64(256) << 20);
    }
    void cleanupTestCase() { SetItemMemoryLimit(0); }
    void streamStringLayout();
    void streamStringWithoutText_data();
    void streamStringWithoutText();
    void streamStringLongerThanStream();
    void emptyListObjectIs30Bytes();
    void notImplementedAfterHeader();
    void readerEndsBehindRecord();
    void nestedRoundTrip();
    void nestedRoundTripThroughFile();
    void recordWrittenOverOlderData();
    void listFormRoundTrip();
    void listCountBeyondStream();
    void itemsWithoutStreamData();
    void badStreams_data();
    void badStreams();
    void itemsBeforeUnknownClassStay();
    void everyTruncationFails();
    void damagedBytesNeverCrash();
};

void tst_KelPersistenceStream::streamStringLayout() {
    TMemoryStream s;
    WriteStreamString(s, QStringLiteral("Aé€"));
    QCOMPARE(s.Data(), QByteArray::fromHex("03000000"
                                           "4100"
                                           "e900"
                                           "ac20"));
    s.SetPosition(0);
    QCOMPARE(ReadStreamString(s), QStringLiteral("Aé€"));
    QCOMPARE(s.Position(), 10);
}

void tst_KelPersistenceStream::streamStringWithoutText_data() {
    QTest::addColumn<qint32>("count");
    QTest::newRow("zero") << 0;
    QTest::newRow("minus one") << -1;
    QTest::newRow("most negative") << qint32(INT_MIN);
}

// Only the count is read: the bytes after it stay for the next reader.
void tst_KelPersistenceStream::streamStringWithoutText() {
    QFETCH(qint32, count);
    TMemoryStream s(Int32LE(count) + "\x41\x00\x42\x00");
    QCOMPARE(ReadStreamString(s), QString());
    QCOMPARE(s.Position(), 4);
}

void tst_KelPersistenceStream::streamStringLongerThanStream() {
    for (qint32 count : {3, 0x40000000, INT_MAX}) {
        TMemoryStream s(Int32LE(count) + "\x41\x00\x42\x00");
        QCOMPARE(MessageOf([&] { ReadStreamString(s); }), QStringLiteral("Stream read error"));
    }
}

void tst_KelPersistenceStream::emptyListObjectIs30Bytes() {
    const QByteArray fixture = ReadFixture("empty_listobj.bin");
    QCOMPARE(fixture.size(), 30);
    QCOMPARE(Saved(*NewListObj()), fixture);

    // Read into an object that held other elements, with bytes after the record.
    TOwnedListObj obj(NewNotes({"old"}));
    TMemoryStream s(fixture + "tail");
    obj->LoadFromStream(s);
    QCOMPARE(obj->ElmClass(), TKelObj::StaticClass());
    QCOMPARE(obj->Count(), 0);
    QVERIFY(obj->List());
    QCOMPARE(s.Position(), 30);
}

void tst_KelPersistenceStream::notImplementedAfterHeader() {
    TOwnedListObj obj = NewListObj();
    obj->Add(KelNewCreated<TKelObj>());
    TMemoryStream s;
    QCOMPARE(MessageOf([&] { obj->SaveToStream(s); }), QStringLiteral("Not implemented"));
    QCOMPARE(s.Data(), Int64LE(0) + Utf16String("TKelObj") + Int32LE(1));

    TKelObj plain;
    TMemoryStream in(QByteArray(16, '\0'));
    QCOMPARE(MessageOf([&] { plain.LoadFromStream(in); }), QStringLiteral("Not implemented"));
}

void tst_KelPersistenceStream::readerEndsBehindRecord() {
    // Room inside the record that no element reads, then a following record.
    const QByteArray padded = Record("TNote", 1, Utf16String("x") + QByteArray(6, '\x7f'));
    const QByteArray next = Saved(*TOwnedListObj(NewNotes({"next"})));
    TMemoryStream s(padded + next);
    TOwnedListObj obj = NewListObj();
    obj->LoadFromStream(s);
    QCOMPARE(Describe(obj.get()), QStringLiteral("TKelListObj<TNote>[TNote(x)]"));
    QCOMPARE(s.Position(), padded.size());
    obj->LoadFromStream(s);
    QCOMPARE(Describe(obj.get()), QStringLiteral("TKelListObj<TNote>[TNote(next)]"));

    // Also when an element fails: the stream still ends behind the record.
    const QByteArray broken = Record("TNote", 2, Utf16String("x") + Int32LE(50) + "ab");
    TMemoryStream b(broken + next);
    QCOMPARE(MessageOf([&] { obj->LoadFromStream(b); }), QStringLiteral("Stream read error"));
    QCOMPARE(Describe(obj.get()), QStringLiteral("TKelListObj<TNote>[TNote(x)]"));
    QCOMPARE(b.Position(), broken.size());
}

void tst_KelPersistenceStream::nestedRoundTrip() {
    const TOwnedListObj source = NewNestedNotes();
    const QByteArray bytes = Saved(*source);
    QCOMPARE(bytes.left(8), Int64LE(bytes.size()));

    TMemoryStream s(bytes);
    TOwnedListObj copy = NewListObj();
    copy->LoadFromStream(s);
    QCOMPARE(Describe(copy.get()), Describe(source.get()));
    QCOMPARE(s.Position(), bytes.size());
    QCOMPARE(Saved(*copy), bytes);
}

void tst_KelPersistenceStream::nestedRoundTripThroughFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("objects.bin");
    const TOwnedListObj source = NewNestedNotes();
    {
        TFileStream out(path, TFileStreamMode::Create);
        source->SaveToStream(out);
        source->SaveToStream(out);
    }
    TFileStream in(path, TFileStreamMode::OpenRead);
    for (int i = 0; i < 2; ++i) {
        TOwnedListObj copy = NewListObj();
        copy->LoadFromStream(in);
        QCOMPARE(Describe(copy.get()), Describe(source.get()));
    }
    QCOMPARE(in.Position(), in.Size());
}

// Rewriting a record at the start of a longer stream keeps its nested records
// together, directly behind one another.
void tst_KelPersistenceStream::recordWrittenOverOlderData() {
    const TOwnedListObj source = NewNestedNotes();
    const QByteArray expected = Saved(*source);
    TMemoryStream s(QByteArray(expected.size() + 100, '\xff'));
    source->SaveToStream(s);
    QCOMPARE(s.Position(), expected.size());
    QCOMPARE(s.Data().left(expected.size()), expected);
}

void tst_KelPersistenceStream::listFormRoundTrip() {
    TOwnedList list(KelNewCreated<TKelList>());
    list->Add(NewNote("a"));
    list->Add(NewNote("b"));
    TMemoryStream s;
    list->SaveToStream(s);
    QCOMPARE(s.Data(), Int32LE(2) + Utf16String("TNote") + Utf16String("a") + Utf16String("TNote") +
                           Utf16String("b"));

    TOwnedList copy(KelNewCreated<TKelList>());
    copy->Add(NewNote("old"));
    s.SetPosition(0);
    copy->LoadFromStream(s, TNote::StaticClass());
    QCOMPARE(Describe(copy.get()), Describe(list.get()));
}

// Every item of the list form takes its class name's four bytes at least:
// the 20 bytes here could hold five.
void tst_KelPersistenceStream::listCountBeyondStream() {
    for (qint32 count : {6, 1000, INT_MAX}) {
        TMemoryStream s(Int32LE(count) + Utf16String("TNote") + Utf16String("a"));
        TOwnedList list(KelNewCreated<TKelList>());
        list->Add(NewNote("old"));
        QCOMPARE(MessageOf([&] { list->LoadFromStream(s, TNote::StaticClass()); }),
                 QStringLiteral("Stream read error"));
        QCOMPARE(Describe(list.get()), QStringLiteral("TKelList[]"));
        QCOMPARE(TNote::Live, 0);
    }
}

// Elements that store nothing cost the record nothing: any number reads back
// that fits in the memory limit, and a record cannot ask for more.
void tst_KelPersistenceStream::itemsWithoutStreamData() {
    TOwnedListObj marks = NewListObj(TMark::StaticClass());
    for (int i = 0; i < 1000; ++i)
        marks->Add(KelNewCreated<TMark>());
    const QByteArray bytes = Saved(*marks);
    QCOMPARE(bytes, Record("TMark", 1000, {}));
    TMemoryStream s(bytes);
    TOwnedListObj copy = NewListObj();
    copy->LoadFromStream(s);
    QCOMPARE(copy->ElmClass(), TMark::StaticClass());
    QCOMPARE(copy->Count(), 1000);

    TMemoryStream huge(Record("TMark", INT_MAX, {}) + "tail");
    QCOMPARE(MessageOf([&] { copy->LoadFromStream(huge); }),
             QStringLiteral("List count out of bounds (2147483647)"));
    QCOMPARE(copy->Count(), 0);
    QCOMPARE(huge.Position(), huge.Size() - 4);
}

void tst_KelPersistenceStream::badStreams_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("after"); // the object after the read

    const QString untouched = "TKelListObj<TNote>[TNote(old)]";
    const QString readError = "Stream read error";
    QTest::newRow("empty") << QByteArray() << readError << untouched;
    QTest::newRow("short size field") << QByteArray("\x1e\0\0", 3) << readError << untouched;
    QTest::newRow("size zero") << Int64LE(0) + Utf16String("TNote") + Int32LE(0) << readError
                               << untouched;
    QTest::newRow("size negative") << Record("TNote", 0, {}, -100) << readError << untouched;
    QTest::newRow("size beyond stream") << Record("TNote", 0, {}, 1) << readError << untouched;
    QTest::newRow("size far beyond stream")
        << Int64LE(LLONG_MAX) + Utf16String("TNote") + Int32LE(0) << readError << untouched;
    QTest::newRow("class name beyond record")
        << Int64LE(30) + Int32LE(1000) + QByteArray(18, 'x') << readError << untouched;
    QTest::newRow("unknown element class")
        << Record("TNope", 0, {}) << "Class TNope not found" << untouched;
    QTest::newRow("class name that is not a class")
        << Record("TKelObj\r\n", 0, {}) << "Class TKelObj\r\n not found" << untouched;
    // Refused before any element is made.
    QTest::newRow("more items than bytes")
        << Record("TNote", INT_MAX, Utf16String("a")) << readError << "TKelListObj<TNote>[]";
    QTest::newRow("one item more than bytes")
        << Record("TNote", 5, Int32LE(0)) << readError << "TKelListObj<TNote>[]";
    QTest::newRow("more items than the record holds")
        << Record("TNote", 8, Int32LE(0)) + QByteArray(40, '\0') << readError
        << "TKelListObj<TNote>[]";
    QTest::newRow("as many items as bytes")
        << Record("TNote", 4, Int32LE(0)) << readError << "TKelListObj<TNote>[TNote()]";
    QTest::newRow("negative count reads as none")
        << Record("TNote", -5, {}) << QString() << "TKelListObj<TNote>[]";
    QTest::newRow("no element class")
        << Record("", 1, Utf16String("a")) << "Cannot create items of class nil"
        << "TKelListObj<nil>[]";

    // Records nested deeper than the readers take.
    QByteArray nested = Record("TKelObj", 0, {});
    for (int i = 0; i < MaxListNesting; ++i)
        nested = Record("TKelListObj", 1, nested);
    QTest::newRow("nested too deeply")
        << nested << QString("Lists nested more than %1 levels deep").arg(MaxListNesting)
        << "TKelListObj<TKelListObj>[]";
}

void tst_KelPersistenceStream::badStreams() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QFETCH(QString, after);
    TOwnedListObj obj(NewNotes({"old"}));
    TMemoryStream s(bytes);
    QCOMPARE(MessageOf([&] { obj->LoadFromStream(s); }), error);
    QCOMPARE(Describe(obj.get()), after);
    QVERIFY(s.Position() <= s.Size());
}

// An element whose class is not registered fails the read; the elements read
// before it stay, and the stream ends behind the outer record.
void tst_KelPersistenceStream::itemsBeforeUnknownClassStay() {
    QByteArray bytes = Saved(*NewNestedNotes());
    const QByteArray note = Utf16String("TNote");
    const qsizetype second = bytes.indexOf(note, bytes.indexOf(note) + 1);
    bytes.replace(second, note.size(), Utf16String("TNope")); // same length: sizes stay
    TMemoryStream s(bytes);
    TOwnedListObj obj = NewListObj();
    QCOMPARE(MessageOf([&] { obj->LoadFromStream(s); }), QStringLiteral("Class TNope not found"));
    QCOMPARE(
        Describe(obj.get()),
        QStringLiteral("TKelListObj<TKelListObj>[TKelListObj<TNote>[TNote(Café €),TNote(b)]]"));
    QCOMPARE(s.Position(), bytes.size());
}

void tst_KelPersistenceStream::everyTruncationFails() {
    const QByteArray bytes = Saved(*NewNestedNotes());
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        TMemoryStream s(bytes.left(n));
        {
            TOwnedListObj obj = NewListObj();
            QVERIFY2(!MessageOf([&] { obj->LoadFromStream(s); }).isEmpty(),
                     qPrintable(QString("prefix of %1 bytes").arg(n)));
        }
        QCOMPARE(TNote::Live, 0);
    }
}

void tst_KelPersistenceStream::damagedBytesNeverCrash() {
    const QByteArray bytes = Saved(*NewNestedNotes());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        for (char value : {'\0', '\x01', '\x7f', '\x80', '\xff'}) {
            QByteArray damaged = bytes;
            damaged[i] = value;
            TMemoryStream s(damaged);
            {
                TOwnedListObj obj = NewListObj();
                MessageOf([&] { obj->LoadFromStream(s); });
                QVERIFY(s.Position() <= s.Size());
            }
            QCOMPARE(TNote::Live, 0);
        }
}

QTEST_GUILESS_MAIN(tst_KelPersistenceStream)
#include "tst_KelPersistenceStream.moc"
