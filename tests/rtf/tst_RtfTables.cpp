#include "DocTestUtil.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QtTest>

namespace {

// The document's tables, each as "rows x columns: cell|cell/cell|...", a
// merged cell as "text(rows x columns)", and the text outside them.
QString Shape(const QTextDocument& Doc) {
    QStringList parts;
    for (auto it = Doc.rootFrame()->begin(); !it.atEnd(); ++it) {
        const auto* t = qobject_cast<const QTextTable*>(it.currentFrame());
        if (!t) {
            if (it.currentBlock().isValid() && !it.currentBlock().text().isEmpty())
                parts << it.currentBlock().text();
            continue;
        }
        QStringList rows;
        for (int r = 0; r < t->rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < t->columns(); ++c) {
                const QTextTableCell cell = t->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue;
                QTextCursor cur = cell.firstCursorPosition();
                cur.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                QString text = cur.selectedText().replace(QChar::ParagraphSeparator, u'/');
                if (cell.rowSpan() > 1 || cell.columnSpan() > 1)
                    text += QStringLiteral("(%1x%2)").arg(cell.rowSpan()).arg(cell.columnSpan());
                cells << text;
            }
            rows << cells.join(u'|');
        }
        parts << QStringLiteral("%1x%2: ").arg(t->rows()).arg(t->columns()) + rows.join(u'/');
    }
    return parts.join(u' ');
}

QByteArray Row(const QByteArray& Defs, const QByteArray& Cells) {
    return "\\trowd\\trgaph108\\trleft0" + Defs + "\\pard\\intbl " + Cells + "\\row\r\n";
}

} // namespace

