#include "DocTestUtil.h"
#include "RtfKeywords.h"
#include "RtfReader.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QString Read(const QByteArray& Rtf, QTextDocument* Doc = nullptr) {
    QTextDocument local;
    QTextDocument& doc = Doc ? *Doc : local;
    if (!ReadRtf(Rtf, doc))
        return QStringLiteral("<not rtf>");
    return PlainTextOf(doc);
}

QByteArray Fixture(const QString& Name) {
    return ReadFileBytes(QStringLiteral(VMR_TEST_DATA "/") + Name);
}

QString U(std::u16string_view s) {
    return QStringView(s).toString();
}

} // namespace

class tst_RtfReader : public QObject {
    Q_OBJECT

private slots:
    void fixtureText_data();
    void fixtureText();
    void fixtureFormat_data();
    void fixtureFormat();
    void fontNameStaysAsStored();
    void text_data();
    void text();
    void keywords_data();
    void keywords();
    void characterStateFollowsGroups();
    void paragraphBreaks();
    void codePages_data();
    void codePages();
    void notRtfLeavesDocumentAlone();
    void deepNestingIsBounded();
    void tablesAreBounded();
    void randomAndDamagedInput();
    void plainTextAtEveryBlockEdge();
};

void tst_RtfReader::fixtureText_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");

    QTest::newRow("rich edit 8") << "richedit/richedit8.rtf"
                                 << U(u"Some bold and italic text\n"
                                      u"underlined, struck, red and blue big\n"
                                      u"Centered café “quoted”\n"
                                      u"Привет\n"
                                      u"Euro €, Han 中高, emoji 😀\n"
                                      u"First bullet\n"
                                      u"Second bullet\n");
    QTest::newRow("rich edit 4.1")
        << "richedit/richedit41.rtf"
        << U(u"Plain Arial 10\nBold 12\nŠéš after Courier\ngreen italic");
    QTest::newRow("rich edit 2.0") << "richedit/richedit20.rtf"
                                   << U(u"Line one\nTahoma {braces} and back\\slash\n"
                                        u"Justified\ttabbed\u2028soft break");
    QTest::newRow("objects, fields, binary")
        << "richedit/richedit_objects.rtf"
        << U(u"Before link text after\n\uFFFCResult text\n\uFFFCtail");
    QTest::newRow("LibreOffice formats")
        << "libreoffice/lo_formats.rtf"
        << U(u"Plain serif, bold, italic, underlined and struck words.\n"
             u"Sans at fourteen with dark red and blue.\n"
             u"Centered mono\n"
             u"Right aligned: café, naïve, Straße, €5\n"
             u"Justified: Привет, мир. Ελληνικά. 中文字符. 😀\n"
             u"Line one\u2028line two in the same paragraph");
    QTest::newRow("LibreOffice structure")
        << "libreoffice/lo_structure.rtf"
        << U(u"Shopping list:\nApples\nPears\nFirst step\nSecond step\n"
             u"See the example page for more.\nA1\nB1\nA2\nB2\nEnd {braces} and back\\slash.");
}

void tst_RtfReader::fixtureText() {
    QFETCH(QString, file);
    QFETCH(QString, text);
    const QByteArray data = Fixture(file);
    QVERIFY2(!data.isEmpty(), qPrintable(file));
    QCOMPARE(Read(data), text);
}

