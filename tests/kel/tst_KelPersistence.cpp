#include "PersistFixtures.h"

#include <QTemporaryDir>

namespace {
// A list holding a note and a plain list that holds a note.
TOwnedList NewListHoldingList() {
    TOwnedList inner(KelNewCreated<TKelList>());
    inner->Add(NewNote("inner"));
    TOwnedList outer(KelNewCreated<TKelList>());
    outer->Add(NewNote("outer"));
    outer->Add(inner.release());
    return outer;
}
// Levels list objects inside one another, the innermost holding one note.
TOwnedListObj NewChain(int Levels) {
    TOwnedListObj chain(NewNotes({"deep"}));
    for (int i = 1; i < Levels; ++i) {
        TOwnedListObj outer = NewListObj(TKelListObj::StaticClass());
        outer->Add(chain.release());
        chain = std::move(outer);
    }
    return chain;
}
} // namespace

// What the three forms share: entries they cannot store, and lists that hold
// lists.
class tst_KelPersistence : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestClasses(); }
    void nullEntriesAreLeftOut();
    void listHoldingListInXml();
    void listHoldingListInText();
    void listHoldingListInStream();
    void deepestNestingReadsBack();
    void deeperNestingIsNotWritten();
};

// A null entry has no class to write; the counts written are of the items
// that are, so every form reads back what it wrote.
void tst_KelPersistence::nullEntriesAreLeftOut() {
    TOwnedListObj obj(NewNotes({"a"}));
    obj->Add(nullptr);
    obj->Add(NewNote("b"));
    const QString expected = "TKelListObj<TNote>[TNote(a),TNote(b)]";

    TOwnedListObj fromXml = NewListObj();
    fromXml->SetXMLData(obj->XMLData());
    QCOMPARE(Describe(fromXml.get()), expected);

    TTextFile text;
    QVERIFY(obj->SaveToF(text));
    QCOMPARE(text.Data(), QByteArray("TNote\r\n2\r\na\r\nb\r\n"));
    TTextFile textIn(text.Data());
    TOwnedListObj fromText = NewListObj();
    QVERIFY(fromText->LoadFromF(textIn));
    QCOMPARE(Describe(fromText.get()), expected);

    TMemoryStream stream;
    obj->SaveToStream(stream);
    stream.SetPosition(0);
    TOwnedListObj fromStream = NewListObj();
    fromStream->LoadFromStream(stream);
    QCOMPARE(Describe(fromStream.get()), expected);

    TOwnedList list(KelNewCreated<TKelList>());
    list->Add(nullptr);
    list->Add(NewNote("c"));
    TMemoryStream listStream;
    list->SaveToStream(listStream);
    listStream.SetPosition(0);
    TOwnedList listCopy(KelNewCreated<TKelList>());
    listCopy->LoadFromStream(listStream, TNote::StaticClass());
    QCOMPARE(Describe(listCopy.get()), QStringLiteral("TKelList[TNote(c)]"));
}

// The inner list is written with its own class element; that class is not
// registered, so reading stops there with the items before it kept.
void tst_KelPersistence::listHoldingListInXml() {
    const TOwnedList outer = NewListHoldingList();
    const QString xml = outer->XMLData();
    QCOMPARE(xml, QStringLiteral("<TKelList>\r\n<listitems count=\"2\">\r\n"
                                 "<TNote>\r\n<title>outer</title>\r\n</TNote>\r\n"
                                 "<TKelList>\r\n<listitems count=\"1\">\r\n"
                                 "<TNote>\r\n<title>inner</title>\r\n</TNote>\r\n"
                                 "</listitems>\r\n</TKelList>\r\n"
                                 "</listitems>\r\n</TKelList>\r\n"));
    TOwnedList copy(KelNewCreated<TKelList>());
    QCOMPARE(MessageOf([&] { copy->SetXMLData(xml); }), QStringLiteral("Class TKelList not found"));
    QCOMPARE(Describe(copy.get()), QStringLiteral("TKelList[TNote(outer)]"));
}

