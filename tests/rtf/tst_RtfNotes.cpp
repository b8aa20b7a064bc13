#include "DocTestUtil.h"
#include "RtfNotes.h"
#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextObjects.h"

#include <QTextDocument>
#include <QtTest>

using namespace TextObjects;

namespace {

QByteArray Page(const QByteArray& Body) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 " + Body + "}";
}

struct TMark {
    TRtfNoteKind Kind;
    QByteArray Group;
    QString Words;
};

QList<TMark> MarksOf(const QTextDocument& Doc) {
    QList<TMark> out;
    for (const QTextImageFormat& f : ImageObjects(Doc))
        if (f.hasProperty(kKeptKind))
            out.append({TRtfNoteKind(f.intProperty(kKeptKind)),
                        f.property(kKeptGroup).toByteArray(), f.stringProperty(kKeptWords)});
    return out;
}

// The groups that stand side by side in Bytes, each from its '{' to its '}'.
QList<QByteArray> GroupsOf(const QByteArray& Bytes) {
    QList<QByteArray> out;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < Bytes.size(); ++i) {
        const char c = Bytes[i];
        if (c == '\\') {
            ++i;
        } else if (c == '{' && depth++ == 0) {
            start = i;
        } else if (c == '}' && --depth == 0) {
            out.append(Bytes.mid(start, i + 1 - start));
        }
    }
    return out;
}

} // namespace

class tst_RtfNotes : public QObject {
    Q_OBJECT
private slots:
    void kept_data();
    void kept();
    void savedUnchanged();
    void fixturesKeepTheirGroups_data();
    void fixturesKeepTheirGroups();
    void damaged_data();
    void damaged();
};

// Body: the page's body. Text: the editor's text. Groups: each object's
// group, in order. Words: each object's words. Kinds: each object's kind.
void tst_RtfNotes::kept_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QByteArray>>("groups");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QList<int>>("kinds");
    const int header = int(TRtfNoteKind::Header), footer = int(TRtfNoteKind::Footer),
              footnote = int(TRtfNoteKind::Footnote), endnote = int(TRtfNoteKind::Endnote),
              comment = int(TRtfNoteKind::Comment), meta = int(TRtfNoteKind::Meta);

    // A word processor's header and footer stand before the body.
    QTest::newRow("header and footer")
        << QByteArray(
               "{\\header \\pard\\plain Top line\\par}{\\footer \\pard\\plain Page foot\\par}"
               "\\pard Body\\par")
        << u"\uFFFC\uFFFCBody"_qs
        << QList<QByteArray>{"{\\header \\pard\\plain Top line\\par}",
                             "{\\footer \\pard\\plain Page foot\\par}"}
        << QStringList{"Top line", "Page foot"} << QList<int>{header, footer};
    QTest::newRow("footnotes numbered")
        << QByteArray("One{\\super\\chftn}{\\footnote\\pard\\plain{\\super\\chftn} First note.}"
                      " two{\\footnote\\pard Second\\par note}.\\par")
        << u"One\uFFFC two\uFFFC."_qs
        << QList<QByteArray>{"{\\footnote\\pard\\plain{\\super\\chftn} First note.}",
                             "{\\footnote\\pard Second\\par note}"}
        << QStringList{"First note.", "Second\nnote"} << QList<int>{footnote, footnote};
    QTest::newRow("endnote") << QByteArray("End{\\footnote\\ftnalt\\pard An endnote}\\par")
                             << u"End\uFFFC"_qs
                             << QList<QByteArray>{"{\\footnote\\ftnalt\\pard An endnote}"}
                             << QStringList{"An endnote"} << QList<int>{endnote};
    // A comment's parts side by side are one object; its range's ends are
    // thin marks of their own.
    QTest::newRow("comment")
        << QByteArray(
               "{\\*\\atrfstart 1}noted{\\*\\atrfend 1}{\\*\\atnid JD}{\\*\\atnauthor Jo Doe}"
               "\\chatn{\\*\\annotation{\\*\\atnref 1}\\pard\\plain Check this}\\par")
        << u"\uFFFCnoted\uFFFC"_qs
        << QList<QByteArray>{"{\\*\\atrfstart 1}",
                             "{\\*\\atrfend 1}{\\*\\atnid JD}{\\*\\atnauthor Jo Doe}\\chatn"
                             "{\\*\\annotation{\\*\\atnref 1}\\pard\\plain Check this}"}
        << QStringList{"", "Check this"} << QList<int>{meta, comment};
    QTest::newRow("note in a table cell")
        << QByteArray(
               "\\trowd\\cellx2000\\cellx4000\\pard\\intbl a{\\footnote in cell}\\cell b\\cell"
               "\\row\\pard after\\par")
        << u"\na\uFFFC\nb\nafter"_qs << QList<QByteArray>{"{\\footnote in cell}"}
        << QStringList{"in cell"} << QList<int>{footnote};
    // A table inside a note is read for its words only; the body's table
    // goes on around it.
    QTest::newRow("table in a note")
        << QByteArray(
               "\\trowd\\cellx2000\\pard\\intbl x{\\footnote\\trowd\\cellx900\\intbl p\\cell q"
               "\\cell\\row}y\\cell\\row\\pard z\\par")
        << u"\nx\uFFFCy\nz"_qs
        << QList<QByteArray>{"{\\footnote\\trowd\\cellx900\\intbl p\\cell q\\cell\\row}"}
        << QStringList{"p\tq"} << QList<int>{footnote};
    // A note's format and paragraph stay its own.
    QTest::newRow("state restored")
        << QByteArray("\\b bold{\\footnote\\plain\\par plain}still\\par") << u"bold\uFFFCstill"_qs
        << QList<QByteArray>{"{\\footnote\\plain\\par plain}"} << QStringList{"plain"}
        << QList<int>{footnote};
    QTest::newRow("nested kept groups are one")
        << QByteArray("a{\\footnote x{\\*\\annotation y}z}b\\par") << u"a\uFFFCb"_qs
        << QList<QByteArray>{"{\\footnote x{\\*\\annotation y}z}"} << QStringList{"xz"}
        << QList<int>{footnote};
    QTest::newRow("after the last paragraph")
        << QByteArray("last\\par{\\footer foot}") << u"last\uFFFC"_qs
        << QList<QByteArray>{"{\\footer foot}"} << QStringList{"foot"} << QList<int>{footer};
}

