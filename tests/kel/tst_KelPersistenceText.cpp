#include "PersistFixtures.h"

#include <QTemporaryDir>

namespace {
// Raises from SaveToF, as a descendant whose writing fails would.
class TFailingNote : public TNote {
public:
    KEL_DECLARE_CLASS(TFailingNote)
    bool SaveToF(TTextFile&) const override { throw Exception("disk gone"); }
};
KEL_DEFINE_CLASS(TFailingNote, TNote)

QByteArray FileBytes(const QString& Path) {
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QByteArray SavedText(const TKelObj& Obj) {
    TTextFile f;
    Obj.SaveToF(f);
    return f.Data();
}
} // namespace

class tst_KelPersistenceText : public QObject {
    Q_OBJECT

private slots:
    // Far more than any test reads, and the same on every machine.
    void initTestCase() {
        RegisterTestClasses();
        SetItemMemoryLimit(qint64(256) << 20);
    }
    void cleanupTestCase() { SetItemMemoryLimit(0); }
    void twoKelObjFile();
    void textInTheAnsiCodePage();
    void nestedRoundTrip();
    void lenientLayout_data();
    void lenientLayout();
    void badTexts_data();
    void badTexts();
    void writerOutputReadsBack_data();
    void writerOutputReadsBack();
    void itemsWithoutTextShareTheMemoryLimit();
    void fileErrors();
    void failedSaveLeavesFileAsItWas();
    void everyTruncationIsTotal();
};

void tst_KelPersistenceText::twoKelObjFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("two.txt");
    TOwnedListObj source = NewListObj();
    source->Add(KelNewCreated<TKelObj>());
    source->Add(KelNewCreated<TKelObj>());
    QVERIFY(source->SaveToFile(path));
    QCOMPARE(FileBytes(path), ReadFixture("two_kelobj.txt"));

    TOwnedListObj obj(NewNotes({"old"}));
    QVERIFY(obj->LoadFromFile(QStringLiteral(VMR_TEST_DATA "/two_kelobj.txt")));
    QCOMPARE(Describe(obj.get()), QStringLiteral("TKelListObj<TKelObj>[TKelObj,TKelObj]"));
    QVERIFY(obj->GetItems(0) != obj->GetItems(1));
}

void tst_KelPersistenceText::textInTheAnsiCodePage() {
    TOwnedListObj notes(NewNotes({QStringLiteral("Café €"), QStringLiteral("naïve")}));
    const QByteArray bytes = SavedText(*notes);
    QCOMPARE(bytes, QByteArray("TNote\r\n2\r\nCaf\xe9 \x80\r\nna\xefve\r\n"));
    TTextFile in(bytes);
    TOwnedListObj copy = NewListObj();
    QVERIFY(copy->LoadFromF(in));
    QCOMPARE(Describe(copy.get()), Describe(notes.get()));
}

void tst_KelPersistenceText::nestedRoundTrip() {
    QTemporaryDir dir;
    const QString path = dir.filePath("nested.txt");
    const TOwnedListObj source = NewNestedNotes();
    QVERIFY(source->SaveToFile(path));
    QCOMPARE(FileBytes(path), QByteArray("TKelListObj\r\n3\r\n"
                                         "TNote\r\n2\r\nCaf\xe9 \x80\r\nb\r\n"
                                         "TNote\r\n0\r\n"
                                         "TNote\r\n1\r\nc\r\n"));
    TOwnedListObj copy = NewListObj();
    QVERIFY(copy->LoadFromFile(path));
    QCOMPARE(Describe(copy.get()), Describe(source.get()));

    // The list form on its own.
    TOwnedList list(KelNewCreated<TKelList>());
    list->Add(NewNote("x"));
    QVERIFY(list->SaveToFile(path));
    QCOMPARE(FileBytes(path), QByteArray("1\r\nx\r\n"));
    TOwnedList listCopy(KelNewCreated<TKelList>());
    QVERIFY(listCopy->LoadFromFile(path, TNote::StaticClass()));
    QCOMPARE(Describe(listCopy.get()), Describe(list.get()));
}

void tst_KelPersistenceText::lenientLayout_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("LF line ends") << QByteArray("TNote\n2\na\nb\n") << "[TNote(a),TNote(b)]";
    QTest::newRow("CR line ends") << QByteArray("TNote\r2\ra\rb") << "[TNote(a),TNote(b)]";
    QTest::newRow("blanks and empty lines before the count")
        << QByteArray("TNote\r\n\r\n \t 1\r\na\r\n") << "[TNote(a)]";
    QTest::newRow("text after the count") << QByteArray("TNote\r\n1 note\r\na") << "[TNote(a)]";
    QTest::newRow("signed count") << QByteArray("TNote\r\n+1\r\na\r\n") << "[TNote(a)]";
    QTest::newRow("negative count reads as none") << QByteArray("TNote\r\n-3\r\n") << "[]";
    QTest::newRow("no line end at the end") << QByteArray("TKelObj\r\n2") << "[TKelObj,TKelObj]";
    QTest::newRow("as many notes as bytes, the last line end missing")
        << QByteArray("TNote\r\n3\r\n\r\n\r\n") << "[TNote(),TNote(),TNote()]";
}

