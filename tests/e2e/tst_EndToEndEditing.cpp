// Editing as a person does it, in a real X server: pages sorted, added,
// deleted, typed in and made bold, and found by search.

#include "E2eStory.h"
#include "RtfReader.h"
#include "TextObjects.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cctype>

namespace {

// The middle of page list item Ix, in design units.
QPoint ListItem(int Ix) {
    return {200, 75 + 40 * Ix + 20};
}

// A point of a 96 pixels-per-inch form, scaled as the main window is.
QPoint FormPoint(TProgramHome& Home, qulonglong Main, int X, int Y) {
    const double scale = Home.Geometry(Main).width() / 2330.0 * 2.5;
    return {qRound(X * scale), qRound(Y * scale)};
}

// Each {\pict ...} group of Rtf that a reader shows: not the stand-ins of a
// \nonshppict group.
QByteArrayList PictureGroups(const QByteArray& Rtf) {
    QByteArrayList groups;
    for (qsizetype at = Rtf.indexOf("{\\pict"); at >= 0; at = Rtf.indexOf("{\\pict", at + 1)) {
        int depth = 0;
        qsizetype end = at;
        for (; end < Rtf.size(); ++end) {
            const char c = Rtf[end];
            if (c == '\\')
                ++end; // an escaped brace or backslash
            else if (c == '{')
                ++depth;
            else if (c == '}' && --depth == 0)
                break;
        }
        if (!Rtf.left(at).endsWith("{\\nonshppict"))
            groups << Rtf.mid(at, end + 1 - at);
    }
    return groups;
}

QByteArray WithoutSpace(QByteArray S) {
    S.removeIf([](char C) { return C == ' ' || C == '\r' || C == '\n' || C == '\t'; });
    return S;
}

// The hex data of a picture group: what follows its last control word and
// its last inner group.
QByteArray PictureHex(const QByteArray& Group) {
    qsizetype at = Group.lastIndexOf('\\');
    while (at + 1 < Group.size() && (std::isalnum(uchar(Group[at + 1])) || Group[at + 1] == '-'))
        ++at;
    at = std::max(at, Group.lastIndexOf('}', Group.size() - 2));
    return WithoutSpace(Group.mid(at + 1).chopped(1)).toLower();
}

// The groups a document keeps byte for byte, in order.
QByteArrayList KeptGroups(const QTextDocument& Doc) {
    QByteArrayList groups;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat() && f.hasProperty(TextObjects::kKeptGroup))
                for (int i = 0; i < it.fragment().length(); ++i)
                    groups << f.property(TextObjects::kKeptGroup).toByteArray();
        }
    return groups;
}