void tst_RtfReader::fixtureFormat_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    QTest::addColumn<TFontStyles>("styles");
    QTest::addColumn<QColor>("color"); // invalid: automatic
    QTest::addColumn<int>("align");

    const TFontStyles none;
    const int left = Qt::AlignLeft;
    const int center = Qt::AlignHCenter;
    const int right = Qt::AlignRight;
    const int justify = Qt::AlignJustify;
    const QString re8 = "richedit/richedit8.rtf";
    QTest::newRow("re8 plain") << re8 << "Some"
                               << "Calibri" << 11.0 << none << QColor() << left;
    QTest::newRow("re8 bold") << re8 << "bold"
                              << "Calibri" << 11.0 << TFontStyles(fsBold) << QColor() << left;
    QTest::newRow("re8 bold off") << re8 << " and "
                                  << "Calibri" << 11.0 << none << QColor() << left;
    QTest::newRow("re8 italic") << re8 << "italic"
                                << "Calibri" << 11.0 << TFontStyles(fsItalic) << QColor() << left;
    QTest::newRow("re8 underline")
        << re8 << "underlined"
        << "Calibri" << 11.0 << TFontStyles(fsUnderline) << QColor() << left;
    QTest::newRow("re8 strike") << re8 << "struck"
                                << "Calibri" << 11.0 << TFontStyles(fsStrikeOut) << QColor()
                                << left;
    QTest::newRow("re8 colour") << re8 << "red"
                                << "Calibri" << 11.0 << none << QColor(255, 0, 0) << left;
    QTest::newRow("re8 colour and size") << re8 << "blue big"
                                         << "Calibri" << 14.0 << none << QColor(0, 77, 187) << left;
    QTest::newRow("re8 centred") << re8 << "Centered"
                                 << "Calibri" << 11.0 << none << QColor() << center;
    QTest::newRow("re8 cyrillic font")
        << re8 << U(u"Привет") << "Times New Roman" << 11.0 << none << QColor() << right;
    QTest::newRow("re8 unicode") << re8 << U(u"中高") << "Calibri" << 11.0 << none << QColor()
                                 << left;
    const QString re41 = "richedit/richedit41.rtf";
    QTest::newRow("re41 plain") << re41 << "Plain Arial"
                                << "Arial" << 10.0 << none << QColor() << left;
    QTest::newRow("re41 bold") << re41 << "Bold 12"
                               << "Arial" << 12.0 << TFontStyles(fsBold) << QColor() << left;
    QTest::newRow("re41 fname") << re41 << U(u"Šéš") << "Courier New" << 10.0 << none << QColor()
                                << left;
    QTest::newRow("re41 green italic")
        << re41 << "green"
        << "Arial" << 10.0 << TFontStyles(fsItalic) << QColor(0, 128, 0) << left;
    const QString re20 = "richedit/richedit20.rtf";
    QTest::newRow("re20 first font") << re20 << "Line one"
                                     << "MS Sans Serif" << 8.0 << none << QColor() << left;
    QTest::newRow("re20 justified") << re20 << "Justified"
                                    << "Tahoma" << 10.0 << none << QColor() << justify;
    const QString obj = "richedit/richedit_objects.rtf";
    QTest::newRow("link text") << obj << "link text"
                               << "Calibri" << 11.0 << TFontStyles(fsUnderline) << QColor(0, 0, 255)
                               << left;
    QTest::newRow("after link") << obj << "after"
                                << "Calibri" << 11.0 << none << QColor() << left;
    const QString lo = "libreoffice/lo_formats.rtf";
    QTest::newRow("lo serif") << lo << "Plain serif"
                              << "Liberation Serif" << 12.0 << none << QColor() << left;
    QTest::newRow("lo bold") << lo << "bold"
                             << "Liberation Serif" << 12.0 << TFontStyles(fsBold) << QColor()
                             << left;
    QTest::newRow("lo italic") << lo << "italic"
                               << "Liberation Serif" << 12.0 << TFontStyles(fsItalic) << QColor()
                               << left;
    QTest::newRow("lo underline") << lo << "underlined"
                                  << "Liberation Serif" << 12.0 << TFontStyles(fsUnderline)
                                  << QColor() << left;
    QTest::newRow("lo strike") << lo << "struck"
                               << "Liberation Serif" << 12.0 << TFontStyles(fsStrikeOut) << QColor()
                               << left;
    QTest::newRow("lo sans red") << lo << "dark red"
                                 << "Liberation Sans" << 14.0 << none << QColor(192, 0, 0) << left;
    QTest::newRow("lo blue") << lo << "blue"
                             << "Liberation Sans" << 14.0 << none << QColor(0, 112, 192) << left;
    QTest::newRow("lo centred mono") << lo << "Centered mono"
                                     << "DejaVu Sans Mono" << 9.0 << none << QColor() << center;
    QTest::newRow("lo right") << lo << "Right aligned"
                              << "DejaVu Serif" << 12.0 << none << QColor() << right;
    QTest::newRow("lo justified") << lo << U(u"Привет") << "DejaVu Serif" << 12.0 << none
                                  << QColor() << justify;
    const QString los = "libreoffice/lo_structure.rtf";
    QTest::newRow("lo link") << los << "the example page"
                             << "DejaVu Serif" << 12.0 << TFontStyles(fsUnderline)
                             << QColor(0, 0, 128) << left;
}