void tst_KelPersistenceText::lenientLayout() {
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    TTextFile f(text);
    TOwnedListObj obj = NewListObj();
    QVERIFY(obj->LoadFromF(f));
    QVERIFY(Describe(obj.get()).endsWith(expected));
}

void tst_KelPersistenceText::badTexts_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("after"); // the object after the read

    const QString untouched = "TKelListObj<TNote>[TNote(old)]";
    QTest::newRow("empty file") << QByteArray() << "Read beyond end of file"
                                << "TKelListObj<nil>[]";
    QTest::newRow("no count") << QByteArray("TKelObj\r\n") << "Read beyond end of file"
                              << "TKelListObj<TKelObj>[]";
    QTest::newRow("count is a word")
        << QByteArray("TKelObj\r\nabc\r\n") << "'abc' is not a valid integer value"
        << "TKelListObj<TKelObj>[]";
    QTest::newRow("count with letters")
        << QByteArray("TKelObj\r\n2x\r\n") << "'2x' is not a valid integer value"
        << "TKelListObj<TKelObj>[]";
    QTest::newRow("count beyond 32 bits")
        << QByteArray("TKelObj\r\n4294967298\r\n") << "'4294967298' is not a valid integer value"
        << "TKelListObj<TKelObj>[]";
    QTest::newRow("count of a bare sign")
        << QByteArray("TKelObj\r\n-\r\n") << "'-' is not a valid integer value"
        << "TKelListObj<TKelObj>[]";
    QTest::newRow("long junk is cut short in the message")
        << "TKelObj\r\n" + QByteArray(100000, '9')
        << "'" + QString(64, '9') + "...' is not a valid integer value"
        << "TKelListObj<TKelObj>[]";
    QTest::newRow("unknown element class")
        << QByteArray("TNope\r\n1\r\n") << "Class TNope not found" << untouched;
    QTest::newRow("class name with a trailing blank")
        << QByteArray("TNote \r\n0\r\n") << "Class TNote  not found" << untouched;
    QTest::newRow("no element class")
        << QByteArray("\r\n1\r\n") << "Cannot create items of class nil"
        << "TKelListObj<nil>[]";
    QTest::newRow("file ends inside an element")
        << QByteArray("TKelListObj\r\n3\r\nTKelObj\r\n1\r\n") << "Read beyond end of file"
        << "TKelListObj<TKelListObj>[TKelListObj<TKelObj>[TKelObj]]";
    QTest::newRow("huge count") << QByteArray("TKelObj\r\n2000000000\r\n")
                                << "List count out of bounds (2000000000)"
                                << "TKelListObj<TKelObj>[]";
    // Notes take a line each: no note is made for a count the file cannot hold.
    QTest::newRow("more notes than bytes")
        << QByteArray("TNote\r\n1000\r\na\r\n") << "List count out of bounds (1000)"
        << "TKelListObj<TNote>[]";
    QTest::newRow("more notes than bytes and a missing line end")
        << QByteArray("TNote\r\n6\r\n\r\n\r\n") << "List count out of bounds (6)"
        << "TKelListObj<TNote>[]";
    QTest::newRow("largest count of notes")
        << QByteArray("TNote\r\n2147483647\r\n") << "List count out of bounds (2147483647)"
        << "TKelListObj<TNote>[]";
    QTest::newRow("more list objects than bytes")
        << QByteArray("TKelListObj\r\n100\r\nTKelObj\r\n0\r\n") << "List count out of bounds (100)"
        << "TKelListObj<TKelListObj>[]";
    QTest::newRow("inner list beyond the rest of the file")
        << QByteArray("TKelListObj\r\n2\r\nTNote\r\n1\r\na\r\nTNote\r\n99\r\n")
        << "List count out of bounds (99)"
        << "TKelListObj<TKelListObj>[TKelListObj<TNote>[TNote(a)]]";

    QByteArray nested;
    for (int i = 0; i <= MaxListNesting; ++i)
        nested += "TKelListObj\r\n1\r\n";
    QTest::newRow("nested too deeply")
        << nested << QString("Lists nested more than %1 levels deep").arg(MaxListNesting)
        << "TKelListObj<TKelListObj>[]";
}

void tst_KelPersistenceText::badTexts() {
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(QString, after);
    TOwnedListObj obj(NewNotes({"old"}));
    TTextFile f(text);
    QCOMPARE(MessageOf([&] { obj->LoadFromF(f); }), error);
    QCOMPARE(Describe(obj.get()), after);
}

