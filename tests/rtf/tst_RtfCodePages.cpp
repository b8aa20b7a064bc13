#include "DocTestUtil.h"
#include "RtfReader.h"

#include <QtTest>

namespace {

QString U(std::u16string_view s) {
    return QStringView(s).toString();
}

// A page whose document code page is given by Header (e.g. "\\ansicpg932").
QByteArray Page(const char* Header, const char* Body) {
    return QByteArray("{\\rtf1") + Header + " " + Body + "}";
}

// A page whose text is in a font of the given charset.
QByteArray CharsetPage(int Charset, const char* Body) {
    return "{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset" + QByteArray::number(Charset) +
           " F;}}\\f0 " + Body + "}";
}

QString Read(const QByteArray& Rtf) {
    QTextDocument doc;
    if (!ReadRtf(Rtf, doc))
        return QStringLiteral("<not rtf>");
    return DocumentText(doc);
}

const QString kBad = QString(QChar(0xFFFD));

} // namespace

class tst_RtfCodePages : public QObject {
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void fixtures_data();
    void fixtures();
};

void tst_RtfCodePages::text_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");

    // \ansicpgN, Windows.
    QTest::newRow("1250") << Page("\\ansicpg1250", "\\'b9\\'8a") << U(u"ąŠ");
    QTest::newRow("1251") << Page("\\ansicpg1251", "\\'c6") << U(u"Ж");
    QTest::newRow("1252") << Page("\\ansicpg1252", "\\'e9\\'80") << U(u"é€");
    QTest::newRow("1253") << Page("\\ansicpg1253", "\\'e1") << U(u"α");
    QTest::newRow("1254") << Page("\\ansicpg1254", "\\'f0\\'dd") << U(u"ğİ");
    QTest::newRow("1255") << Page("\\ansicpg1255", "\\'e0") << U(u"א");
    QTest::newRow("1256") << Page("\\ansicpg1256", "\\'c7") << U(u"ا");
    QTest::newRow("1257") << Page("\\ansicpg1257", "\\'e0") << U(u"ą");
    QTest::newRow("1258") << Page("\\ansicpg1258", "\\'f5\\'f0") << U(u"ơđ");
    QTest::newRow("874") << Page("\\ansicpg874", "\\'a1\\'85") << U(u"ก…");
    QTest::newRow("932") << Page("\\ansicpg932", "\\'93\\'fa\\'96\\'7b\\'8c\\'ea") << U(u"日本語");
    QTest::newRow("932 half-width kana") << Page("\\ansicpg932", "\\'b1\\'93\\'fa") << U(u"ｱ日");
    QTest::newRow("936") << Page("\\ansicpg936", "\\'d6\\'d0\\'ce\\'c4") << U(u"中文");
    QTest::newRow("949") << Page("\\ansicpg949", "\\'c7\\'d1\\'b1\\'db") << U(u"한글");
    QTest::newRow("1361 hangul") << Page("\\ansicpg1361", "\\'d0\\'65\\'8b\\'69") << U(u"한글");
    QTest::newRow("1361 hanja and symbols")
        << Page("\\ansicpg1361", "\\'e0\\'31\\'d9\\'31") << U(u"伽\u3000");
    QTest::newRow("1361 lone jamo") << Page("\\ansicpg1361", "\\'88\\'41") << U(u"ㄱ");
    QTest::newRow("1361 lone lead") << Page("\\ansicpg1361", "\\'d0 x") << kBad + U(u" x");
    QTest::newRow("950") << Page("\\ansicpg950", "\\'a4\\'a4\\'a4\\'e5") << U(u"中文");
    // DOS and OEM.
    QTest::newRow("437") << Page("\\ansicpg437", "\\'82\\'b0") << U(u"é░");
    QTest::newRow("737") << Page("\\ansicpg737", "\\'80\\'98\\'e0\\'b0") << U(u"Ααω░");
    QTest::newRow("775") << Page("\\ansicpg775", "\\'d0\\'d8") << U(u"ąž");
    QTest::newRow("850") << Page("\\ansicpg850", "\\'82\\'d5") << U(u"éı");
    QTest::newRow("852") << Page("\\ansicpg852", "\\'a5") << U(u"ą");
    QTest::newRow("857") << Page("\\ansicpg857", "\\'8d\\'98") << U(u"ıİ");
    QTest::newRow("860") << Page("\\ansicpg860", "\\'84") << U(u"ã");
    QTest::newRow("861") << Page("\\ansicpg861", "\\'8b\\'8c") << U(u"Ðð");
    QTest::newRow("862") << Page("\\ansicpg862", "\\'80") << U(u"א");
    QTest::newRow("863") << Page("\\ansicpg863", "\\'84") << U(u"Â");
    QTest::newRow("865") << Page("\\ansicpg865", "\\'9b\\'9d") << U(u"øØ");
    QTest::newRow("866") << Page("\\ansicpg866", "\\'80\\'e0") << U(u"Ар");
    QTest::newRow("pc") << Page("\\pc", "\\'82\\'b0") << U(u"é░");
    QTest::newRow("pca") << Page("\\pca", "\\'82\\'d5") << U(u"éı");
    // Mac.
    QTest::newRow("mac") << Page("\\mac", "\\'8e\\'a5") << U(u"é•");
    QTest::newRow("10000") << Page("\\ansicpg10000", "\\'8e") << U(u"é");
    QTest::newRow("10001") << Page("\\mac\\ansicpg10001", "\\'93\\'fa\\'96\\'7b\\'8c\\'ea\\'fd")
                           << U(u"日本語©");
    QTest::newRow("10002") << Page("\\mac\\ansicpg10002", "\\'a4\\'a4\\'a4\\'e5") << U(u"中文");
    QTest::newRow("10003") << Page("\\mac\\ansicpg10003", "\\'c7\\'d1\\'b1\\'db") << U(u"한글");
    QTest::newRow("10006") << Page("\\mac\\ansicpg10006", "\\'e1\\'e2") << U(u"αβ");
    QTest::newRow("10007") << Page("\\mac\\ansicpg10007", "\\'80\\'e0") << U(u"Аа");
    QTest::newRow("10008") << Page("\\mac\\ansicpg10008", "\\'d6\\'d0\\'ce\\'c4") << U(u"中文");
    QTest::newRow("10010") << Page("\\mac\\ansicpg10010", "\\'ae\\'bf\\'df\\'8e") << U(u"Ășțé");
    QTest::newRow("10079") << Page("\\mac\\ansicpg10079", "\\'a0\\'dd\\'df\\'8e") << U(u"Ýðþé");
    QTest::newRow("10017") << Page("\\mac\\ansicpg10017", "\\'80\\'e0") << U(u"Аа");
    QTest::newRow("10029") << Page("\\mac\\ansicpg10029", "\\'87\\'88") << U(u"áą");
    QTest::newRow("10081") << Page("\\mac\\ansicpg10081", "\\'da\\'dd\\'df") << U(u"Ğış");
    // Other pages the system knows.
    QTest::newRow("20866 koi8-r") << Page("\\ansicpg20866", "\\'c1") << U(u"а");
    QTest::newRow("28595 iso-8859-5") << Page("\\ansicpg28595", "\\'b0") << U(u"А");
    QTest::newRow("65001 utf-8") << Page("\\ansicpg65001", "\\'c3\\'a9") << U(u"é");
    // A page nobody decodes is read as Windows-1252, byte for byte.
    QTest::newRow("unknown page") << Page("\\ansicpg12345", "\\'e9\\'80x") << U(u"é€x");

    // \fcharsetN, Windows.
    QTest::newRow("charset 0") << CharsetPage(0, "\\'e9") << U(u"é");
    QTest::newRow("charset 1 is the document's")
        << QByteArray("{\\rtf1\\ansicpg1251{\\fonttbl{\\f0\\fcharset1 F;}}\\f0 \\'c6}") << U(u"Ж");
    QTest::newRow("charset 2") << CharsetPage(2, "\\'b7") << U(u"•");
    QTest::newRow("charset 128") << CharsetPage(128, "\\'93\\'fa") << U(u"日");
    QTest::newRow("charset 129") << CharsetPage(129, "\\'c7\\'d1") << U(u"한");
    QTest::newRow("charset 130") << CharsetPage(130, "\\'d0\\'65") << U(u"한");
    QTest::newRow("charset 82") << CharsetPage(82, "\\'d0\\'65") << U(u"한");
    QTest::newRow("charset 134") << CharsetPage(134, "\\'d6\\'d0") << U(u"中");
    QTest::newRow("charset 136") << CharsetPage(136, "\\'a4\\'a4") << U(u"中");
    QTest::newRow("charset 161") << CharsetPage(161, "\\'e1") << U(u"α");
    QTest::newRow("charset 162") << CharsetPage(162, "\\'f0") << U(u"ğ");
    QTest::newRow("charset 163") << CharsetPage(163, "\\'f5") << U(u"ơ");
    QTest::newRow("charset 177") << CharsetPage(177, "\\'e0") << U(u"א");
    QTest::newRow("charset 178") << CharsetPage(178, "\\'c7") << U(u"ا");
    QTest::newRow("charset 186") << CharsetPage(186, "\\'e0") << U(u"ą");
    QTest::newRow("charset 204") << CharsetPage(204, "\\'c6") << U(u"Ж");
    QTest::newRow("charset 222") << CharsetPage(222, "\\'a1") << U(u"ก");
    QTest::newRow("charset 238") << CharsetPage(238, "\\'b9") << U(u"ą");
    QTest::newRow("charset 254") << CharsetPage(254, "\\'82") << U(u"é");
    QTest::newRow("charset 255") << CharsetPage(255, "\\'82") << U(u"é");
    // \fcharsetN, Mac.
    QTest::newRow("charset 77") << CharsetPage(77, "\\'8e") << U(u"é");
    QTest::newRow("charset 78") << CharsetPage(78, "\\'93\\'fa\\'96\\'7b") << U(u"日本");
    QTest::newRow("charset 79") << CharsetPage(79, "\\'c7\\'d1") << U(u"한");
    QTest::newRow("charset 80") << CharsetPage(80, "\\'d6\\'d0") << U(u"中");
    QTest::newRow("charset 81") << CharsetPage(81, "\\'a4\\'a4") << U(u"中");
    QTest::newRow("charset 85") << CharsetPage(85, "\\'e1") << U(u"α");
    QTest::newRow("charset 86") << CharsetPage(86, "\\'da") << U(u"Ğ");
    QTest::newRow("charset 88") << CharsetPage(88, "\\'88") << U(u"ą");
    QTest::newRow("charset 89") << CharsetPage(89, "\\'80") << U(u"А");
    QTest::newRow("cpg over charset")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset0\\cpg10001 F;}}\\f0 \\'93\\'fa}")
        << U(u"日");
    QTest::newRow("font name in mac japanese")
        << QByteArray("{\\rtf1\\mac\\ansicpg10001{\\fonttbl{\\f0\\fcharset78 \\'93\\'fa;}}\\f0 x}")
        << "x";

    // As TextEdit writes a Japanese page.
    QTest::newRow("textedit mac japanese")
        << QByteArray("{\\rtf1\\mac\\ansicpg10001\\cocoartf2639\n"
                      "\\cocoatextscaling0\\cocoaplatform0{\\fonttbl\\f0\\fnil\\fcharset78 "
                      "HiraKakuProN-W3;}\n"
                      "{\\colortbl;\\red255\\green255\\blue255;}\n"
                      "\\paperw11900\\paperh16840\\margl1440\\margr1440\\vieww11520\\viewh8400"
                      "\\viewkind0\n"
                      "\\pard\\tx566\\tx1133\\pardirnatural\\partightenfactor0\n\n"
                      "\\f0\\fs24 \\cf0 \\'93\\'fa\\'96\\'7b\\'8c\\'ea\\'82\\'cc\\'83\\'65"
                      "\\'83\\'4c\\'83\\'58\\'83\\'67}")
        << U(u"日本語のテキスト");

    // A lead and its trail stay one character, however the trail comes.
    QTest::newRow("trail as plain text") << Page("\\ansicpg932", "\\'83A") << U(u"ア");
    QTest::newRow("trail is a backslash")
        << Page("\\ansicpg932", "\\'83\\\\\\'95\\\\") << U(u"ソ表");
    QTest::newRow("trail is a brace") << Page("\\ansicpg932", "\\'83\\{\\'83\\}") << U(u"ボマ");
    QTest::newRow("line break between") << Page("\\ansicpg932", "\\'83\r\n\\'41") << U(u"ア");
    QTest::newRow("format word between")
        << Page("\\ansicpg932", "\\'83\\b\\'41\\b0 B") << U(u"アB");
    QTest::newRow("group between") << Page("\\ansicpg932", "\\'83{\\'41}{\\i\\'83}A") << U(u"アア");
    QTest::newRow("font of the same page between")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset128 A;}{\\f1\\fcharset128 B;}}"
                      "\\f0\\'93\\f1\\'fa}")
        << U(u"日");
    QTest::newRow("font of another page between")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset128 A;}{\\f1\\fcharset0 B;}}"
                      "\\f0\\'93\\f1\\'fa}")
        << kBad + U(u"ú");
    // \uN fallbacks: a lead skipped takes its trail with it.
    QTest::newRow("uc2 fallback pair")
        << Page("\\ansicpg932", "\\uc2\\u12450\\'83\\'41B") << U(u"アB");
    QTest::newRow("uc1 fallback pair")
        << Page("\\ansicpg932", "\\uc1\\u12450\\'83\\'41B") << U(u"アB");
    QTest::newRow("uc1 fallback pair as plain text")
        << Page("\\ansicpg932", "\\uc1\\u12450\\'83AB") << U(u"アB");
    QTest::newRow("uc1 fallback in single-byte page")
        << Page("\\ansicpg1252", "\\uc1\\u12450\\'83AB") << U(u"アAB");
    QTest::newRow("uc1 fallback lead then a word")
        << Page("\\ansicpg932", "\\uc1\\u12450\\'83\\par A") << U(u"ア\nA");
    QTest::newRow("uc1 fallback lead then a non-trail")
        << Page("\\ansicpg932", "\\uc1\\u12450\\'83 A") << U(u"ア A");
    // A lead byte alone is U+FFFD, and the byte after it is kept.
    QTest::newRow("lone lead before paragraph")
        << Page("\\ansicpg932", "\\'83\\par x") << kBad + U(u"\nx");
    QTest::newRow("lone lead before space") << Page("\\ansicpg932", "\\'83 x") << kBad + U(u" x");
    QTest::newRow("lone lead before tab")
        << Page("\\ansicpg932", "\\'83\\tab x") << kBad + U(u"\tx");
    QTest::newRow("lone lead before unicode")
        << Page("\\ansicpg932", "\\'83\\u12450?x") << kBad + U(u"アx");
    QTest::newRow("lone lead at the end") << Page("\\ansicpg932", "x\\'83") << U(u"x") + kBad;
    QTest::newRow("pair with no character")
        << Page("\\ansicpg932", "\\'85\\'40x") << kBad + U(u"x");
    QTest::newRow("lone lead in big5") << Page("\\ansicpg950", "\\'a4\\'0dx") << kBad + U(u"\nx");
    QTest::newRow("lone lead in mac korean")
        << Page("\\mac\\ansicpg10003", "\\'c7 x") << kBad + U(u" x");
}