void tst_RtfReader::fixtureFormat() {
    QFETCH(QString, file);
    QFETCH(QString, needle);
    QFETCH(QString, family);
    QFETCH(double, points);
    QFETCH(TFontStyles, styles);
    QFETCH(QColor, color);
    QFETCH(int, align);

    QTextDocument doc;
    const QString text = Read(Fixture(file), &doc);
    const int at = int(text.indexOf(needle));
    QVERIFY2(at >= 0, qPrintable(needle));
    for (int i = at; i < at + needle.size(); ++i) {
        const QTextCharFormat f = FormatAt(doc, i);
        QCOMPARE(FamilyOf(f), family);
        QCOMPARE(f.fontPointSize(), points);
        QCOMPARE(StylesOf(f), styles);
        if (color.isValid())
            QCOMPARE(f.foreground().color(), color);
        else
            QVERIFY(!f.hasProperty(QTextFormat::ForegroundBrush));
    }
    QCOMPARE(int(AlignmentAt(doc, at)), align);
}

void tst_RtfReader::fontNameStaysAsStored() {
    QTextDocument doc;
    Read("{\\rtf1{\\fonttbl{\\f0\\fnil\\fcharset0 No Such Font Zq;}{\\f1 Semi\\'3bcolon;}}"
         "\\f0 a\\f1 b\\f7 c}",
         &doc);
    QCOMPARE(FamilyOf(FormatAt(doc, 0)), QStringLiteral("No Such Font Zq"));
    QCOMPARE(FamilyOf(FormatAt(doc, 1)), QStringLiteral("Semi;colon"));
    // An unknown font number leaves the family to the control's default.
    QVERIFY(FamilyOf(FormatAt(doc, 2)).isEmpty());
}

