#include "DocTestUtil.h"
#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextFormats.h"

#include <QtTest>

namespace {

// One run of formatted text; '\n' in Text starts a paragraph.
struct TRun {
    QString Text;
    QString Family = QStringLiteral("Calibri");
    double Points = 11;
    TFontStyles Styles = {};
    QColor Fg = {};
    QColor Bg = {};
    Qt::Alignment Align = Qt::AlignLeft; // of the paragraph the run is in
    QTextCharFormat::VerticalAlignment VAlign = QTextCharFormat::AlignNormal;
};

void Build(QTextDocument& Doc, const QList<TRun>& Runs) {
    Doc.clear();
    QTextCursor c(&Doc);
    for (const TRun& r : Runs) {
        QTextCharFormat f;
        f.setFontFamilies(QStringList{r.Family});
        f.setFontPointSize(r.Points);
        f.setFontWeight(r.Styles.testFlag(fsBold) ? QFont::Bold : QFont::Normal);
        f.setFontItalic(r.Styles.testFlag(fsItalic));
        f.setFontUnderline(r.Styles.testFlag(fsUnderline));
        f.setFontStrikeOut(r.Styles.testFlag(fsStrikeOut));
        if (r.Fg.isValid())
            f.setForeground(r.Fg);
        if (r.Bg.isValid())
            f.setBackground(r.Bg);
        f.setVerticalAlignment(r.VAlign);
        const QStringList parts = r.Text.split(u'\n');
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0) {
                c.insertBlock(QTextBlockFormat(), f);
            }
            QTextBlockFormat bf = c.blockFormat();
            bf.setAlignment(r.Align);
            c.setBlockFormat(bf);
            c.insertText(parts[i], f);
        }
    }
}

// Text, paragraph alignment and every kept attribute of every character.
void CompareDocs(const QTextDocument& A, const QTextDocument& B) {
    QCOMPARE(PlainTextOf(B), PlainTextOf(A));
    QCOMPARE(B.blockCount(), A.blockCount());
    const int n = int(PlainTextOf(A).size());
    for (int i = 0; i < n; ++i) {
        // The marks of a table's cells carry no text of their own.
        if (const char16_t c = A.characterAt(i).unicode(); c == 0xFDD0 || c == 0xFDD1)
            continue;
        const QTextCharFormat fa = FormatAt(A, i), fb = FormatAt(B, i);
        QCOMPARE(FamilyOf(fb), FamilyOf(fa));
        QCOMPARE(fb.fontPointSize(), fa.fontPointSize());
        QCOMPARE(StylesOf(fb), StylesOf(fa));
        QCOMPARE(fb.foreground().color(), fa.foreground().color());
        QCOMPARE(fb.hasProperty(QTextFormat::BackgroundBrush),
                 fa.hasProperty(QTextFormat::BackgroundBrush));
        QCOMPARE(fb.background().color(), fa.background().color());
        QCOMPARE(fb.verticalAlignment(), fa.verticalAlignment());
        QCOMPARE(AlignmentAt(B, i), AlignmentAt(A, i));
    }
}

// Writes Doc and reads it back: the same document, and written again, the same
// bytes.
void CheckRoundTrip(const QTextDocument& Doc) {
    const QByteArray rtf = WriteRtf(Doc);
    QTextDocument back;
    QVERIFY(ReadRtf(rtf, back));
    CompareDocs(Doc, back);
    QCOMPARE(WriteRtf(back), rtf);
}

} // namespace

Q_DECLARE_METATYPE(QList<TRun>)

class tst_RtfWriter : public QObject {
    Q_OBJECT

private slots:
    void richEditShape();
    void roundTrip_data();
    void roundTrip();
    void ownOutputIsStable_data();
    void ownOutputIsStable();
    void tablesInOrderOfFirstUse();
    void controlFontFillsUnsetAttributes();
    void paragraphFormatsAndHiddenText();
};

