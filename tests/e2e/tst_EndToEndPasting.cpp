// Pasting as a person does it, in a real X server: a picture and a piece of a
// web page from the clipboard, kept through Ctrl+S and a restart, and found by
// search.

#include "E2eStory.h"

#include <QBuffer>
#include <QImage>

namespace {

QPoint ListItem(int Ix) {
    return {200, 75 + 40 * Ix + 20};
}

QByteArray WithoutSpace(QByteArray S) {
    S.removeIf([](char C) { return C == ' ' || C == '\r' || C == '\n' || C == '\t'; });
    return S;
}

// The structure's line that starts with Name.
QString Line(const QString& Structure, QStringView Name) {
    for (const QString& l : Structure.split(u'\n'))
        if (l.startsWith(Name))
            return l;
    return {};
}

// A picture whose pixels differ, so that a re-encoding would show.
QByteArray PngPicture() {
    QImage image(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(30 * x, 40 * y, 200));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

const QByteArray PastedHtml =
    "<html><head><meta charset=\"utf-8\"></head><body>"
    "<table border=\"1\"><tr><td>Walnut</td><td>Pecan</td></tr>"
    "<tr><td>Almond</td><td>Cashew</td></tr></table>"
    "<ul><li>Salt</li><li>Pepper</li></ul>"
    "<p>See <a href=\"https://example.org/nuts\">the nut page</a> too.</p></body></html>";
} // namespace

class TstEndToEndPasting : public TE2eTest {
    Q_OBJECT

private slots:
    void pastedPictureAndHtmlSurviveSaveAndAreFound() {
        const QByteArray png = PngPicture();
        TProgramHome home(FServer);
        QVERIFY(home.IsValid());
        home.WriteVault(
            {{QStringLiteral("Alpha"), "nothing here"}, {QStringLiteral("Basket"), "Basket"}});
        TClipboard clipboard(FServer);
        qulonglong main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(1)));
        E2E_VERIFY(home, ClickMain(home, main, EditorArea));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+End"), QStringLiteral("Return")}));
        QVERIFY(clipboard.Offer(QStringLiteral("image/png"), png));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+v"), QStringLiteral("Return")}));
        QVERIFY(clipboard.Offer(QStringLiteral("text/html"), PastedHtml));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+v")}));
        E2E_VERIFY(home, home.Save(main));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);

        QList<TStoredPage> pages = home.VaultPages();
        QCOMPARE(pages.size(), 2);
        const QByteArray saved = pages[1].Text;
        // The picture as it came: PNG, the same bytes.
        QVERIFY2(saved.contains("\\pngblip"), saved.constData());
        QVERIFY2(WithoutSpace(saved).contains(png.toHex()), saved.constData());
        for (const char* w : {"\\trowd", "\\cellx", "\\intbl", "\\cell", "\\row", "\\pntext",
                              "{\\*\\pn", "\\ls", "HYPERLINK \"https://example.org/nuts\""})
            QVERIFY2(saved.contains(w), (QByteArray(w) + "\nmissing from:\n" + saved).constData());
        const QString structure = PageStructure(saved);
        QVERIFY2(Line(structure, u"pictures").startsWith(u"pictures 1 [") &&
                     Line(structure, u"pictures").endsWith(u" of 7x5]"),
                 qPrintable(structure));
        QCOMPARE(Line(structure, u"tables"),
                 QStringLiteral("tables 1 [2x2: Walnut (1x1) | Pecan (1x1) | Almond (1x1) | "
                                "Cashew (1x1)]"));
        QCOMPARE(Line(structure, u"list items"),
                 QStringLiteral("list items 2 [bullet/1 Salt, bullet/1 Pepper]"));
        QCOMPARE(Line(structure, u"links"), QStringLiteral("links 1 [https://example.org/nuts]"));

        // After a restart, a search from the other page finds a word of a
        // table cell; what is typed then takes its place in that cell.
        main = StartUnlocked(home, DefaultPw);
        E2E_VERIFY(home, main != 0);
        E2E_VERIFY(home, ClickMain(home, main, ListItem(0)));
        E2E_VERIFY(home, home.Keys(main, {QStringLiteral("ctrl+f")}));
        const qulonglong find = home.WaitWindow(QStringLiteral("^Find$"));
        E2E_VERIFY(home, find != 0);
        E2E_VERIFY(home, home.Type(find, QStringLiteral("Cashew")));
        E2E_VERIFY(home, home.Keys(find, {QStringLiteral("Return")}));
        E2E_VERIFY(home, home.WaitNoWindow(QStringLiteral("^Find$")));
        E2E_VERIFY(home, home.Type(main, QStringLiteral("Hazel")));
        E2E_VERIFY(home, home.Save(main));
        E2E_VERIFY(home, CloseWindow(home, main) == 0);
        E2E_VERIFY(home, home.WaitExit(20000) == 0);

        pages = home.VaultPages();
        QCOMPARE(pages.size(), 2);
        QCOMPARE(pages[0].Text, QByteArray("nothing here"));
        const QString found = PageStructure(pages[1].Text);
        QCOMPARE(Line(found, u"tables"),
                 QStringLiteral("tables 1 [2x2: Walnut (1x1) | Pecan (1x1) | Almond (1x1) | "
                                "Hazel (1x1)]"));
        QCOMPARE(Line(found, u"pictures"), Line(structure, u"pictures"));
        QCOMPARE(Line(found, u"list items"), Line(structure, u"list items"));
        QCOMPARE(Line(found, u"links"), Line(structure, u"links"));
        QVERIFY(WithoutSpace(pages[1].Text).contains(png.toHex()));
    }
};

// A GUI application: the pages are read back into documents, which need fonts.
QTEST_MAIN(TstEndToEndPasting)
#include "tst_EndToEndPasting.moc"