void tst_RtfReader::text_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");

    QTest::newRow("minimal") << QByteArray("{\\rtf1 Hello}") << "Hello";
    QTest::newRow("word delimiter eaten") << QByteArray("{\\rtf1\\b  two}") << " two";
    QTest::newRow("escapes") << QByteArray("{\\rtf1 a\\\\b\\{c\\}d}") << "a\\b{c}d";
    QTest::newRow("hex escapes 1252") << QByteArray("{\\rtf1 \\'80\\'e9\\'FF}") << U(u"€éÿ");
    QTest::newRow("bad hex ignored") << QByteArray("{\\rtf1 a\\'zzb}") << "azzb";
    QTest::newRow("truncated hex") << QByteArray("{\\rtf1 a\\'4") << "a";
    QTest::newRow("unicode and fallback") << QByteArray("{\\rtf1 \\u8364?x}") << U(u"€x");
    QTest::newRow("negative unicode") << QByteArray("{\\rtf1 \\u-25896?}") << U(u"高");
    QTest::newRow("surrogate pair") << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}") << U(u"😀");
    QTest::newRow("lone high surrogate") << QByteArray("{\\rtf1 \\u-10179?a}") << U(u"\uFFFDa");
    QTest::newRow("lone low surrogate") << QByteArray("{\\rtf1 a\\u-8704?}") << U(u"a\uFFFD");
    QTest::newRow("out of range unicode") << QByteArray("{\\rtf1 \\u70000?}") << U(u"\uFFFD");
    QTest::newRow("uc2 skips two") << QByteArray("{\\rtf1\\uc2 \\u233 ABc}") << U(u"éc");
    QTest::newRow("uc0 skips none") << QByteArray("{\\rtf1\\uc0 \\u233 A}") << U(u"éA");
    QTest::newRow("hex fallback skipped") << QByteArray("{\\rtf1 \\u233\\'e9x}") << U(u"éx");
    QTest::newRow("word fallback skipped") << QByteArray("{\\rtf1 \\u233\\emdash x}") << U(u"éx");
    QTest::newRow("brace ends fallback") << QByteArray("{\\rtf1\\uc3 {\\u233}x}") << U(u"éx");
    QTest::newRow("uc is group scoped") << QByteArray("{\\rtf1 {\\uc0 }\\u233?}") << U(u"é");
    QTest::newRow("named symbols")
        << QByteArray("{\\rtf1 \\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\bullet}")
        << U(u"—–‘’“”•");
    QTest::newRow("control symbols")
        << QByteArray("{\\rtf1 a\\~b\\-c\\_d}") << U(u"a\u00A0b\u00ADc\u2011d");
    QTest::newRow("tab and line") << QByteArray("{\\rtf1 a\\tab b\\line c}") << U(u"a\tb\u2028c");
    QTest::newRow("raw tab") << QByteArray("{\\rtf1 a\tb}") << "a\tb";
    QTest::newRow("raw line ends ignored") << QByteArray("{\\rtf1 a\r\nb\nc}") << "abc";
    QTest::newRow("escaped line end is a paragraph") << QByteArray("{\\rtf1 a\\\nb}") << "a\nb";
    QTest::newRow("page and sect") << QByteArray("{\\rtf1 a\\page b\\sect c}") << "a\nb\nc";
    QTest::newRow("unknown words ignored") << QByteArray("{\\rtf1\\zork12\\blah a}") << "a";
    QTest::newRow("word of 32 letters")
        << QByteArray("{\\rtf1 \\abcdefghijklmnopqrstuvwxyzabcdef x}") << "x";
    QTest::newRow("over-long word ignored")
        << QByteArray("{\\rtf1 \\" + QByteArray(5000, 'p') + "ar x}") << "x";
    QTest::newRow("huge parameter clamped")
        << QByteArray("{\\rtf1\\fs99999999999999999999 a\\u-99999999999999? b}") << U(u"a\uFFFD b");
    QTest::newRow("unknown starred group") << QByteArray("{\\rtf1 a{\\*\\zork b{c}}d}") << "ad";
    QTest::newRow("skipped destinations")
        << QByteArray("{\\rtf1{\\stylesheet{\\s1 x;}}{\\info{\\title t}}{\\header h}"
                      "{\\footer f}{\\*\\listtable l}{\\nonshppict{\\pict 0102}}a{\\footnote n}b}")
        // Headers, footers and notes are kept as marks, their words after the body.
        << QString::fromUtf16(u"\uFFFC\uFFFCa\uFFFCb\n\uFDD2h\n\uFDD2f\n\uFDD2n");
    QTest::newRow("theme data") << QByteArray("{\\rtf1{\\*\\themedata 504b0304}a}") << "a";
    QTest::newRow("field keeps result")
        << QByteArray("{\\rtf1 a{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt shown}}b}")
        << "ashownb";
    QTest::newRow("field without star")
        << QByteArray("{\\rtf1{\\field{\\fldinst PAGE}{\\fldrslt 3}}}") << "3";
    QTest::newRow("object keeps result")
        << QByteArray("{\\rtf1{\\object{\\*\\objdata 0101}junk{\\result kept}}}") << "kept";
    QTest::newRow("upr keeps ud") << QByteArray("{\\rtf1{\\upr{ansi}{\\*\\ud{uni}}}}") << "uni";
    QTest::newRow("bin is a picture's data")
        << QByteArray("{\\rtf1 a{\\pict\\bin5 }}{\\}}b}") << U(u"a\uFFFCb");
    QTest::newRow("bin skips its bytes")
        << QByteArray("{\\rtf1 a{\\*\\zork\\bin5 }}{\\}}b}") << "ab";
    QTest::newRow("bin past the end") << QByteArray("{\\rtf1 a\\bin99999999 xyz") << "a";
    QTest::newRow("negative bin") << QByteArray("{\\rtf1 a\\bin-5 b}") << "ab";
    QTest::newRow("extra brace ends the document") << QByteArray("{\\rtf1 a}b}c") << "a";
    QTest::newRow("open groups close at end") << QByteArray("{\\rtf1 a{\\b b{\\i c") << "abc";
    QTest::newRow("table cells") << QByteArray("{\\rtf1 A\\cell B\\cell\\row C\\cell D\\cell\\row}")
                                 << "A\tB\nC\tD";
    QTest::newRow("pntext skipped") << QByteArray("{\\rtf1{\\pntext 1.\\tab}item\\par}") << "item";
    QTest::newRow("nul bytes ignored") << QByteArray("{\\rtf1 a\0b}", 11) << "ab";
    QTest::newRow("header only") << QByteArray("{\\rtf") << "";
}

