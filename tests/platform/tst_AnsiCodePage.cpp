#include "AnsiCodePage.h"

#include <QtTest>

#include <string>

namespace {

// Windows-1252 bytes 0x80..0x9F as the code page defines them.
const char16_t kCp1252High[32] = {
    u'€', u'\u0081', u'‚',      u'ƒ', u'„',      u'…',      u'†', u'‡',      u'ˆ', u'‰', u'Š',
    u'‹', u'Œ',      u'\u008D', u'Ž', u'\u008F', u'\u0090', u'‘', u'’',      u'“', u'”', u'•',
    u'–', u'—',      u'˜',      u'™', u'š',      u'›',      u'œ', u'\u009D', u'ž', u'Ÿ'};

char16_t ExpectedChar(int byte) {
    return (byte >= 0x80 && byte <= 0x9F) ? kCp1252High[byte - 0x80] : char16_t(byte);
}

} // namespace

class tst_AnsiCodePage : public QObject {
    Q_OBJECT

private slots:
    void everyByteDecodesAndRoundTrips();
    void wholeByteRangeInOneString();
    void appendsEveryLengthAndPlace();
    void fromUnicode_data();
    void fromUnicode();
    void embeddedZeroBytesKeepLength();
};

void tst_AnsiCodePage::everyByteDecodesAndRoundTrips() {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, char(b));
        const QString text = UnicodeFromAnsi(byte);
        QCOMPARE(text.size(), 1);
        QCOMPARE(text[0].unicode(), ExpectedChar(b));
        QCOMPARE(AnsiFromUnicode(text), byte);
    }
}

void tst_AnsiCodePage::wholeByteRangeInOneString() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    const QString text = UnicodeFromAnsi(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(AnsiFromUnicode(text), all);
}

// Long ASCII stretches are widened in blocks: a byte beyond ASCII at any place
// in a block, and any tail, must still decode as alone.
void tst_AnsiCodePage::appendsEveryLengthAndPlace() {
    for (int length = 0; length <= 40; ++length) {
        for (int at = -1; at < length; ++at) {
            std::string bytes;
            for (int i = 0; i < length; ++i)
                bytes.push_back(char('a' + i % 26));
            if (at >= 0)
                bytes[size_t(at)] = char(0x80 + at);
            QString out = QStringLiteral("kept");
            AppendUnicodeFromAnsi(out, bytes);
            QCOMPARE(out.size(), 4 + length);
            QVERIFY(out.startsWith(QLatin1String("kept")));
            for (int i = 0; i < length; ++i)
                QCOMPARE(out[4 + i].unicode(),
                         ExpectedChar(static_cast<unsigned char>(bytes[size_t(i)])));
        }
    }
}

void tst_AnsiCodePage::fromUnicode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    const auto s = [](std::u16string_view v) { return QStringView(v).toString(); };

    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ascii") << s(u"Hello, World!") << QByteArray("Hello, World!");
    QTest::newRow("latin-1 letters") << s(u"Ideen ä é ÿ") << QByteArray("Ideen \xE4 \xE9 \xFF");
    QTest::newRow("euro sign") << s(u"€") << QByteArray("\x80");
    QTest::newRow("trade mark") << s(u"™") << QByteArray("\x99");
    QTest::newRow("lowest wide entry") << s(u"Œ") << QByteArray("\x8C");
    QTest::newRow("Y diaeresis") << s(u"Ÿ") << QByteArray("\x9F");
    QTest::newRow("undefined byte's control")
        << s(u"\u0081\u008D\u008F\u0090\u009D") << QByteArray("\x81\x8D\x8F\x90\x9D");
    QTest::newRow("control the page replaces") << s(u"\u0080\u0099") << QByteArray("??");
    QTest::newRow("A with macron") << s(u"\u0100") << QByteArray("?");
    QTest::newRow("just above trade mark") << s(u"\u2123") << QByteArray("?");
    QTest::newRow("just below OE") << s(u"\u0151") << QByteArray("?");
    QTest::newRow("Cyrillic") << s(u"Жук") << QByteArray("???");
    QTest::newRow("replacement char") << s(u"\uFFFD") << QByteArray("?");
    QTest::newRow("emoji is one character") << s(u"a😀b") << QByteArray("a?b");
    QTest::newRow("two emoji") << s(u"😀😀") << QByteArray("??");
    QTest::newRow("lone high surrogate") << s(u"a") + QChar(0xD83D) + s(u"b") << QByteArray("a?b");
    QTest::newRow("lone high surrogate at end") << s(u"a") + QChar(0xD83D) << QByteArray("a?");
    QTest::newRow("lone low surrogate") << QChar(0xDE00) + s(u"b") << QByteArray("?b");
    QTest::newRow("high then high then low")
        << QString(QChar(0xD83D)) + QChar(0xD83D) + QChar(0xDE00) << QByteArray("??");
    QTest::newRow("mixed") << s(u"x€\u0100😀é") << QByteArray("x\x80??\xE9");
}

void tst_AnsiCodePage::fromUnicode() {
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(AnsiFromUnicode(text)), expected);
}

void tst_AnsiCodePage::embeddedZeroBytesKeepLength() {
    const std::string bytes("a\0b\0", 4);
    const QString text = UnicodeFromAnsi(bytes);
    QCOMPARE(text.size(), 4);
    QCOMPARE(text[1].unicode(), u'\0');
    QCOMPARE(AnsiFromUnicode(text), bytes);
}

QTEST_GUILESS_MAIN(tst_AnsiCodePage)
#include "tst_AnsiCodePage.moc"