void tst_RtfNotes::kept() {
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QFETCH(QList<QByteArray>, groups);
    QFETCH(QStringList, words);
    QFETCH(QList<int>, kinds);
    const QByteArray rtf = Page(body);
    QTextDocument doc;
    QVERIFY(ReadRtf(rtf, doc));
    QCOMPARE(DocumentText(doc), text);
    const QList<TMark> marks = MarksOf(doc);
    QCOMPARE(marks.size(), groups.size());
    QString notes;
    for (int i = 0; i < marks.size(); ++i) {
        QCOMPARE(marks[i].Group, groups[i]);
        QCOMPARE(marks[i].Words, words[i]);
        QCOMPARE(int(marks[i].Kind), kinds[i]);
        notes += u'\n' + QChar(kRtfNoteWordsMark) + words[i];
    }
    // Search reads the body, then each group's words.
    QCOMPARE(RtfPlainText(rtf), text + notes);
    QCOMPARE(SearchText(doc), text + notes);
}

// Every kept group is written back byte for byte, and reads back the same.
void tst_RtfNotes::savedUnchanged() {
    const QByteArray body =
        "{\\header \\pard\\plain\\qc H\\'e9ader\\par}Text{\\super\\chftn}{\\footnote\\pard\\plain"
        "{\\super\\chftn} A note with \\u8364? and {\\b bold}.}{\\*\\atnid JD}{\\*\\atnauthor Jo}"
        "\\chatn{\\*\\annotation\\pard Comment}\\par";
    QTextDocument doc;
    QVERIFY(ReadRtf(Page(body), doc));
    const QList<TMark> before = MarksOf(doc);
    QCOMPARE(before.size(), 3);
    // Typing elsewhere on the page leaves them alone.
    QTextCursor c(&doc);
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral(" more"));
    const QByteArray saved = WriteRtf(doc);
    for (const TMark& m : before)
        QVERIFY2(saved.contains(m.Group), m.Group.constData());
    QTextDocument again;
    QVERIFY(ReadRtf(saved, again));
    const QList<TMark> after = MarksOf(again);
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < after.size(); ++i) {
        QCOMPARE(after[i].Group, before[i].Group);
        QCOMPARE(after[i].Words, before[i].Words);
    }
    QCOMPARE(before[1].Words, u"A note with \u20AC and bold."_qs);
    QCOMPARE(DocumentText(again), DocumentText(doc));
    QCOMPARE(WriteRtf(again), saved);
}