void tst_RtfReader::text() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(Read(rtf), text);
}

void tst_RtfReader::keywords_data() {
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("symbol");
    const auto row = [](const char* W, TRtfKw K, char16_t C = 0) {
        QTest::newRow(*W ? W : "(empty)") << QByteArray(W) << int(K) << int(C);
    };
    row("b", TRtfKw::B);
    row("u", TRtfKw::U);
    row("uc", TRtfKw::Uc);
    row("ul", TRtfKw::Ul);
    row("ululdbwave", TRtfKw::Ul);
    row("ulnone", TRtfKw::UlNone);
    row("par", TRtfKw::Par);
    row("pard", TRtfKw::Pard);
    row("fonttbl", TRtfKw::FontTbl);
    row("colorschememapping", TRtfKw::SkipDest);
    row("xmlnstbl", TRtfKw::SkipDest);
    row("rdblquote", TRtfKw::Symbol, 0x201D);
    row("zwbo", TRtfKw::Symbol, 0x200B);
    // Near misses: prefixes, extensions and other cases of known words.
    row("", TRtfKw::Unknown);
    row("pa", TRtfKw::Unknown);
    row("pardx", TRtfKw::Unknown);
    row("Par", TRtfKw::Unknown);
    row("fonttb", TRtfKw::Unknown);
    row("zork", TRtfKw::Unknown);
}

void tst_RtfReader::keywords() {
    QFETCH(QByteArray, word);
    QFETCH(int, kind);
    QFETCH(int, symbol);
    const TRtfKeyword kw =
        LookupRtfKeyword(std::string_view(word.constData(), size_t(word.size())));
    QCOMPARE(int(kw.Kind), kind);
    QCOMPARE(int(kw.Char), symbol);
}

void tst_RtfReader::characterStateFollowsGroups() {
    QTextDocument doc;
    const QString text =
        Read("{\\rtf1{\\fonttbl{\\f0 A;}{\\f1 B;}}{\\colortbl;\\red1\\green2\\blue3;}"
             "\\f0\\fs20 a{\\b\\i\\ul\\strike\\f1\\fs40\\cf1\\highlight1\\super b}c"
             "\\b\\i\\ul\\strike\\cf1\\plain d\\b e\\ulnone\\b0 f\\sub g\\nosupersub h}",
             &doc);
    QCOMPARE(text, QStringLiteral("abcdefgh"));
    const QTextCharFormat a = FormatAt(doc, 0), b = FormatAt(doc, 1), c = FormatAt(doc, 2);
    QCOMPARE(StylesOf(b), fsBold | fsItalic | fsUnderline | fsStrikeOut);
    QCOMPARE(FamilyOf(b), QStringLiteral("B"));
    QCOMPARE(b.fontPointSize(), 20.0);
    QCOMPARE(b.foreground().color(), QColor(1, 2, 3));
    QCOMPARE(b.background().color(), QColor(1, 2, 3));
    QCOMPARE(b.verticalAlignment(), QTextCharFormat::AlignSuperScript);
    // The group's end restores the state before it.
    QCOMPARE(c, a);
    QCOMPARE(FamilyOf(c), QStringLiteral("A"));
    QCOMPARE(c.fontPointSize(), 10.0);
    // \plain: default font (\deff0), 12 points, no styles, automatic colour.
    const QTextCharFormat d = FormatAt(doc, 3);
    QCOMPARE(StylesOf(d), TFontStyles());
    QCOMPARE(FamilyOf(d), QStringLiteral("A"));
    QCOMPARE(d.fontPointSize(), 12.0);
    QVERIFY(!d.hasProperty(QTextFormat::ForegroundBrush));
    QCOMPARE(StylesOf(FormatAt(doc, 4)), TFontStyles(fsBold));
    QCOMPARE(StylesOf(FormatAt(doc, 5)), TFontStyles());
    QCOMPARE(FormatAt(doc, 6).verticalAlignment(), QTextCharFormat::AlignSubScript);
    QCOMPARE(FormatAt(doc, 7).verticalAlignment(), QTextCharFormat::AlignNormal);
}

