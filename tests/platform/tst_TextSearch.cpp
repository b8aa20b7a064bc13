// The fast search for ASCII search strings must find exactly what Qt's own
// search finds, letters outside ASCII that fold into ASCII included.

#include "TextSearch.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// Units that trip up a search by bytes or by ASCII case rules alone: letters
// that fold into ASCII (Kelvin sign, long s), others that fold into no ASCII
// letter (dotted and dotless i, sharp s, the ff ligature, final sigma), a
// surrogate pair with its lower-case pair, and lone surrogates.
const char16_t kUnits[] = {u'a',   u'A',   u'k',   u'K',   u's',   u'S',   u'q',   u'Q',   u'z',
                           u'1',   u'_',   u' ',   u'\n',  u'.',   0x00E9, 0x00C9, 0x00DF, 0x00FF,
                           0x0178, 0x0130, 0x0131, 0x017F, 0x212A, 0xFB00, 0x03A3, 0x03C3, 0x03C2,
                           0xD801, 0xDC00, 0xDC28, u'i',   u'I',   u'e',   u'E'};
const char kAscii[] = "aAkKsSqQzZiIeE1_ .\n";

QString RandomText(QRandomGenerator& Rng, qsizetype Size) {
    QString s;
    for (qsizetype i = 0; i < Size; ++i) {
        const char16_t u = kUnits[Rng.bounded(int(std::size(kUnits)))];
        s += QChar(u);
        if (u == 0xD801 && Rng.bounded(2)) // mostly a whole pair
            s += QChar(Rng.bounded(2) ? char16_t(0xDC00) : char16_t(0xDC28));
    }
    return s;
}

// A piece of Text with its ASCII letters in random case, or random ASCII.
QString RandomNeedle(QRandomGenerator& Rng, const QString& Text) {
    QString n;
    if (!Text.isEmpty() && Rng.bounded(3) != 0) {
        const qsizetype at = Rng.bounded(int(Text.size()));
        n = Text.mid(at, 1 + Rng.bounded(6));
        for (QChar& c : n)
            if (c.unicode() < 0x80 && Rng.bounded(2))
                c = c.isUpper() ? c.toLower() : c.toUpper();
    } else {
        for (int i = 0, size = 1 + Rng.bounded(5); i < size; ++i)
            n += QLatin1Char(kAscii[Rng.bounded(int(sizeof kAscii - 1))]);
    }
    return n;
}

} // namespace

class tst_TextSearch : public QObject {
    Q_OBJECT
private slots:
    void indexOfAsQt_data();
    void indexOfAsQt();
    void indexOfAsQtOnRandomTexts();
};

void tst_TextSearch::indexOfAsQt_data() {
    QTest::addColumn<QString>("haystack");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("expected");
    QTest::newRow("Kelvin sign as k") << u"2 \u212Am"_qs << u"KM"_qs << 0 << 2;
    QTest::newRow("long s as s") << u"ca\u017Fe"_qs << u"CASE"_qs << 0 << 0;
    QTest::newRow("dotted I is no i") << u"\u0130f if"_qs << u"IF"_qs << 0 << 3;
    QTest::newRow("sharp s is no ss") << u"stra\u00DFe strasse"_qs << u"SS"_qs << 0 << 11;
    QTest::newRow("after a surrogate pair") << u"\U00010400ab"_qs << u"AB"_qs << 0 << 2;
    QTest::newRow("from past a match") << u"abcabc"_qs << u"BC"_qs << 2 << 4;
    QTest::newRow("from at the end") << u"abc"_qs << u"c"_qs << 3 << -1;
    QTest::newRow("needle longer") << u"ab"_qs << u"abc"_qs << 0 << -1;
    QTest::newRow("long text") << QString(700, u'x') + u"Needle"_qs << u"nEEDLE"_qs << 0 << 700;
    QTest::newRow("non-ASCII needle") << u"Caf\u00C9 caf\u00E9"_qs << u"CAF\u00E9"_qs << 1 << 5;
}

void tst_TextSearch::indexOfAsQt() {
    QFETCH(QString, haystack);
    QFETCH(QString, needle);
    QFETCH(int, from);
    QFETCH(int, expected);
    QCOMPARE(QStringView(haystack).indexOf(needle, from, Qt::CaseInsensitive), expected);
    QCOMPARE(IndexOfText(haystack, needle, from, Qt::CaseInsensitive), expected);
}

void tst_TextSearch::indexOfAsQtOnRandomTexts() {
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        // Long texts too: Qt searches them another way.
        const QString text =
            RandomText(rng, rng.bounded(4) == 0 ? 500 + rng.bounded(400) : rng.bounded(60));
        const QString needle = RandomNeedle(rng, text);
        const qsizetype from = rng.bounded(int(text.size()) + 1);
        for (const Qt::CaseSensitivity cs : {Qt::CaseInsensitive, Qt::CaseSensitive}) {
            const qsizetype expected = QStringView(text).indexOf(needle, from, cs);
            if (IndexOfText(text, needle, from, cs) != expected)
                QFAIL(qPrintable(QStringLiteral("\"%1\" in \"%2\" from %3, case %4: not at %5")
                                     .arg(needle, text)
                                     .arg(from)
                                     .arg(int(cs))
                                     .arg(expected)));
        }
    }
}

QTEST_GUILESS_MAIN(tst_TextSearch)
#include "tst_TextSearch.moc"
