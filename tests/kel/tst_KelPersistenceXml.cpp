#include "PersistFixtures.h"

namespace {
const QString CRLF = QStringLiteral("\r\n");

QString Xml(const QByteArray& Utf8) {
    return QString::fromUtf8(Utf8);
}
} // namespace

class tst_KelPersistenceXml : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterTestClasses(); }
    void newObject();
    void eightPieces();
    void classAttributeNamesTheClass_data();
    void classAttributeNamesTheClass();
    void nestedRoundTrip();
    void listObjectWithListItemsDirectlyUnderIt();
    void listWithoutChildrenStaysAsItWas_data();
    void listWithoutChildrenStaysAsItWas();
    void badXml_data();
    void badXml();
    void countOnlyReservesRoom();
    void unknownElementClass();
    void everyTruncationIsTotal();
};

void tst_KelPersistenceXml::newObject() {
    QCOMPARE(TKelObj().XMLData(), "<TKelObj>" + CRLF + "</TKelObj>" + CRLF);
}

void tst_KelPersistenceXml::eightPieces() {
    const QString pieces[8] = {
        "<TKelListObj>" + CRLF,
        "<cl>TKelObj</cl>",
        "<TKelList>" + CRLF,
        "<listitems count=\"1\">" + CRLF,
        "<TKelObj>" + CRLF + "</TKelObj>" + CRLF,
        "</listitems>" + CRLF,
        "</TKelList>" + CRLF,
        "</TKelListObj>" + CRLF,
    };
    QString expected;
    for (const QString& p : pieces)
        expected += p;
    QCOMPARE(Xml(ReadFixture("one_kelobj.xml")), expected);

    TOwnedListObj obj = NewListObj();
    obj->Add(KelNewCreated<TKelObj>());
    QCOMPARE(obj->XMLData(), expected);

    // Read back: the same elements, and the same text again.
    TOwnedListObj copy(NewNotes({"old"}));
    copy->SetXMLData(expected);
    QCOMPARE(Describe(copy.get()), QStringLiteral("TKelListObj<TKelObj>[TKelObj]"));
    QCOMPARE(copy->XMLData(), expected);
}

void tst_KelPersistenceXml::classAttributeNamesTheClass_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("expected");
    QTest::newRow("attribute over an unknown element name")
        << "<item class=\"TKelListObj\"><cl>TNote</cl></item>"
        << "TKelListObj<TNote>[]";
    QTest::newRow("attribute over a registered element name")
        << "<TNote class=\"TKelObj\"><title>t</title></TNote>"
        << "TKelObj";
    QTest::newRow("empty attribute: the element name")
        << "<TNote class=\"\"><title>t</title></TNote>"
        << "TNote(t)";
    QTest::newRow("no attribute: the element name") << "<TNote><title>t</title></TNote>"
                                                    << "TNote(t)";
}

void tst_KelPersistenceXml::classAttributeNamesTheClass() {
    QFETCH(QString, item);
    QFETCH(QString, expected);
    TOwnedList list(KelNewCreated<TKelList>());
    list->SetXMLData("<TKelList><listitems count=\"1\">" + item + "</listitems></TKelList>");
    QCOMPARE(Describe(list.get()), "TKelList[" + expected + "]");
}

void tst_KelPersistenceXml::nestedRoundTrip() {
    const TOwnedListObj source = NewNestedNotes();
    const QString xml = source->XMLData();
    TOwnedListObj copy = NewListObj();
    copy->SetXMLData(xml);
    QCOMPARE(Describe(copy.get()), Describe(source.get()));
    QCOMPARE(copy->XMLData(), xml);

    // The list form on its own, holding a list object among notes.
    TOwnedList list(KelNewCreated<TKelList>());
    list->Add(NewNote("a"));
    list->Add(NewNotes({"b"}));
    TOwnedList listCopy(KelNewCreated<TKelList>());
    listCopy->SetXMLData(list->XMLData());
    QCOMPARE(Describe(listCopy.get()), Describe(list.get()));
}

// Text made for a reader that looked for "listitems" under the object's own
// element still reads.
void tst_KelPersistenceXml::listObjectWithListItemsDirectlyUnderIt() {
    TOwnedListObj obj = NewListObj();
    obj->SetXMLData("<TKelListObj><cl>TNote</cl><listitems count=\"1\">"
                    "<TNote><title>a</title></TNote></listitems></TKelListObj>");
    QCOMPARE(Describe(obj.get()), QStringLiteral("TKelListObj<TNote>[TNote(a)]"));
}

void tst_KelPersistenceXml::listWithoutChildrenStaysAsItWas_data() {
    QTest::addColumn<QString>("xml");
    QTest::newRow("empty element") << "<TKelList/>";
    QTest::newRow("only whitespace") << "<TKelList>\r\n  \t\r\n</TKelList>";
}

void tst_KelPersistenceXml::listWithoutChildrenStaysAsItWas() {
    QFETCH(QString, xml);
    TOwnedList list(KelNewCreated<TKelList>());
    list->Add(NewNote("old"));
    list->SetXMLData(xml);
    QCOMPARE(Describe(list.get()), QStringLiteral("TKelList[TNote(old)]"));
}