void tst_RtfReader::paragraphBreaks() {
    QTextDocument doc;
    // The last \par ends the last paragraph; \pard resets the alignment.
    QCOMPARE(Read("{\\rtf1\\qc a\\par b\\par\\pard c\\par}", &doc), QStringLiteral("a\nb\nc"));
    QCOMPARE(doc.blockCount(), 3);
    QCOMPARE(int(AlignmentAt(doc, 0)), int(Qt::AlignHCenter));
    QCOMPARE(int(AlignmentAt(doc, 2)), int(Qt::AlignHCenter));
    QCOMPARE(int(AlignmentAt(doc, 4)), int(Qt::AlignLeft));
    // Paragraph properties set late still belong to their paragraph.
    QCOMPARE(Read("{\\rtf1 a\\qr\\par b}", &doc), QStringLiteral("a\nb"));
    QCOMPARE(int(AlignmentAt(doc, 0)), int(Qt::AlignRight));
    // Empty paragraphs survive; only the final mark is implicit.
    QCOMPARE(Read("{\\rtf1 a\\par\\par\\par}", &doc), QStringLiteral("a\n\n"));
    QCOMPARE(Read("{\\rtf1\\par}", &doc), QString());
    QCOMPARE(doc.blockCount(), 1);
    // An empty paragraph keeps the size of its mark.
    Read("{\\rtf1 a\\par\\fs40\\par b}", &doc);
    QCOMPARE(doc.findBlockByNumber(1).charFormat().fontPointSize(), 20.0);
}

void tst_RtfReader::codePages_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");

    QTest::newRow("charset 0 is 1252 whatever ansicpg")
        << QByteArray("{\\rtf1\\ansicpg1251{\\fonttbl{\\f0\\fcharset0 A;}}\\f0 \\'e9}") << U(u"é");
    QTest::newRow("no charset uses ansicpg")
        << QByteArray("{\\rtf1\\ansicpg1251{\\fonttbl{\\f0 A;}}\\f0 \\'e9}") << U(u"й");
    QTest::newRow("no font table uses ansicpg")
        << QByteArray("{\\rtf1\\ansicpg1253 \\'e1}") << U(u"α");
    QTest::newRow("cyrillic 204") << QByteArray(
                                         "{\\rtf1{\\fonttbl{\\f0\\fcharset204 A;}}\\f0 \\'c6}")
                                  << U(u"Ж");
    QTest::newRow("central european 238")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset238 A;}}\\f0 \\'b9}") << U(u"ą");
    QTest::newRow("greek 161") << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset161 A;}}\\f0 \\'e1}")
                               << U(u"α");
    QTest::newRow("shift-jis pair")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 \\'82\\'a0}")
        << U(u"あ");
    QTest::newRow("gbk pair")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset134 SimSun;}}\\f0 \\'d6\\'d0}") << U(u"中");
    QTest::newRow("explicit cpg")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset0\\cpg1251 A;}}\\f0 \\'c6}") << U(u"Ж");
    QTest::newRow("raw high bytes in code page")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset204 A;}}\\f0 \xc6}") << U(u"Ж");
    QTest::newRow("font switch between runs")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset0 A;}{\\f1\\fcharset204 B;}}"
                      "\\f0\\'c6\\f1\\'c6\\f0\\'c6}")
        << U(u"ÆЖÆ");
    QTest::newRow("symbol bullet")
        << QByteArray("{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}\\f1\\'b7}") << U(u"•");
    QTest::newRow("mac") << QByteArray("{\\rtf1\\mac \\'8e}") << U(u"é");
    QTest::newRow("font name in its code page")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset204 \\'c6 Font;}}\\f0 x}") << "x";
}