class tst_RtfTables : public QObject {
    Q_OBJECT
private slots:
    // Rows and cells become a table; merges become spans; short rows are
    // padded; the text that search reads is the editor's, mark for mark.
    void read_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("shape");
        const QByteArray three = "\\cellx3000\\cellx6000\\cellx9000";
        QTest::newRow("rich-edit 2x3")
            << "{\\rtf1\\ansi before\\par" + Row(three, "A\\cell B\\cell C\\cell") +
                   Row(three, "D\\cell E\\cell F\\cell") + "\\pard after\\par}"
            << "before 2x3: A|B|C/D|E|F after";
        QTest::newRow("the table first, nothing after")
            << "{\\rtf1" + Row("\\cellx1000", "x\\cell") + "}"
            << "1x1: x";
        QTest::newRow("paragraphs in a cell")
            << "{\\rtf1" + Row("\\cellx1000\\cellx2000", "a\\par b\\cell\\cell") + "}"
            << "1x2: a/b|";
        QTest::newRow("horizontal merge")
            << "{\\rtf1" +
                   Row("\\clmgf\\cellx1000\\clmrg\\cellx2000\\cellx3000",
                       "wide\\cell\\cell c\\cell") +
                   Row(three, "d\\cell e\\cell f\\cell") + "}"
            << "2x5: wide(1x2)|c||/d(1x3)|e|f";
        QTest::newRow("vertical merge")
            << "{\\rtf1" + Row("\\clvmgf\\cellx1000\\cellx2000", "tall\\cell b\\cell") +
                   Row("\\clvmrg\\cellx1000\\cellx2000", "\\cell d\\cell") + "}"
            << "2x2: tall(2x1)|b/d";
        QTest::newRow("rows cut at different edges")
            << "{\\rtf1" + Row("\\cellx6000\\cellx9000", "wide\\cell t\\cell") +
                   Row(three, "a\\cell b\\cell c\\cell") + "}"
            << "2x3: wide(1x2)|t/a|b|c";
        QTest::newRow("an edge that cuts a cell after its row, and cells past the edges")
            << "{\\rtf1" + Row("\\cellx5760", "w\\cell x\\cell") +
                   Row("\\cellx2880\\cellx5760\\clvmrg\\cellx8640", "a\\cell b\\cell\\cell") +
                   Row("\\cellx2880\\cellx5760\\cellx8640", "c\\cell d\\cell e\\cell") + "}"
            << "3x4: w(1x2)|x|/a|b|(1x2)/c|d|e(1x2)";
        QTest::newRow("a merged cell with text is not merged")
            << "{\\rtf1" + Row("\\clmgf\\cellx1000\\clmrg\\cellx2000", "a\\cell b\\cell") + "}"
            << "1x2: a|b";
        QTest::newRow("rows of different lengths are padded")
            << "{\\rtf1" + Row("\\cellx1000", "a\\cell") +
                   Row("\\cellx1000\\cellx2000\\cellx3000", "b\\cell c\\cell d\\cell") + "}"
            << "2x3: a||/b|c|d";
        QTest::newRow("row without a definition")
            << QByteArray("{\\rtf1\\intbl a\\cell b\\cell\\row\\pard z\\par}") << "1x2: a|b z";
        QTest::newRow("a row outside any table is a paragraph")
            << QByteArray("{\\rtf1 a\\cell b\\row c}") << "a\tb c";
        QTest::newRow("nested table keeps its text in its cell")
            << QByteArray(
                   "{\\rtf1\\trowd\\cellx3000\\pard\\intbl outer\\par"
                   "\\pard\\intbl\\itap2 n1\\nestcell n2\\nestcell{\\*\\nesttableprops\\trowd"
                   "\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}\\pard\\intbl\\itap1 "
                   "\\cell\\row}")
            << "1x1: outer/n1\tn2/";
        QTest::newRow("a picture in a cell")
            << "{\\rtf1" + Row("\\cellx1000", "{\\pict\\pngblip\\picw1\\pich1 00}\\cell") + "}"
            << QString("1x1: ") + QChar(0xFFFC);
    }
    void read() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, shape);
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(Shape(doc), shape);
        QCOMPARE(RtfPlainText(rtf), PlainTextOf(doc));
    }

    // Tables are written as the rich-edit control writes them, read back to
    // the same shape and text, and our own output saves byte for byte.
    void roundTrip_data() { read_data(); }
    void roundTrip() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, shape);
        QTextDocument doc;
        ReadRtf(rtf, doc);
        const QByteArray saved = WriteRtf(doc);
        QTextDocument again;
        ReadRtf(saved, again);
        QCOMPARE(Shape(again), Shape(doc));
        QCOMPARE(PlainTextOf(again), PlainTextOf(doc));
        QCOMPARE(WriteRtf(again), saved);
        if (shape.contains('x') && shape.contains(':'))
            QVERIFY2(saved.contains("\\trowd") && saved.contains("\\intbl") &&
                         saved.contains("\\cell") && saved.contains("\\row"),
                     saved.constData());
    }

    // A table made in the editor, with a 2x2 merge: written with both merges
    // and read back as one cell.
    void blockMergeRoundTrip() {
        QTextDocument doc;
        QTextCursor c(&doc);
        c.insertText("x");
        QTextTable* t = c.insertTable(3, 3);
        t->cellAt(0, 0).firstCursorPosition().insertText("big");
        t->cellAt(2, 2).firstCursorPosition().insertText("z");
        t->mergeCells(0, 0, 2, 2);
        const QByteArray saved = WriteRtf(doc);
        QTextDocument again;
        ReadRtf(saved, again);
        QCOMPARE(Shape(again), Shape(doc));
        QCOMPARE(Shape(again), QString("x 3x3: big(2x2)|//||z"));
        QCOMPARE(PlainTextOf(again), PlainTextOf(doc));
    }

    // Hostile shapes stay bounded: 10^5 \cellx in a row, 10^5 cells, rows
    // without definitions.
    void hostile_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("columns");
        QByteArray defs = "{\\rtf1\\trowd";
        for (int i = 0; i < 100000; ++i)
            defs += "\\cellx" + QByteArray::number(i * 10);
        QTest::newRow("1e5 cellx") << defs + "\\intbl a\\cell\\row}" << kColumns;
        QByteArray cells = "{\\rtf1\\intbl ";
        for (int i = 0; i < 100000; ++i)
            cells += "c\\cell ";
        QTest::newRow("1e5 cells") << cells + "\\row}" << kColumns;
        QTest::newRow("row without trowd") << QByteArray("{\\rtf1\\row\\row\\intbl\\row x}") << 1;
        QTest::newRow("cell at the end") << QByteArray("{\\rtf1\\intbl\\cell") << 1;
        QTest::newRow("edges at the int bounds")
            << QByteArray("{\\rtf1\\trowd\\trleft-2147483648\\cellx2147483647\\cellx2147483647"
                          "\\cellx-2147483648\\pard\\intbl a\\cell b\\cell c\\cell d\\cell\\row}")
            << 4;
    }
    void hostile() {
        QFETCH(QByteArray, rtf);
        QFETCH(int, columns);
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QTextTable* t = nullptr;
        for (auto it = doc.rootFrame()->begin(); !it.atEnd() && !t; ++it)
            t = qobject_cast<QTextTable*>(it.currentFrame());
        QCOMPARE(t ? t->columns() : 0, columns);
        QCOMPARE(RtfPlainText(rtf), PlainTextOf(doc));
    }

private:
    static constexpr int kColumns = 63;
};

QTEST_MAIN(tst_RtfTables)
#include "tst_RtfTables.moc"