// The inner list's form follows the outer note's; read back with one item
// class, the lines of the inner list are taken for notes.
void tst_KelPersistence::listHoldingListInText() {
    TTextFile f;
    QVERIFY(NewListHoldingList()->SaveToF(f));
    QCOMPARE(f.Data(), QByteArray("2\r\nouter\r\n1\r\ninner\r\n"));
    TTextFile in(f.Data());
    TOwnedList copy(KelNewCreated<TKelList>());
    QVERIFY(copy->LoadFromF(in, TNote::StaticClass()));
    QCOMPARE(Describe(copy.get()), QStringLiteral("TKelList[TNote(outer),TNote(1)]"));
}

// Items are made of the class the caller gives and the stored names are not
// used: the inner list's record is taken for a note, a short one, and the
// rest of the record stays unread.
void tst_KelPersistence::listHoldingListInStream() {
    TMemoryStream s;
    NewListHoldingList()->SaveToStream(s);
    const QByteArray innerRecord = Int32LE(1) + Utf16String("TNote") + Utf16String("inner");
    QCOMPARE(s.Data(), Int32LE(2) + Utf16String("TNote") + Utf16String("outer") +
                           Utf16String("TKelList") + innerRecord);
    s.SetPosition(0);
    TOwnedList copy(KelNewCreated<TKelList>());
    copy->LoadFromStream(s, TNote::StaticClass());
    QCOMPARE(Describe(copy.get()), QStringLiteral("TKelList[TNote(outer),TNote(\u0005)]"));
    QCOMPARE(s.Position(), s.Size() - innerRecord.size() + 6);
}

// As deep as the readers go, every form reads back what it wrote.
void tst_KelPersistence::deepestNestingReadsBack() {
    const TOwnedListObj chain = NewChain(MaxListNesting);
    const QString expected = Describe(chain.get());

    TOwnedListObj fromXml = NewListObj();
    fromXml->SetXMLData(chain->XMLData());
    QCOMPARE(Describe(fromXml.get()), expected);

    TTextFile text;
    QVERIFY(chain->SaveToF(text));
    TTextFile textIn(text.Data());
    TOwnedListObj fromText = NewListObj();
    QVERIFY(fromText->LoadFromF(textIn));
    QCOMPARE(Describe(fromText.get()), expected);

    TMemoryStream stream;
    chain->SaveToStream(stream);
    stream.SetPosition(0);
    TOwnedListObj fromStream = NewListObj();
    fromStream->LoadFromStream(stream);
    QCOMPARE(Describe(fromStream.get()), expected);
}

// One level deeper no form is written, and a file keeps what it held.
void tst_KelPersistence::deeperNestingIsNotWritten() {
    const TOwnedListObj chain = NewChain(MaxListNesting + 1);
    const QString error = QString("Lists nested more than %1 levels deep").arg(MaxListNesting);
    QCOMPARE(MessageOf([&] { chain->XMLData(); }), error);
    TTextFile text;
    QCOMPARE(MessageOf([&] { chain->SaveToF(text); }), error);
    TMemoryStream stream;
    QCOMPARE(MessageOf([&] { chain->SaveToStream(stream); }), error);

    QTemporaryDir dir;
    const QString path = dir.filePath("chain.txt");
    QVERIFY(TOwnedListObj(NewNotes({"kept"}))->SaveToFile(path));
    QCOMPARE(MessageOf([&] { chain->SaveToFile(path); }), error);
    TOwnedListObj kept = NewListObj();
    QVERIFY(kept->LoadFromFile(path));
    QCOMPARE(Describe(kept.get()), QStringLiteral("TKelListObj<TNote>[TNote(kept)]"));
}

QTEST_GUILESS_MAIN(tst_KelPersistence)
#include "tst_KelPersistence.moc"
