#include "DocTestUtil.h"
#include "RtfLists.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QtTest>

namespace {

// Each paragraph as "text", or "text[style level start]" for a list item; the
// same list's items share the letter after the style.
QStringList Items(const QTextDocument& Doc) {
    QStringList out;
    QList<const QTextList*> lists;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next()) {
        const QTextList* l = b.textList();
        if (!l) {
            out << b.text();
            continue;
        }
        if (!lists.contains(l))
            lists << l;
        const QTextListFormat f = l->format();
        out << QStringLiteral("%1[%2%3 %4 %5]")
                   .arg(b.text())
                   .arg(int(f.style()))
                   .arg(QChar(char16_t(u'a' + lists.indexOf(l))))
                   .arg(f.indent() - 1)
                   .arg(ListStart(f));
    }
    return out;
}

const char kBullets[] = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}"
                        "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0"
                        "{\\pntxtb\\'B7}}\\fi-360\\li720 one\\par{\\pntext\\f1\\'B7\\tab}two\\par"
                        "{\\pntext\\f1\\'B7\\tab}three\\par\\pard after\\par}";

const char kNumbers[] =
    "{\\rtf1\\ansi{\\pntext\\f0 4.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0"
    "\\pnstart4\\pndec{\\pntxta.}}\\fi-360\\li720 d\\par{\\pntext 5.\\tab}e\\par}";

const char kWordLists[] =
    "{\\rtf1\\ansi{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc23"
    "\\levelstartat1{\\leveltext\\'01\\u8226 ?;}{\\levelnumbers;}\\fi-360\\li720}"
    "{\\listlevel\\levelnfc4\\levelstartat2{\\leveltext\\'02\\'01.;}{\\levelnumbers\\'01;}}"
    "\\listid7}}{\\*\\listoverridetable{\\listoverride\\listid7\\listoverridecount0\\ls1}}"
    "{\\listtext\\'95\\tab}\\pard\\ls1\\ilvl0 top\\par"
    "{\\listtext b.\\tab}\\pard\\ls1\\ilvl1 sub\\par"
    "{\\listtext\\'95\\tab}\\pard\\ls1\\ilvl0 next\\par}";

} // namespace

class tst_RtfLists : public QObject {
    Q_OBJECT
private slots:
    // Both forms become lists of the right style, level and start; the
    // rendered number or bullet is never read as text.
    void read_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("items");
        const QString disc = QString::number(int(QTextListFormat::ListDisc));
        const QString dec = QString::number(int(QTextListFormat::ListDecimal));
        const QString lower = QString::number(int(QTextListFormat::ListLowerAlpha));
        QTest::newRow("rich-edit bullets")
            << QByteArray(kBullets)
            << QStringList{"one[" + disc + "a 0 1]", "two[" + disc + "a 0 1]",
                           "three[" + disc + "a 0 1]", "after"};
        QTest::newRow("rich-edit numbers from 4")
            << QByteArray(kNumbers) << QStringList{"d[" + dec + "a 0 4]", "e[" + dec + "a 0 4]"};
        QTest::newRow("roman and letters")
            << QByteArray("{\\rtf1{\\*\\pn\\pnlvlbody\\pnucrm\\pnstart1}a\\par\\pard"
                          "{\\*\\pn\\pnlvlbody\\pnlcltr\\pnstart1}b\\par}")
            << QStringList{"a[" + QString::number(int(QTextListFormat::ListUpperRoman)) + "a 0 1]",
                           "b[" + lower + "b 0 1]"};
        QTest::newRow("a plain paragraph starts the numbers over")
            << QByteArray("{\\rtf1{\\*\\pn\\pnlvlbody\\pndec}a\\par\\pard x\\par"
                          "{\\*\\pn\\pnlvlbody\\pndec}b\\par}")
            << QStringList{"a[" + dec + "a 0 1]", "x", "b[" + dec + "b 0 1]"};
        QTest::newRow("word-processor levels, numbering runs across the sublist")
            << QByteArray(kWordLists)
            << QStringList{"top[" + disc + "a 0 1]", "sub[" + lower + "b 1 2]",
                           "next[" + disc + "a 0 1]"};
        QTest::newRow("ls pointing to nowhere is a plain paragraph")
            << QByteArray("{\\rtf1\\pard\\ls99\\ilvl3 lost\\par}") << QStringList{"lost"};
        QTest::newRow("levels beyond nine are the ninth")
            << QByteArray("{\\rtf1{\\*\\pn\\pnlvl12\\pndec}a\\par\\pard\\ilvl40"
                          "{\\*\\pn\\pnlvlblt}b\\par}")
            << QStringList{"a[" + dec + "a 0 1]", "b[" + disc + "b 8 1]"};
    }
    void read() {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, items);
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(Items(doc), items);
        QCOMPARE(RtfPlainText(rtf), PlainTextOf(doc));
    }

    // What is written reads back to the same lists, and our own output saves
    // byte for byte; the numbers are written in the control's form.
    void roundTrip_data() { read_data(); }
    void roundTrip() {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, items);
        QTextDocument doc;
        ReadRtf(rtf, doc);
        const QByteArray saved = WriteRtf(doc);
        QTextDocument again;
        ReadRtf(saved, again);
        QCOMPARE(Items(again), items);
        QCOMPARE(WriteRtf(again), saved);
        if (items.first().contains('['))
            QVERIFY2(saved.contains("{\\pntext ") && saved.contains("{\\*\\pn\\pnlvl"),
                     saved.constData());
    }

    // Qt deletes a list whose items all leave it: the reader never uses
    // one it has lost (a list item in a table cell, found by fuzzing).
    void listsThatQtDeletes() {
        static const char kInput[] = "{\\rtf\\intbl\0l\\row\\cellx10{\\par\\pn\\pnlvl}"
                                     "{\\*\\pn\\pnlvlblt}b\\par\\pard c\\par}";
        const QByteArray rtf(kInput, sizeof kInput - 1);
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(RtfPlainText(rtf), PlainTextOf(doc));
    }

    // A hostile list table: many levels and lists stay bounded.
    void hostileListTable() {
        QByteArray rtf = "{\\rtf1{\\*\\listtable{\\list";
        for (int i = 0; i < 100000; ++i)
            rtf += "{\\listlevel\\levelnfc0}";
        rtf += "\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}";
        for (int i = 0; i < 2000; ++i)
            rtf +=
                "\\pard\\ls" + QByteArray::number(i) + "\\ilvl" + QByteArray::number(i) + " x\\par";
        rtf += "}";
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(doc.blockCount(), 2000);
        QVERIFY(doc.begin().next().textList() != nullptr);
        QCOMPARE(RtfPlainText(rtf), PlainTextOf(doc));
    }
};

QTEST_MAIN(tst_RtfLists)
#include "tst_RtfLists.moc"