void tst_RtfReader::codePages() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(Read(rtf), text);
}

void tst_RtfReader::notRtfLeavesDocumentAlone() {
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("keep"));
    for (const char* bytes : {"", "{\\rt", " {\\rtf1 x}", "plain text", "\xEF\xBB\xBF{\\rtf1 x}"})
        QVERIFY(!ReadRtf(QByteArray(bytes), doc));
    QCOMPARE(doc.toPlainText(), QStringLiteral("keep"));
}

void tst_RtfReader::deepNestingIsBounded() {
    // Far deeper than any stack would allow if groups recursed.
    const int depth = 1000000;
    QByteArray rtf = "{\\rtf1 a";
    rtf += QByteArray(depth, '{') + "\\b b" + QByteArray(depth, '}') + "c}";
    QTextDocument doc;
    QCOMPARE(Read(rtf, &doc), QStringLiteral("abc"));
    QCOMPARE(StylesOf(FormatAt(doc, 1)), TFontStyles(fsBold));

    // Within the cap the state is still restored exactly.
    QByteArray ok = "{\\rtf1 a";
    const int fit = kRtfMaxGroupDepth - 1;
    ok += QByteArray(fit, '{') + "\\b b" + QByteArray(fit, '}') + "c}";
    Read(ok, &doc);
    QCOMPARE(StylesOf(FormatAt(doc, 1)), TFontStyles(fsBold));
    QCOMPARE(StylesOf(FormatAt(doc, 2)), TFontStyles());

    // Unclosed groups at the end of the input.
    QCOMPARE(Read("{\\rtf1 x" + QByteArray(depth, '{')), QStringLiteral("x"));
}

void tst_RtfReader::tablesAreBounded() {
    QByteArray fonts = "{\\rtf1{\\fonttbl";
    for (int i = 0; i < 20000; ++i)
        fonts += "{\\f" + QByteArray::number(i) + " F" + QByteArray::number(i) + ";}";
    fonts += "{\\f20001 " + QByteArray(100000, 'N') + ";}}";
    fonts += "\\f5 a\\f19999 b\\f20001 c}";
    QTextDocument doc;
    QCOMPARE(Read(fonts, &doc), QStringLiteral("abc"));
    QCOMPARE(FamilyOf(FormatAt(doc, 0)), QStringLiteral("F5"));
    QVERIFY(FamilyOf(FormatAt(doc, 1)).isEmpty()); // beyond the table's bound
    QVERIFY(FamilyOf(FormatAt(doc, 2)).size() <= kRtfMaxFontName);

    QByteArray colors = "{\\rtf1{\\colortbl;";
    for (int i = 0; i < 20000; ++i)
        colors += "\\red1\\green2\\blue3;";
    colors += "}\\cf5 a\\cf19999 b}";
    QCOMPARE(Read(colors, &doc), QStringLiteral("ab"));
    QCOMPARE(FormatAt(doc, 0).foreground().color(), QColor(1, 2, 3));
    QVERIFY(!FormatAt(doc, 1).hasProperty(QTextFormat::ForegroundBrush));
}

