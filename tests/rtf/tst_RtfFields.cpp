#include "RtfFields.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

namespace {

// Each run of the document as "text" or "text->href".
QStringList Runs(const QTextDocument& Doc) {
    QStringList out;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            out << (f.isAnchor() ? it.fragment().text() + QStringLiteral("->") + f.anchorHref()
                                 : it.fragment().text());
        }
    return out;
}

} // namespace

class tst_RtfFields : public QObject {
    Q_OBJECT
private slots:
    // A hyperlink field's result is a link to its target; other fields show
    // their result as text; search reads the same text as the editor.
    void read_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("runs");
        QTest::newRow("rich-edit link")
            << QByteArray("{\\rtf1{\\colortbl ;\\red0\\green0\\blue255;}see "
                          "{\\field{\\*\\fldinst{HYPERLINK \"http://example.com/\"}}"
                          "{\\fldrslt{\\ul\\cf1 the site}}} now}")
            << QStringList{"see ", "the site->http://example.com/", " now"};
        QTest::newRow("instruction split over groups, with switches")
            << QByteArray("{\\rtf1{\\field{\\*\\fldinst {\\f0 HYPER}{LINK \\\\l \"top\" "
                          "\\\\o \"tip\"}}{\\fldrslt go}}}")
            << QStringList{"go->#top"};
        QTest::newRow("a plain reset inside the result")
            << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK mailto:a@b.c}"
                          "{\\fldrslt\\plain\\b mail}}}")
            << QStringList{"mail->mailto:a@b.c"};
        QTest::newRow("another field keeps its result")
            << QByteArray("{\\rtf1 p{\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}q}")
            << QStringList{"p3q"};
        QTest::newRow("a field without a result")
            << QByteArray("{\\rtf1 a{\\field{\\*\\fldinst HYPERLINK \"x\"}}b}")
            << QStringList{"ab"};
        QTest::newRow("a script target stays a target")
            << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"javascript:alert(1)\"}"
                          "{\\fldrslt click}}}")
            << QStringList{"click->javascript:alert(1)"};
        QTest::newRow("a field inside a link's result")
            << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt a"
                          "{\\field{\\*\\fldinst PAGE}{\\fldrslt 7}}b}}c}")
            << QStringList{"a7b->u", "c"};
        QTest::newRow("an instruction of 100,000 bytes")
            << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"") + QByteArray(100000, 'w') +
                   QByteArray("\"}{\\fldrslt long}}}")
            << QStringList{"long->" + QString(kRtfMaxFieldInstruction - 11, u'w')};
    }
    void read() {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, runs);
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(Runs(doc), runs);
        QCOMPARE(RtfPlainText(rtf), doc.toPlainText());
    }

    // Links written and read back keep their targets, formats and text, and
    // saving what was saved gives the same bytes.
    void roundTrip() {
        QTextDocument doc;
        QTextCursor c(&doc);
        c.insertText(QStringLiteral("before "));
        QTextCharFormat link;
        link.setAnchor(true);
        link.setFontUnderline(true);
        for (const QString& href :
             {QStringLiteral("https://example.com/a?b=1&c=\"d\""), QStringLiteral("C:\\notes\\{x}"),
              QString::fromUtf16(u"https://ex.com/\u00e9\u4e2d")}) {
            link.setAnchorHref(href);
            c.insertText(QStringLiteral("link"), link);
            c.insertText(QStringLiteral(" and "), QTextCharFormat());
        }
        link.setAnchorHref(QStringLiteral("http://two/"));
        c.insertText(QStringLiteral("over"), link);
        c.insertBlock();
        c.insertText(QStringLiteral("paragraphs"), link);
        const QByteArray saved = WriteRtf(doc);
        QTextDocument again;
        QVERIFY(ReadRtf(saved, again));
        QCOMPARE(Runs(again),
                 (QStringList{"before ", "link->https://example.com/a?b=1&c=%22d%22", " and ",
                              "link->C:\\notes\\{x}", " and ",
                              QString::fromUtf16(u"link->https://ex.com/\u00e9\u4e2d"), " and ",
                              "over->http://two/", "paragraphs->http://two/"}));
        QCOMPARE(WriteRtf(again), WriteRtf(again));
        QTextDocument third;
        QVERIFY(ReadRtf(WriteRtf(again), third));
        QCOMPARE(WriteRtf(third), WriteRtf(again));
        QCOMPARE(RtfPlainText(saved), again.toPlainText());
    }
};

QTEST_MAIN(tst_RtfFields)
#include "tst_RtfFields.moc"