void tst_RtfCodePages::text() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(Read(rtf), text);
    QCOMPARE(RtfPlainText(rtf), text);
}

void tst_RtfCodePages::fixtures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("words");

    QTest::newRow("textedit japanese")
        << "textedit_japanese.rtf" << QStringList{U(u"日本語"), U(u"テキスト"), U(u"表示")};
    QTest::newRow("word japanese")
        << "word_japanese.rtf" << QStringList{U(u"日本語"), U(u"ソフト"), U(u"表")};
    QTest::newRow("simplified chinese") << "gbk.rtf" << QStringList{U(u"中文"), U(u"汉字")};
    QTest::newRow("traditional chinese") << "big5.rtf" << QStringList{U(u"中文")};
    QTest::newRow("korean") << "korean.rtf" << QStringList{U(u"한글"), U(u"한국어")};
    QTest::newRow("mac cyrillic") << "mac_cyrillic.rtf" << QStringList{U(u"Привет")};
}

void tst_RtfCodePages::fixtures() {
    QFETCH(QString, file);
    QFETCH(QStringList, words);
    const QByteArray rtf = ReadFileBytes(QStringLiteral(VMR_TEST_DATA "/codepages/") + file);
    QVERIFY(!rtf.isEmpty());
    const QString text = Read(rtf);
    QCOMPARE(RtfPlainText(rtf), text);
    for (const QString& w : words)
        QVERIFY2(text.contains(w), qPrintable(w + QStringLiteral(" in ") + text));
    QVERIFY2(!text.contains(QChar(0xFFFD)), qPrintable(text));
}

QTEST_MAIN(tst_RtfCodePages)
#include "tst_RtfCodePages.moc"