void tst_KelPersistenceXml::badXml_data() {
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QString>("error"); // "" for none; else the message's start
    QTest::addColumn<QString>("after");

    const QString untouched = "TKelList[TNote(old)]";
    QTest::newRow("empty listitems reads as an empty list")
        << "<TKelList>\r\n<listitems count=\"0\">\r\n</listitems>\r\n</TKelList>\r\n"
        << ""
        << "TKelList[]";
    QTest::newRow("no listitems") << "<TKelList><items count=\"1\"/></TKelList>"
                                  << "Element \"TKelList\" holds no \"listitems\""
                                  << "TKelList[]";
    QTest::newRow("only text") << "<TKelList>words</TKelList>"
                               << "Element \"TKelList\" holds no \"listitems\""
                               << "TKelList[]";
    QTest::newRow("count not a number")
        << "<TKelList><listitems count=\"one\"><TNote/></listitems></TKelList>"
        << "'one' is not a valid integer value"
        << "TKelList[]";
    QTest::newRow("count missing") << "<TKelList><listitems><TNote/></listitems></TKelList>"
                                   << "'' is not a valid integer value"
                                   << "TKelList[]";
    QTest::newRow("count beyond 32 bits")
        << "<TKelList><listitems count=\"99999999999\"/></TKelList>"
        << "'99999999999' is not a valid integer value"
        << "TKelList[]";
    QTest::newRow("not XML") << "TKelList"
                             << "XML error at line 1" << untouched;
    QTest::newRow("empty text") << ""
                                << "XML error" << untouched;
    QTest::newRow("unclosed element") << "<TKelList><listitems count=\"0\"></listitems>"
                                      << "XML error" << untouched;
    QTest::newRow("undeclared entity") << "<TKelList>&nope;</TKelList>"
                                       << "XML error" << untouched;

    QString laughs = "<!DOCTYPE l [<!ENTITY a0 'xxxxxxxxxx'>";
    for (int i = 1; i < 10; ++i)
        laughs +=
            QString("<!ENTITY a%1 '%2'>").arg(i).arg(QString("&a%1;").arg(i - 1).repeated(10));
    laughs += "]><TKelList>&a9;</TKelList>";
    QTest::newRow("entities expanding without end") << laughs << "XML error" << untouched;

    QString deepObjects = "<TKelObj/>";
    for (int i = 0; i < MaxListNesting; ++i)
        deepObjects = "<TKelListObj><cl>TKelObj</cl><TKelList><listitems count=\"1\">" +
                      deepObjects + "</listitems></TKelList></TKelListObj>";
    deepObjects = "<TKelList><listitems count=\"1\">" + deepObjects + "</listitems></TKelList>";
    QTest::newRow("lists nested too deeply")
        << deepObjects << QString("Lists nested more than %1 levels deep").arg(MaxListNesting)
        << "TKelList[]";
    QTest::newRow("elements nested too deeply")
        << "<a>" + QString("<b>").repeated(MaxXMLDepth)
        << QString("XML elements nested more than %1 levels deep").arg(MaxXMLDepth) << untouched;
}

void tst_KelPersistenceXml::badXml() {
    QFETCH(QString, xml);
    QFETCH(QString, error);
    QFETCH(QString, after);
    TOwnedList list(KelNewCreated<TKelList>());
    list->Add(NewNote("old"));
    const QString message = MessageOf([&] { list->SetXMLData(xml); });
    if (error.isEmpty())
        QCOMPARE(message, QString());
    else
        QVERIFY2(message.startsWith(error), qPrintable(message));
    QCOMPARE(Describe(list.get()), after);
}

void tst_KelPersistenceXml::countOnlyReservesRoom() {
    TOwnedList list(KelNewCreated<TKelList>());
    list->SetXMLData("<TKelList><listitems count=\"2000000000\"><TNote/></listitems></TKelList>");
    QCOMPARE(list->Count(), 1);
    QVERIFY(list->Capacity() < 100);
    list->SetXMLData("<TKelList><listitems count=\"-7\"><TNote/><TNote/></listitems></TKelList>");
    QCOMPARE(list->Count(), 2);
}

// The items before the unknown one stay; so does an element class read
// before the failure, and a "cl" naming no registered class fails alone.
void tst_KelPersistenceXml::unknownElementClass() {
    TOwnedList list(KelNewCreated<TKelList>());
    QCOMPARE(MessageOf([&] {
                 list->SetXMLData("<TKelList><listitems count=\"3\"><TNote><title>a</title></TNote>"
                                  "<TNope/><TNote/></listitems></TKelList>");
             }),
             QStringLiteral("Class TNope not found"));
    QCOMPARE(Describe(list.get()), QStringLiteral("TKelList[TNote(a)]"));

    TOwnedListObj obj(NewNotes({"old"}));
    QCOMPARE(MessageOf([&] { obj->SetXMLData("<TKelListObj><cl>TNope</cl></TKelListObj>"); }),
             QStringLiteral("Class TNope not found"));
    QCOMPARE(Describe(obj.get()), QStringLiteral("TKelListObj<TNote>[TNote(old)]"));
}

void tst_KelPersistenceXml::everyTruncationIsTotal() {
    const QString xml = NewNestedNotes()->XMLData();
    const qsizetype documentEnd = xml.lastIndexOf(u'>') + 1; // the last line end is not needed
    for (qsizetype n = 0; n < documentEnd; ++n) {
        {
            TOwnedListObj obj = NewListObj();
            QVERIFY(!MessageOf([&] { obj->SetXMLData(xml.left(n)); }).isEmpty());
        }
        QCOMPARE(TNote::Live, 0);
    }
}

QTEST_GUILESS_MAIN(tst_KelPersistenceXml)
#include "tst_KelPersistenceXml.moc"