void tst_RtfWriter::richEditShape() {
    QTextDocument doc;
    Build(doc, {{"Some "}, {"bold", "Calibri", 11, fsBold}, {" 2 {x}\\"}});
    const QByteArray expected = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033"
                                "{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}}\r\n"
                                "{\\colortbl ;}\r\n"
                                "{\\*\\generator Vellomar;}\\viewkind4\\uc1 \r\n"
                                "\\pard\\f0\\fs22 Some \\b bold\\b0  2 \\{x\\}\\\\\\par\r\n"
                                "}\r\n";
    QCOMPARE(WriteRtf(doc), expected);
}

void tst_RtfWriter::roundTrip_data() {
    QTest::addColumn<QList<TRun>>("runs");

    const QColor red(255, 0, 0), blue(0, 77, 187);
    QTest::newRow("empty") << QList<TRun>{};
    QTest::newRow("plain") << QList<TRun>{{"Hello, world."}};
    QTest::newRow("styles") << QList<TRun>{
        {"a"},
        {"b", "Calibri", 11, fsBold},
        {"i", "Calibri", 11, fsItalic},
        {"u", "Calibri", 11, fsUnderline},
        {"s", "Calibri", 11, fsStrikeOut},
        {"all", "Calibri", 11, fsBold | fsItalic | fsUnderline | fsStrikeOut},
        {"z"}};
    QTest::newRow("fonts and sizes") << QList<TRun>{{"one", "Arial", 8},
                                                    {"two", "Times New Roman", 10.5},
                                                    {"three", "No Such Font Qx", 72},
                                                    {"four", "Arial", 1638}};
    QTest::newRow("colours") << QList<TRun>{{"red", "Calibri", 11, {}, red},
                                            {"auto"},
                                            {"blue on red", "Calibri", 11, {}, blue, red},
                                            {"red again", "Calibri", 11, {}, red}};
    QTest::newRow("alignment") << QList<TRun>{
        {"left\n"},
        {"centre\n", "Calibri", 11, {}, {}, {}, Qt::AlignHCenter},
        {"right\n", "Calibri", 11, {}, {}, {}, Qt::AlignRight},
        {"justified", "Calibri", 11, {}, {}, {}, Qt::AlignJustify}};
    QTest::newRow("empty paragraphs") << QList<TRun>{{"\n\na\n"}, {"\n", "Arial", 20}, {""}};
    QTest::newRow("escapes") << QList<TRun>{{"\\{}\\par {\\b x}"}};
    QTest::newRow("code page 1252") << QList<TRun>{{u"café “quoted” € – ÿ ß \u00A0"_qs}};
    QTest::newRow("beyond 1252") << QList<TRun>{{u"Привет 中高 ω Ā"_qs}};
    QTest::newRow("surrogate pairs") << QList<TRun>{{u"emoji 😀 and 𝄞"_qs}};
    QTest::newRow("tab and line break") << QList<TRun>{{u"a\tb\u2028c"_qs}};
    QTest::newRow("digits after words") << QList<TRun>{{"12", "Calibri", 9, fsBold}, {"34"}};
    QTest::newRow("leading spaces") << QList<TRun>{{" x", "Calibri", 11, fsBold}, {"  y"}};
    QTest::newRow("super and sub") << QList<TRun>{
        {"x"},
        {"2", "Calibri", 11, {}, {}, {}, Qt::AlignLeft, QTextCharFormat::AlignSuperScript},
        {"i", "Calibri", 11, {}, {}, {}, Qt::AlignLeft, QTextCharFormat::AlignSubScript}};
    QTest::newRow("odd font names") << QList<TRun>{{"a", "Semi;colon {Font}"}, {"b", u"Шрифт"_qs}};
}

void tst_RtfWriter::roundTrip() {
    QFETCH(QList<TRun>, runs);
    QTextDocument doc;
    Build(doc, runs);
    CheckRoundTrip(doc);
}

void tst_RtfWriter::ownOutputIsStable_data() {
    QTest::addColumn<QString>("file");
    for (const char* f : kRtfFixtures)
        QTest::newRow(f) << QString::fromLatin1(f);
}

// Foreign RTF read and written once is our own output; from then on loading
// and saving gives the same bytes and the same document.
void tst_RtfWriter::ownOutputIsStable() {
    QFETCH(QString, file);
    QTextDocument foreign;
    QVERIFY(ReadRtf(ReadFileBytes(QStringLiteral(VMR_TEST_DATA "/") + file), foreign));
    CheckRoundTrip(foreign);
}