void tst_RtfNotes::fixturesKeepTheirGroups_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("groups");
    QTest::newRow("word") << QStringLiteral("word/word_notes.rtf") << 8;
    // The comment's range end and the comment make one object.
    QTest::newRow("libreoffice") << QStringLiteral("libreoffice/lo_notes.rtf") << 7;
}

// Pages with every kind of kept group, as other programs write them: saved
// and read again, the same groups, byte for byte, and the same text.
void tst_RtfNotes::fixturesKeepTheirGroups() {
    QFETCH(QString, file);
    QFETCH(int, groups);
    const QByteArray original = ReadFileBytes(QStringLiteral(VMR_TEST_DATA "/") + file);
    QTextDocument doc;
    QVERIFY(ReadRtf(original, doc));
    const QList<TMark> before = MarksOf(doc);
    QCOMPARE(before.size(), groups);
    QSet<int> kinds;
    for (const TMark& m : before) {
        // A comment's parts may come from groups that stood apart.
        for (const QByteArray& part : GroupsOf(m.Group))
            QVERIFY2(original.contains(part), part.constData());
        kinds.insert(int(m.Kind));
    }
    for (const TRtfNoteKind k : {TRtfNoteKind::Header, TRtfNoteKind::Footer, TRtfNoteKind::Footnote,
                                 TRtfNoteKind::Endnote, TRtfNoteKind::Comment})
        QVERIFY2(kinds.contains(int(k)), qPrintable(file));
    const QByteArray saved = WriteRtf(doc);
    QTextDocument again;
    QVERIFY(ReadRtf(saved, again));
    QList<QByteArray> a, b;
    for (const TMark& m : before)
        a << m.Group;
    for (const TMark& m : MarksOf(again))
        b << m.Group;
    // LibreOffice wraps a comment's range end and the comment in a group of
    // their own; written side by side, they read back as one object.
    QCOMPARE(b, a);
    QCOMPARE(SearchText(again), SearchText(doc));
    QCOMPARE(RtfPlainText(saved), SearchText(again));
}

void tst_RtfNotes::damaged_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QList<QByteArray>>("groups");
    // Cut off inside the note: it is closed, so what is kept is a group.
    QTest::newRow("cut off") << QByteArray("{\\rtf1 a{\\footnote b{\\i c")
                             << QList<QByteArray>{"{\\footnote b{\\i c}}"};
    QTest::newRow("no body group")
        << QByteArray("{\\rtf1 {\\footnote}") << QList<QByteArray>{"{\\footnote}"};
    QTest::newRow("in a picture") << QByteArray("{\\rtf1 {\\pict\\wmetafile8{\\footnote x}0102}}")
                                  << QList<QByteArray>{};
    // After a table's cell: a group stands where text would, in the next cell.
    QTest::newRow("after a cell") << QByteArray("{\\rtf\\intbl\\cell{\\footer}{\\footer")
                                  << QList<QByteArray>{"{\\footer}", "{\\footer}"};
    // Cut off in a note that ends a table paragraph: the table ends once.
    QTest::newRow("cut off in a cell")
        << QByteArray("{\\rtf\\itap\t{\\footnote\\pard") << QList<QByteArray>{"{\\footnote\\pard}"};
}

void tst_RtfNotes::damaged() {
    QFETCH(QByteArray, rtf);
    QFETCH(QList<QByteArray>, groups);
    QTextDocument doc;
    QVERIFY(ReadRtf(rtf, doc));
    const QList<TMark> marks = MarksOf(doc);
    QCOMPARE(marks.size(), groups.size());
    for (int i = 0; i < marks.size(); ++i)
        QCOMPARE(marks[i].Group, groups[i]);
    QCOMPARE(RtfPlainText(rtf), SearchText(doc));
}

QTEST_MAIN(tst_RtfNotes)
#include "tst_RtfNotes.moc"