// Elements without text of their own cost nothing to store: whatever number
// the writer wrote, the reader reads, beyond a million too.
void tst_KelPersistenceText::writerOutputReadsBack_data() {
    QTest::addColumn<QList<int>>("counts"); // one inner list object per count
    QTest::newRow("one list of 1.2 million") << QList<int>{1200000};
    QTest::newRow("two lists of 700 000") << QList<int>{700000, 700000};
}

void tst_KelPersistenceText::writerOutputReadsBack() {
    QFETCH(QList<int>, counts);
    TOwnedListObj source = NewListObj(TKelListObj::StaticClass());
    for (int count : counts) {
        TKelListObj* inner = KelNewCreated<TKelListObj>();
        for (int i = 0; i < count; ++i)
            inner->Add(KelNewCreated<TKelObj>());
        source->Add(inner);
    }
    TTextFile out;
    QVERIFY(source->SaveToF(out));
    QVERIFY(out.Data().size() < 100);

    TTextFile in(out.Data());
    TOwnedListObj copy = NewListObj();
    QVERIFY(copy->LoadFromF(in));
    QCOMPARE(copy->Count(), counts.size());
    for (int i = 0; i < counts.size(); ++i) {
        const auto* inner = static_cast<const TKelListObj*>(copy->GetItems(i));
        QCOMPARE(inner->ElmClass(), TKelObj::StaticClass());
        QCOMPARE(inner->Count(), counts[i]);
    }
}

// Their number is bounded by the memory they take instead, across all the
// lists of one read; the next read starts afresh.
void tst_KelPersistenceText::itemsWithoutTextShareTheMemoryLimit() {
    const qint64 item = qint64(TKelObj::StaticClass()->InstanceSize) + ItemOverhead;
    SetItemMemoryLimit(10 * item);
    const QByteArray inner = "TKelObj\r\n4\r\n";
    TTextFile two("TKelListObj\r\n2\r\n" + inner + inner);
    TTextFile three("TKelListObj\r\n3\r\n" + inner + inner + inner);
    TTextFile twoAgain(two.Data());
    TTextFile eleven("TKelObj\r\n11\r\n");
    TOwnedListObj obj = NewListObj();
    const QString four = "TKelListObj<TKelObj>[TKelObj,TKelObj,TKelObj,TKelObj]";

    QVERIFY(obj->LoadFromF(two));
    QCOMPARE(Describe(obj.get()), "TKelListObj<TKelListObj>[" + four + "," + four + "]");
    QCOMPARE(MessageOf([&] { obj->LoadFromF(three); }),
             QStringLiteral("List count out of bounds (4)"));
    QCOMPARE(Describe(obj.get()), "TKelListObj<TKelListObj>[" + four + "," + four + "]");
    QVERIFY(obj->LoadFromF(twoAgain));
    QCOMPARE(MessageOf([&] { obj->LoadFromF(eleven); }),
             QStringLiteral("List count out of bounds (11)"));
    QCOMPARE(obj->Count(), 0);
    SetItemMemoryLimit(qint64(256) << 20);
}

void tst_KelPersistenceText::fileErrors() {
    QTemporaryDir dir;
    TOwnedListObj obj = NewListObj();
    const QString missing = dir.filePath("missing.txt");
    QCOMPARE(MessageOf([&] { obj->LoadFromFile(missing); }),
             QString("Cannot open file \"%1\". No such file or directory").arg(missing));
    QCOMPARE(MessageOf([&] { obj->LoadFromFile(dir.path()); }),
             QString("Cannot open file \"%1\". Not a regular file").arg(dir.path()));
    const QString noFolder = dir.filePath("no/such/folder.txt");
    QVERIFY(MessageOf([&] {
                obj->SaveToFile(noFolder);
            }).startsWith(QString("Cannot create file \"%1\". ").arg(noFolder)));
    QVERIFY(!QFile::exists(noFolder));
}

void tst_KelPersistenceText::failedSaveLeavesFileAsItWas() {
    QTemporaryDir dir;
    const QString path = dir.filePath("notes.txt");
    TOwnedListObj good(NewNotes({"kept"}));
    QVERIFY(good->SaveToFile(path));
    const QByteArray before = FileBytes(path);

    TOwnedListObj bad(NewNotes({"a"}));
    bad->Add(KelNewCreated<TFailingNote>());
    QCOMPARE(MessageOf([&] { bad->SaveToFile(path); }), QStringLiteral("disk gone"));
    QCOMPARE(FileBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"notes.txt"});
}

void tst_KelPersistenceText::everyTruncationIsTotal() {
    const QByteArray bytes = SavedText(*NewNestedNotes());
    for (qsizetype n = 0; n <= bytes.size(); ++n) {
        TTextFile f(bytes.left(n));
        {
            TOwnedListObj obj = NewListObj();
            MessageOf([&] { obj->LoadFromF(f); });
        }
        QCOMPARE(TNote::Live, 0);
    }
}

QTEST_GUILESS_MAIN(tst_KelPersistenceText)
#include "tst_KelPersistenceText.moc"