void tst_RtfWriter::tablesInOrderOfFirstUse() {
    QTextDocument doc;
    Build(doc, {{"a", "Bravo", 11, {}, QColor(0, 0, 255)},
                {"b", "Alpha", 11, {}, QColor(255, 0, 0)},
                {"c", "Bravo", 11, {}, QColor(0, 0, 255)},
                {"d", "Charlie"}});
    const QByteArray rtf = WriteRtf(doc);
    QVERIFY(rtf.contains("{\\fonttbl{\\f0\\fnil\\fcharset0 Bravo;}{\\f1\\fnil\\fcharset0 Alpha;}"
                         "{\\f2\\fnil\\fcharset0 Charlie;}}"));
    QVERIFY(rtf.contains("{\\colortbl ;\\red0\\green0\\blue255;\\red255\\green0\\blue0;}"));
    // Each change is written once.
    QVERIFY(rtf.contains("\\pard\\f0\\fs22\\cf1 a\\f1\\cf2 b\\f0\\cf1 c\\f2\\cf0 d\\par"));
}

void tst_RtfWriter::controlFontFillsUnsetAttributes() {
    QTextDocument doc;
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(16); // 12 points at 96 pixels per inch
    doc.setDefaultFont(font);
    doc.setPlainText(QStringLiteral("x"));
    QTextDocument back;
    QVERIFY(ReadRtf(WriteRtf(doc), back));
    QCOMPARE(FamilyOf(FormatAt(back, 0)), QStringLiteral("Tahoma"));
    QCOMPARE(FormatAt(back, 0).fontPointSize(), 12.0);
}

// Indents, spacing and hidden text are read, written and read back; hidden
// text stays text that search finds.
void tst_RtfWriter::paragraphFormatsAndHiddenText() {
    const QByteArray rtf = "{\\rtf1\\ansi\\pard\\li720\\ri360\\fi-180\\sb120\\sa240\\qc "
                           "indented\\par\\pard plain {\\v secret}{\\ul\\v both} shown\\par}";
    QTextDocument doc;
    QVERIFY(ReadRtf(rtf, doc));
    const QTextBlockFormat f = doc.begin().blockFormat();
    QCOMPARE(f.leftMargin(), 48.0);
    QCOMPARE(f.rightMargin(), 24.0);
    QCOMPARE(f.textIndent(), -12.0);
    QCOMPARE(f.topMargin(), 8.0);
    QCOMPARE(f.bottomMargin(), 16.0);
    QCOMPARE(doc.begin().next().blockFormat().leftMargin(), 0.0);
    const int secret = PlainTextOf(doc).indexOf(QStringLiteral("secret"));
    QVERIFY(secret > 0);
    QVERIFY(FormatAt(doc, secret).boolProperty(TextFormats::kHidden));
    QCOMPARE(FormatAt(doc, secret).underlineStyle(), QTextCharFormat::DotLine);
    const int both = PlainTextOf(doc).indexOf(QStringLiteral("both"));
    QVERIFY(FormatAt(doc, both).fontUnderline());
    QVERIFY(!FormatAt(doc, PlainTextOf(doc).indexOf(QStringLiteral("shown")))
                 .boolProperty(TextFormats::kHidden));
    QCOMPARE(RtfPlainText(rtf), PlainTextOf(doc));

    const QByteArray saved = WriteRtf(doc);
    for (const char* w : {"\\li720", "\\ri360", "\\fi-180", "\\sb120", "\\sa240", "\\v "})
        QVERIFY2(saved.contains(w), w);
    QTextDocument back;
    ReadRtf(saved, back);
    QCOMPARE(back.begin().blockFormat(), f);
    QVERIFY(FormatAt(back, secret).boolProperty(TextFormats::kHidden));
    QVERIFY(FormatAt(back, both).fontUnderline());
    QCOMPARE(WriteRtf(back), saved);
}

QTEST_MAIN(tst_RtfWriter)
#include "tst_RtfWriter.moc"
