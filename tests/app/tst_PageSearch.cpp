#include "RichEdit.h"
#include "RichTextStream.h"
#include "RtfReader.h"
#include "vmr_pagesearch.h"
#include "vmr_utils.h"

#include <QBuffer>
#include <QDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

struct TPageText {
    QString Title;
    QString Text;
};

// One find next over Pages from page From; the hit as "title 3", "text 7" or
// "none", and the page it is on.
QString Next(const QList<TPageText>& Pages, int From, const QString& Find, TFindPos& P,
             TSearchTypes Types = {}) {
    const TFindHit hit = FindNextInPages(
        {Find, Types}, int(Pages.size()), From, [&](int i) { return Pages[i].Title; },
        [&](int i) { return QStringView(Pages[i].Text); }, P);
    if (hit.Page < 0)
        return QStringLiteral("none");
    return QStringLiteral("%1 %2 %3")
        .arg(hit.Page)
        .arg(hit.InTitle ? QStringLiteral("title") : QStringLiteral("text"))
        .arg(hit.SelStart);
}

QString EditorText(const QByteArray& Body, TRichEdit& Re) {
    QBuffer b;
    b.setData(Body);
    b.open(QIODevice::ReadOnly);
    Re.Lines.LoadFromStream(b);
    return Re.Text();
}

} // namespace

class TestPageSearch : public QObject {
    Q_OBJECT
private slots:
    // Each row: pages as "title|text" separated by ';', the page to start
    // from, the find text, and the hits of successive find next presses.
    void successivePresses_data() {
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QStringList>("hits");
        QTest::newRow("title twice, then into the text")
            << "bank and Bank|my bank;other|x" << 0 << "bank"
            << QStringList{"0 title 0", "0 title 9", "0 text 3", "none", "0 title 0"};
        QTest::newRow("only in a later page's title")
            << "alpha|one;beta|two;gamma budget|three" << 0 << "budget"
            << QStringList{"2 title 6", "none", "2 title 6"};
        QTest::newRow("empty title: the text at once")
            << "|the word here" << 0 << "word" << QStringList{"0 text 4", "none"};
        QTest::newRow("overlapping matches in a text")
            << "t|aaa" << 0 << "aa" << QStringList{"0 text 0", "0 text 1", "none", "0 text 0"};
        QTest::newRow("from the current page, wrapping to the first")
            << "a|key one;b|nothing;c|key three" << 1 << "key"
            << QStringList{"2 text 0", "0 text 0", "2 text 0", "0 text 0"};
        QTest::newRow("case folded unless asked")
            << "t|KEY" << 0 << "key" << QStringList{"0 text 0"};
        QTest::newRow("empty page list") << "" << 0 << "x" << QStringList{"none", "none"};
    }
    void successivePresses() {
        QFETCH(QString, pages);
        QFETCH(int, from);
        QFETCH(QString, find);
        QFETCH(QStringList, hits);
        QList<TPageText> list;
        for (const QString& p : pages.split(u';', Qt::SkipEmptyParts))
            list.append({p.section(u'|', 0, 0), p.section(u'|', 1)});
        TFindPos pos;
        QStringList seen;
        for (qsizetype i = 0; i < hits.size(); ++i) {
            // The window starts each press at the page the last one showed.
            seen << Next(list, from, find, pos);
            if (seen.last() != QLatin1String("none"))
                from = seen.last().section(u' ', 0, 0).toInt();
        }
        QCOMPARE(seen, hits);
    }

    void noMatchLeavesPositionsAtTheStartPage() {
        const QList<TPageText> pages = {{"a", "x"}, {"b", "y"}, {"c", "z"}};
        TFindPos pos;
        pos.Pos = QPoint(1, 0);
        pos.TextPos = 5;
        QCOMPARE(Next(pages, 1, QStringLiteral("nothing"), pos), QStringLiteral("none"));
        QCOMPARE(pos.Pos, QPoint(0, 1));
        QCOMPARE(pos.TextPos, 0);
    }

    void afterAClickIntoTheTextTheTitleIsSkipped() {
        const QList<TPageText> pages = {{"key", "a key"}};
        TFindPos pos;
        pos.Pos.setX(4); // the title's length + 1, as a click into the editor sets it
        QCOMPARE(Next(pages, 0, QStringLiteral("key"), pos), QStringLiteral("0 text 2"));
    }

    void wholeWordAndMatchCase() {
        const QList<TPageText> pages = {{"Bank banking", "bank, Bank"}};
        TFindPos pos;
        QCOMPARE(Next(pages, 0, QStringLiteral("Bank"), pos, stMatchCase),
                 QStringLiteral("0 title 0"));
        QCOMPARE(Next(pages, 0, QStringLiteral("Bank"), pos, stMatchCase),
                 QStringLiteral("0 text 6"));
        TFindPos whole;
        QCOMPARE(Next(pages, 0, QStringLiteral("banking"), whole, stWholeWord),
                 QStringLiteral("0 title 5"));
    }