QStringList Words(const QString& Text) {
    static const QRegularExpression nonWord(QStringLiteral("\\W+"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    return Text.split(nonWord, Qt::SkipEmptyParts);
}

QStringList Titles(const QList<TStoredPage>& Pages) {
    QStringList titles;
    for (const TStoredPage& p : Pages)
        titles << p.Title;
    return titles;
}
} // namespace

class TstEndToEndEditing : public TE2eTest {
    Q_OBJECT

private slots:
    // A page with pictures, as the rich-edit control writes them, keeps them
    // through a keystroke, its undoing, Ctrl+S and a restart.
    void picturesSurviveEditAndSave() {
        QImage image(6, 4, QImage::Format_RGB32);
        image.fill(Qt::darkRed);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        const QByteArray metafile =
            "{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal1440\\pichgoal720 "
            "0100090000030a00000000000000000000}";
        const QByteArray text = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Calibri;}}\\f0\\fs22 before "
                                "{\\pict\\pngblip\\picw6\\pich4\\picwgoal900\\pichgoal600 " +
                                png.toHex() + "} between " + metafile + " after\\par}";
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault({{QStringLiteral("Album"), text}, {QStringLiteral("Notes"), "plain"}});
        qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(0)));
        E2E_VERIFY(home, ClickMain(home, main, EditorArea));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+End")}));
        E2E_VERIFY(home, home.Type(main, QStringLiteral("!")));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("BackSpace")}));
        E2E_VERIFY(home, home.Save(main));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);

        // Saved by this program's writer, not left as it was.
        const QByteArray saved = home.VaultPages().value(0).Text;
        QVERIFY2(saved.contains("generator Vellomar"), saved.constData());
        QVERIFY2(saved.contains(metafile), saved.constData());
        QVERIFY2(saved.contains("\\pngblip"), saved.constData());
        QVERIFY2(saved.contains(png.toHex().left(64)), saved.constData());
        QVERIFY2(QString::fromLatin1(saved)
                     .remove(QRegularExpression(QStringLiteral("\\s")))
                     .contains(QString::fromLatin1(png.toHex())),
                 saved.constData());

        // After a restart the page opens with both, and nothing asks to be saved.
        main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(0)));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);
        QCOMPARE(home.VaultPages().value(0).Text, saved);
    }

    // Pages as the rich-edit control and a word processor write them keep
    // their pictures, lists, tables and links through a keystroke, its
    // undoing, Ctrl+S and a restart: the page reads back to what the original
    // reads to, and says so in the words that other programs read.
    void richPagesSurviveEditAndSave_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QByteArrayList>("words");
        QTest::addColumn<QStringList>("merged"); // cells with their row and column spans
        const QByteArrayList table{"\\trowd", "\\cellx", "\\intbl", "\\cell", "\\row"};
        const QByteArrayList lists{"\\pntext", "{\\*\\pn", "\\ls"};
        QTest::newRow("rich-edit control")
            << "richedit/richedit_all.rtf"
            << (QByteArrayList{"\\pngblip", "\\jpegblip", "\\wmetafile8",
                               "HYPERLINK \"https://example.org/\""} +
                lists + table)
            << QStringList();
        QTest::newRow("word processor")
            << "libreoffice/lo_lists_tables.rtf"
            << (QByteArrayList{"\\pngblip", "HYPERLINK \"https://example.org/trip\""} + lists +
                table)
            << QStringList{"Wide heading (1x2)", "Tall cell (2x1)"};
    }

    void richPagesSurviveEditAndSave() {
        QFETCH(QString, fixture);
        QFETCH(QByteArrayList, words);
        QFETCH(QStringList, merged);
        QFile file(QStringLiteral(VMR_RTF_DATA "/") + fixture);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray original = file.readAll();
        const QByteArrayList pictures = PictureGroups(original);
        QVERIFY(!pictures.isEmpty());

        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault({{QStringLiteral("Album"), original}, {QStringLiteral("Notes"), "plain"}});
        qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(0)));
        E2E_VERIFY(home, ClickMain(home, main, EditorArea));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+End")}));
        E2E_VERIFY(home, home.Type(main, QStringLiteral("!")));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("BackSpace")}));
        E2E_VERIFY(home, home.Save(main));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);

        const QByteArray saved = home.VaultPages().value(0).Text;
        QVERIFY2(saved.contains("generator Vellomar"), saved.constData());
        QCOMPARE(PageStructure(saved), PageStructure(original));
        for (const QByteArray& w : words)
            QVERIFY2(saved.contains(w), (w + "\nmissing from:\n" + saved).constData());
        // PNG and JPEG pictures keep their bytes; any other picture is kept
        // as it was read, byte for byte.
        const QByteArray savedHex = WithoutSpace(saved);
        for (const QByteArray& g : pictures) {
            const QByteArray why = g.left(80) + "\nmissing from:\n" + saved;
            if (g.contains("\\pngblip") || g.contains("\\jpegblip")) {
                const QByteArray hex = PictureHex(g);
                QVERIFY2(hex.startsWith("89504e47") || hex.startsWith("ffd8ff"), g.constData());
                QVERIFY2(savedHex.contains(hex), why.constData());
            } else {
                QVERIFY2(saved.contains(g), why.constData());
            }
        }
        // Cells that span the columns of other rows, by their edges or by
        // merges, stay merged.
        for (const QString& cell : merged)
            QVERIFY2(PageStructure(saved).contains(cell), qPrintable(PageStructure(saved)));

        // After a restart the page opens as saved, and nothing asks to be saved.
        main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(0)));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);
        QCOMPARE(home.VaultPages().value(0).Text, saved);
    }

    // Pages with headers, footers, footnotes, an endnote, a comment and a
    // nested table: a word that stands only in a footnote finds the page and
    // makes it current, and what is typed there is saved with every word of
    // the page and every kept group as it was, byte for byte.
    // Pages whose words other programs keep apart (headers, footers, notes,
    // comments) or in code pages of their own: a word that stands only in a
    // note finds the page, and every word and every kept group survives.
    void notedPagesFoundAndKept_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("footnoteWord"); // "": the page is picked in the list
        QTest::addColumn<int>("groups");
        QTest::newRow("word processor") << "libreoffice/lo_notes.rtf"
                                        << "harbourmaster" << 7;
        QTest::newRow("word layout") << "word/word_notes.rtf"
                                     << "frost" << 8;
        QTest::newRow("mac japanese") << "codepages/textedit_japanese.rtf" << QString() << 0;
        QTest::newRow("big5") << "codepages/big5.rtf" << QString() << 0;
        QTest::newRow("mac cyrillic") << "codepages/mac_cyrillic.rtf" << QString() << 0;
    }

    void notedPagesFoundAndKept() {
        QFETCH(QString, fixture);
        QFETCH(QString, footnoteWord);
        QFETCH(int, groups);
        QFile file(QStringLiteral(VMR_RTF_DATA "/") + fixture);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray original = file.readAll();
        QTextDocument before;
        QVERIFY(ReadRtf(original, before));
        const QString body = DocumentText(before), text = SearchText(before);
        QVERIFY(footnoteWord.isEmpty() ||
                (!body.contains(footnoteWord) && text.contains(footnoteWord)));
        const QByteArrayList kept = KeptGroups(before);
        QCOMPARE(kept.size(), groups);

        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault(
            {{QStringLiteral("Almanac"), "plain words"}, {QStringLiteral("Logbook"), original}});
        qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(0)));
        if (footnoteWord.isEmpty()) {
            E2E_VERIFY(home, ClickMain(home, main, ListItem(1)));
            E2E_VERIFY(home, ClickMain(home, main, EditorArea));
        } else {
            E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+f")}));
            const qulonglong find = home.WaitWindow(QStringLiteral("^Find$"));
            E2E_VERIFY(home, find != 0);
            E2E_VERIFY(home, home.Type(find, footnoteWord));
            E2E_VERIFY(home, home.Keys(find, {QStringLiteral("Return")}));
            E2E_VERIFY(home, home.WaitNoWindow(QStringLiteral("^Find$")));
        }
        // Typed into the page found, which the editor shows now.
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+End")}));
        E2E_VERIFY(home, home.Type(main, QStringLiteral(" zqx!")));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("BackSpace")}));
        E2E_VERIFY(home, home.Save(main));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);

        const QList<TStoredPage> pages = home.VaultPages();
        QCOMPARE(Titles(pages), (QStringList{"Almanac", "Logbook"}));
        QCOMPARE(pages[0].Text, QByteArray("plain words"));
        const QByteArray saved = pages[1].Text;
        QVERIFY2(saved.contains("generator Vellomar"), saved.constData());
        for (const QByteArray& g : kept)
            QVERIFY2(saved.contains(g), (g + "\nmissing from:\n" + saved).constData());
        QTextDocument after;
        QVERIFY(ReadRtf(saved, after));
        // Every word, of the body and of each kept group, in order.
        const QString expected = body + QStringLiteral(" zqx") + text.mid(body.size());
        QCOMPARE(Words(SearchText(after)), Words(expected));
        // A comment's range end and the comment stay one object.
        QCOMPARE(KeptGroups(after), kept);
        QCOMPARE(SearchText(after), expected);
        // Where the page's last words stand.
        QVERIFY2(DocumentText(after).endsWith(body.trimmed().right(9) + QStringLiteral(" zqx")),
                 qPrintable(DocumentText(after)));

        // After a restart the page opens as saved, and nothing asks to be saved.
        main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(1)));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);
        QCOMPARE(home.VaultPages().value(1).Text, saved);
    }

    // Hostile pages: each is opened, typed into and saved within five
    // seconds, and the program lives on and keeps the pages.
    void hostilePagesStayResponsive() {
        QByteArray cellx = "{\\rtf1\\trowd";
        QByteArray levels = "{\\rtf1{\\*\\listtable{\\list";
        for (int i = 0; i < 100000; ++i) {
            cellx += "\\cellx" + QByteArray::number(i);
            levels += "{\\listlevel\\levelnfc0}";
        }
        cellx += "\\pard\\intbl a\\cell\\row}";
        levels += "\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}"
                  "\\pard\\ls1\\ilvl99999 deep\\par}";
        // A PNG whose header says 31623 by 31623 pixels.
        const QByteArray huge =
            "89504e470d0a1a0a0000000d4948445200007b8700007b87080200000080e98c3b0000000c4944"
            "4154789c6360a00c000000400001b7347cef0000000049454e44ae426082";
        const QList<TStoredPage> pages = {
            {QStringLiteral("h1 hex to the end"),
             "{\\rtf1 a{\\pict\\pngblip " + QByteArray(200000, 'a')},
            {QStringLiteral("h2 stated size"),
             "{\\rtf1{\\pict\\pngblip\\picwgoal1000000000\\pichgoal1000000000 " + huge + "}}"},
            {QStringLiteral("h3 billion pixels"), "{\\rtf1{\\pict\\pngblip " + huge + "}}"},
            {QStringLiteral("h4 cellx"), cellx},
            {QStringLiteral("h5 row alone"), "{\\rtf1\\row\\row\\intbl\\row x}"},
            {QStringLiteral("h6 ls to nowhere"), "{\\rtf1\\pard\\ls99\\ilvl3 lost\\par}"},
            {QStringLiteral("h7 levels"), levels},
            {QStringLiteral("h8 field"), "{\\rtf1 a{\\field{\\*\\fldinst HYPERLINK \"x\"}}b}"},
            {QStringLiteral("h9 script"),
             "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"javascript:alert(1)\"}{\\fldrslt go}}}"},
        };
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault(pages);
        const qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        for (int i = 0; i < pages.size(); ++i) {
            E2E_VERIFY(home, ClickMain(home, main, ListItem(i)));
            E2E_VERIFY(home, ClickMain(home, main, EditorArea));
            E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+End")}));
            E2E_VERIFY(home, home.Type(main, QStringLiteral("z")));
            QVERIFY2(home.Save(main, 5000), qPrintable(pages[i].Title + "\n" + home.Errors()));
        }
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);
        const QList<TStoredPage> saved = home.VaultPages();
        QCOMPARE(saved.size(), pages.size());
        for (int i = 0; i < pages.size(); ++i) {
            QCOMPARE(saved[i].Title, pages[i].Title);
            QVERIFY2(saved[i].Text.contains('z'), saved[i].Text.left(200).constData());
        }
        // The script link is still a link, to the same target.
        QVERIFY(saved[8].Text.contains("HYPERLINK \"javascript:alert(1)\""));
    }

    void pagesAddedDeletedTypedAndBold() {
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault({{QStringLiteral("Zebra"), "stripes"},
                         {QStringLiteral("apple"), "red"},
                         {QStringLiteral("Mango"), "sweet"}});
        const qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);

        // Insert in the list opens the page editor for a new page.
        E2E_VERIFY(home, ClickMain(home, main, ListItem(0)));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("Insert")}));
        const qulonglong form = home.WaitWindow(PageFormWindow);
        E2E_VERIFY(home, form != 0);
        E2E_VERIFY(home, home.Type(form, QStringLiteral("Kiwi")));
        QPoint p = FormPoint(home, main, 263, 258); // the form's editor
        E2E_VERIFY(home, home.Click(form, p.x(), p.y()));
        E2E_VERIFY(home, home.Type(form, QStringLiteral("green")));
        p = FormPoint(home, main, 400, 482); // its "Ok"
        E2E_VERIFY(home, home.Click(form, p.x(), p.y()));
        E2E_VERIFY(home, home.WaitNoWindow(PageFormWindow));

        // Sorted: apple, Kiwi, Mango, Zebra. "X" on Zebra, then Yes (Tab
        // from the focused No).
        E2E_VERIFY(home, ClickMain(home, main, ListItem(3)));
        E2E_VERIFY(home, ClickMain(home, main, DeleteButton));
        const qulonglong confirm = home.WaitWindow(ConfirmWindow);
        E2E_VERIFY(home, confirm != 0);
        E2E_VERIFY(home, home.Keys(confirm, {QStringLiteral("Tab"), QStringLiteral("space")}));
        E2E_VERIFY(home, home.WaitNoWindow(ConfirmWindow));

        // Mango is current now; its last word is typed and made bold.
        E2E_VERIFY(home, ClickMain(home, main, EditorArea));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+End")}));
        E2E_VERIFY(home, home.Type(main, QStringLiteral(" and ripe")));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+shift+Left"),
                                          QStringLiteral("ctrl+b"), QStringLiteral("ctrl+s")}));
        CloseWindow(home, main);
        E2E_VERIFY(home, home.WaitExit() == 0);

        const QList<TStoredPage> pages = home.VaultPages();
        QCOMPARE(Titles(pages), (QStringList{"apple", "Kiwi", "Mango"}));
        QVERIFY2(pages[1].Text.contains("green"), pages[1].Text.constData());
        const QByteArray mango = pages[2].Text;
        QVERIFY2(mango.contains("sweet and "), mango.constData());
        // Bold switched on before "ripe": \b not followed by a letter or 0.
        QVERIFY2(QRegularExpression(QStringLiteral(R"(\\b(?![a-z0])[^}]*ripe)"))
                     .match(QString::fromLatin1(mango))
                     .hasMatch(),
                 mango.constData());

        // The reopened program holds the same: saving it again, after a
        // change undone, writes the same pages and text.
        const qulonglong again = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, again != 0);
        E2E_VERIFY(home, ClickMain(home, again, ListItem(2)));
        E2E_VERIFY(home, ClickMain(home, again, EditorArea));
        E2E_VERIFY(home, home.Keys(again, {QStringLiteral("x"), QStringLiteral("BackSpace"),
                                           QStringLiteral("ctrl+s")}));
        CloseWindow(home, again);
        E2E_VERIFY(home, home.WaitExit() == 0);
        const QList<TStoredPage> reread = home.VaultPages();
        QCOMPARE(Titles(reread), Titles(pages));
        QCOMPARE(reread[2].Text, mango);
    }

    void searchSelectsMatchAndTypingReplacesIt() {
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault({{QStringLiteral("Alpha"), "nothing to see"},
                         {QStringLiteral("Beta"), "the hidden word"},
                         {QStringLiteral("Gamma"), "more"}});
        const qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+f")}));
        const qulonglong find = home.WaitWindow(QStringLiteral("^Find$"));
        E2E_VERIFY(home, find != 0);
        E2E_VERIFY(home, home.Type(find, QStringLiteral("hidden")));
        E2E_VERIFY(home, home.Keys(find, {QStringLiteral("Return")}));
        E2E_VERIFY(home, home.WaitNoWindow(QStringLiteral("^Find$")));
        E2E_VERIFY(home, home.Type(main, QStringLiteral("open")));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+s")}));
        CloseWindow(home, main);
        E2E_VERIFY(home, home.WaitExit() == 0);

        const QList<TStoredPage> pages = home.VaultPages();
        QCOMPARE(Titles(pages), (QStringList{"Alpha", "Beta", "Gamma"}));
        QVERIFY2(pages[1].Text.contains("the open word"), pages[1].Text.constData());
        QVERIFY(!pages[1].Text.contains("hidden"));
        QCOMPARE(pages[0].Text, QByteArray("nothing to see"));
    }
};

// A GUI application: the pages are read back into documents, which need fonts.
QTEST_MAIN(TstEndToEndEditing)
#include "tst_EndToEndEditing.moc"
