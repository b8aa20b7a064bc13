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
    void initTestCase() { RegisterTestClasses(); }
    void twoKelObjFile();
    void textInTheAnsiCodePage();
    void nestedRoundTrip();
    void lenientLayout_data();
    void lenientLayout();
    void badTexts_data();
    void badTexts();
    void shortFileCannotDemandMillionsOfItems();
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

// Elements without text of their own cost nothing to store, so the number a
// file may ask for is bounded across all its lists, not per list.
void tst_KelPersistenceText::shortFileCannotDemandMillionsOfItems() {
    // Two lists of just over half the allowance each; the file is far shorter
    // than the excess.
    const qint64 half = TTextFile::MaxItemsWithoutText / 2 + 100;
    const QByteArray inner = "TKelObj\r\n" + QByteArray::number(half) + "\r\n";
    TTextFile f("TKelListObj\r\n2\r\n" + inner + inner);
    TOwnedListObj obj = NewListObj();
    QCOMPARE(MessageOf([&] { obj->LoadFromF(f); }),
             QString("List count out of bounds (%1)").arg(half));
    QCOMPARE(obj->Count(), 1);
    QCOMPARE(static_cast<TKelListObj*>(obj->GetItems(0))->Count(), int(half));
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