    // The plain text taken straight from a body is the editor's text, so that
    // positions found in it select the same characters in the editor.
    void plainTextAgreesWithTheEditor_data() {
        QTest::addColumn<QByteArray>("body");
        // The editor's own RTF fixtures, and those of word processors.
        const QDir data(QDir::cleanPath(QStringLiteral(VMR_TEST_DATA "/../../rtf/data")));
        for (const QString& sub :
             {QStringLiteral("richedit"), QStringLiteral("libreoffice"), QStringLiteral("word")}) {
            const QDir d(data.filePath(sub));
            const QStringList names = d.entryList({QStringLiteral("*.rtf")}, QDir::Files);
            QVERIFY(!names.isEmpty());
            for (const QString& name : names) {
                QFile f(d.filePath(name));
                QVERIFY(f.open(QIODevice::ReadOnly));
                QTest::newRow(qPrintable(sub + u'/' + name)) << f.readAll();
            }
        }
        QTest::newRow("breaks, cells, rows")
            << QByteArray("{\\rtf1\\ansi a\\line b\\tab c\\cell d\\cell\\row e\\par\\par f\\par}");
        QTest::newRow("unicode, surrogates, frame marks") << QByteArray(
            "{\\rtf1\\ansi\\uc1 x\\u55357?\\u56832?y\\u-564?\\u64976?z\\u64977?w\\u55357?q}");
        QTest::newRow("code pages")
            << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset238 X;}{\\f1\\fcharset204 Y;}}"
                          "\\f0\\'8a\\'e9 \\f1\\'c0\\'c1\\f0\\~\\-\\_\\{\\}\\\\}");
        QTest::newRow("skipped destinations")
            << QByteArray("{\\rtf1{\\*\\unknown hidden}{\\info{\\title t}}shown"
                          "{\\object{\\*\\objdata 0102}{\\result res}}\\bin3 abcX}");
        QTest::newRow("damaged: no end") << QByteArray("{\\rtf1\\ansi open {\\b group\\par more");
        QTest::newRow("damaged: extra close") << QByteArray("{\\rtf1 a}} b");
        QTest::newRow("empty RTF") << QByteArray("{\\rtf1}");
        QTest::newRow("plain ANSI") << QByteArray("line one\r\nline two\rthree\n\xe9");
        QTest::newRow("plain UTF-8") << QByteArray("\xEF\xBB\xBF\xe2\x80\xa9p\xef\xb7\x90q");
        QTest::newRow("plain UTF-16LE") << QByteArray("\xFF\xFEh\0i\0\r\0\n\0", 10);
    }
    void plainTextAgreesWithTheEditor() {
        QFETCH(QByteArray, body);
        TRichEdit re;
        const QString editor = EditorText(body, re);
        const QString plain = PlainTextOfRichText(body);
        // The body is the editor's text; the words of kept groups follow it.
        QCOMPARE(plain, SearchText(*re.document()));
        QCOMPARE(plain.left(re.TextLength()), editor);
        // Every stretch found in the body is the editor's selection there.
        for (int i = 0; i + 3 <= re.TextLength(); i += 7) {
            // A selection across a table's cells takes whole cells: there the
            // characters themselves are compared.
            bool cells = false;
            for (int k = i; k < i + 3; ++k) {
                const char16_t c = re.document()->characterAt(k).unicode();
                cells = cells || c == 0xFDD0 || c == 0xFDD1;
            }
            if (cells) {
                for (int k = i; k < i + 3; ++k) {
                    const QChar c = re.document()->characterAt(k);
                    const bool mark = c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1 ||
                                      c == QChar::ParagraphSeparator;
                    QCOMPARE(mark ? QChar(u'\n') : c, plain.at(k));
                }
                continue;
            }
            re.SetSelStart(i);
            re.SetSelLength(3);
            QString sel = re.textCursor().selectedText();
            sel.replace(QChar::ParagraphSeparator, u'\n');
            QCOMPARE(sel, plain.mid(i, 3));
        }
    }

    // One reader serves every page of a search: each text is the page's own,
    // whatever the texts before it left in the buffer, and a body changed
    // since the last search is read as it is now.
    void pageTextReaderReadsEachBodyAnew() {
        const QList<QByteArray> bodies = {
            "{\\rtf1 a much longer first text\\par with two paragraphs}",
            "{\\rtf1 short}",
            "plain bytes, not RTF\r\nsecond line",
            "",
            "{\\rtf1 caf\\'e9 \\u8364?}",
            "{\\rtf1}",
            "{\\rtf1 a much longer first text\\par with two paragraphs}"};
        std::vector<std::unique_ptr<TPage>> pages;
        for (const QByteArray& body : bodies) {
            pages.emplace_back(KelNewCreated<TPage>());
            pages.back()->SetText(body);
        }
        TPageTextReader reader;
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < pages.size(); ++i)
                QCOMPARE(reader.Of(pages[i].get()).toString(),
                         PlainTextOfRichText(pages[i]->Text()));
            pages[1]->SetText("{\\rtf1 changed, and longer than before}");
        }
    }
};

QTEST_MAIN(TestPageSearch)
#include "tst_PageSearch.moc"