// Random bytes, RTF-like token soup, and truncated or mutated real documents:
// the reader must end every time, quickly, with no more text than input.
void tst_RtfReader::randomAndDamagedInput() {
    QList<QByteArray> seeds;
    for (const char* f : kRtfFixtures)
        seeds.append(Fixture(QString::fromLatin1(f)));
    const QList<QByteArray> tokens = {
        "{",        "}",       "\\",        "\\'",       "\\'e9",      "\\u",        "\\u-",
        "\\uc",     "\\bin",   "\\bin3 ",   "\\par",     "\\*",        "\\fonttbl",  "\\colortbl",
        "\\f",      "\\fs",    "\\cf",      "\\plain",   "\\pard",     "\\red255",   ";",
        " ",        "\r\n",    "9",         "-",         "\\u-10179?", "\\fcharset", "\\object",
        "\\result", "\\field", "\\fldinst", "\\fldrslt", "\\upr",      "\\ud",       "\\cell",
        "\\row",    "\\qc",    "\\b",       "\\b0",      "x",          "\xE9",       "\\fname",
        "\\pntext", "\\'85",   "\\'0d",     "\\'09",     "\t",         "\x85",       "\x9F"};

    QRandomGenerator rng(20240611);
    QElapsedTimer timer;
    timer.start();
    const int cases = 12000;
    for (int n = 0; n < cases; ++n) {
        QByteArray input = "{\\rtf1";
        const int kind = n % 4;
        if (kind == 0) {
            const int len = int(rng.bounded(400));
            for (int i = 0; i < len; ++i)
                input += char(rng.bounded(256));
        } else if (kind == 1) {
            const int len = int(rng.bounded(120));
            for (int i = 0; i < len; ++i) {
                input += tokens[rng.bounded(tokens.size())];
                if (rng.bounded(3) == 0)
                    input += QByteArray::number(int(rng.generate()) >> rng.bounded(32));
            }
        } else {
            input = seeds[rng.bounded(seeds.size())];
            if (kind == 2) {
                input.truncate(rng.bounded(input.size() + 1));
            } else {
                const int edits = 1 + int(rng.bounded(8));
                for (int e = 0; e < edits && !input.isEmpty(); ++e) {
                    const int at = int(rng.bounded(input.size()));
                    switch (rng.bounded(3)) {
                    case 0:
                        input[at] = char(rng.bounded(256));
                        break;
                    case 1:
                        input.remove(at, 1 + int(rng.bounded(16)));
                        break;
                    default:
                        input.insert(at, tokens[rng.bounded(tokens.size())]);
                        break;
                    }
                }
                if (!input.startsWith("{\\rtf"))
                    input.prepend("{\\rtf1");
            }
        }
        QTextDocument doc;
        if (!ReadRtf(input, doc)) {
            QVERIFY(!IsRtf(input));
            continue;
        }
        QVERIFY2(doc.characterCount() <= input.size() + 1, input.toPercentEncoding().constData());
        // Searches read the text alone; it must be the document's.
        QVERIFY2(RtfPlainText(input) == PlainTextOf(doc), input.toPercentEncoding().constData());
    }
    // Generous: the whole batch takes well under a second normally.
    QVERIFY2(timer.elapsed() < 120000, "reader took too long on small inputs");
}

// Text is read in blocks of sixteen bytes up to the first mark: a mark or a
// byte that Latin-1 does not share, at any place in or after a block, must
// give the document's text.
void tst_RtfReader::plainTextAtEveryBlockEdge() {
    const QList<QByteArray> marks = {"\\'e9",   "\\'80",    "\\'0d",  "\\'1f", "\\'9", "\\b ",
                                     "{\\i x}", "\t",       "\r\n",   "\\\\",  "\x80", "\x9F",
                                     "\xA0",    "\\u8364?", "\\par ", "}",     "\x01"};
    for (const QByteArray& mark : marks) {
        for (int length = 0; length <= 40; ++length) {
            for (int at = 0; at <= length; ++at) {
                QByteArray text;
                for (int i = 0; i < length; ++i)
                    text += char('a' + i % 26);
                text.insert(at, mark);
                const QByteArray rtf = "{\\rtf1\\ansi " + text + "}";
                QTextDocument doc;
                QVERIFY(ReadRtf(rtf, doc));
                QVERIFY2(RtfPlainText(rtf) == PlainTextOf(doc),
                         rtf.toPercentEncoding().constData());
            }
        }
    }
}

QTEST_MAIN(tst_RtfReader)
#include "tst_RtfReader.moc"
