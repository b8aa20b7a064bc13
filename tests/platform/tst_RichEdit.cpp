#include "DocTestUtil.h"
#include "RichEdit.h"
#include "RichEditActions.h"
#include "RtfWriter.h"
#include "TextObjects.h"
#include "TextSearch.h"
#include "common/MessageBoxRecorder.h"
#include "common/TestApp.h"

#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <functional>

namespace {

const QByteArray kMixed = "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}"
                          "\\f0\\fs20 plain \\b bold\\i  both\\b0  italic\\i0\\par"
                          "\\f1\\fs28 second\\par}";

void Load(TRichEdit& E, const QByteArray& Bytes) {
    QBuffer b;
    b.setData(Bytes);
    b.open(QIODevice::ReadOnly);
    E.Lines.LoadFromStream(b);
}

QByteArray Save(TRichEdit& E) {
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    E.Lines.SaveToStream(b);
    return b.data();
}

void Select(TRichEdit& E, const QString& Needle) {
    const int at = int(E.Text().indexOf(Needle));
    QVERIFY(at >= 0);
    E.SetSelStart(at);
    E.SetSelLength(int(Needle.size()));
}

// Claims to hold far more than a page can be, without holding it.
class THugeDevice : public QIODevice {
public:
    THugeDevice() { open(QIODevice::ReadOnly); }
    qint64 size() const override { return qint64(1) << 40; }

protected:
    qint64 readData(char* Data, qint64 Max) override {
        memset(Data, 'x', size_t(Max));
        return Max;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};

using TEditCall = std::function<void(TRichEdit&)>;

} // namespace

Q_DECLARE_METATYPE(TEditCall)

class tst_RichEdit : public QObject {
    Q_OBJECT

private slots:
    void loadAndSave();
    void plainTextFallback_data();
    void plainTextFallback();
    void streamFailures();
    void positionsMatchText();
    void clearingByProgram();
    void selectionAttributes();
    void writingAttributes();
    void styleActions();
    void findInText_data();
    void findInText();
    void findTextInControl();
    void userEvents();
    void handlerMayDetachItself();
    void handlerErrorReachesTheProgramsCall_data();
    void handlerErrorReachesTheProgramsCall();
    void handlerErrorOfTypingIsShown();
    void hideSelection();
    void picturesPasted_data();
    void picturesPasted();
    void ctrlClickOpensLinks_data();
    void ctrlClickOpensLinks();
};

void tst_RichEdit::loadAndSave() {
    TRichEdit e;
    int changes = 0, moves = 0;
    e.OnChange = [&](QObject* s) {
        QCOMPARE(s, &e);
        ++changes;
    };
    e.SetText(QStringLiteral("old text"));
    e.SetSelStart(5);
    e.OnSelectionChange = [&](QObject*) { ++moves; };
    changes = 0;

    // The stream is read from its position to its end.
    QBuffer b;
    b.setData("junk" + kMixed);
    b.open(QIODevice::ReadOnly);
    b.seek(4);
    e.Lines.LoadFromStream(b);
    QCOMPARE(e.Text(), QStringLiteral("plain bold both italic\nsecond"));
    QCOMPARE(e.SelStart(), 0);
    QCOMPARE(e.SelLength(), 0);
    QCOMPARE(changes, 1);
    QCOMPARE(moves, 1);
    QVERIFY(!e.document()->isUndoAvailable());

    const QByteArray saved = Save(e);
    QCOMPARE(saved, WriteRtf(*e.document()));
    TRichEdit other;
    Load(other, saved);
    QCOMPARE(other.Text(), e.Text());
    QCOMPARE(Save(other), saved);
}

void tst_RichEdit::plainTextFallback_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("default page text") << QByteArray("<text>") << "<text>";
    QTest::newRow("windows-1252") << QByteArray("caf\xE9 \x80") << u"café €"_qs;
    QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF\xD0\x96 \xC3\xA9") << u"Ж é"_qs;
    QTest::newRow("utf-16 le bom")
        << QByteArray("\xFF\xFE\x16\x04\x0D\x00\x0A\x00x\x00", 10) << u"Ж\nx"_qs;
    QTest::newRow("utf-16 be bom")
        << QByteArray("\xFE\xFF\x04\x16\x00\x0D\x00y", 8) << u"Ж\ry"_qs.replace(u'\r', u'\n');
    QTest::newRow("line ends") << QByteArray("a\r\nb\rc\nd") << "a\nb\nc\nd";
    QTest::newRow("almost rtf") << QByteArray("{\\rt") << "{\\rt";
}

void tst_RichEdit::plainTextFallback() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    TRichEdit e;
    Load(e, bytes);
    QCOMPARE(e.Text(), text);
    QCOMPARE(e.SelStart(), 0);
    QCOMPARE(e.SelLength(), 0);
}

void tst_RichEdit::streamFailures() {
    TRichEdit e;
    e.SetText(QStringLiteral("kept"));
    int changes = 0;
    e.OnChange = [&](QObject*) { ++changes; };

    const auto loadFails = [&](QIODevice& d) {
        try {
            e.Lines.LoadFromStream(d);
        } catch (const EOutOfResources& x) {
            return QString::fromUtf8(x.what());
        }
        return QString();
    };
    QBuffer closed;
    QCOMPARE(loadFails(closed), QStringLiteral("Failed to Load Stream"));
    THugeDevice huge;
    QCOMPARE(loadFails(huge), QStringLiteral("Failed to Load Stream"));
    QCOMPARE(e.Text(), QStringLiteral("kept"));
    QCOMPARE(changes, 0);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QVERIFY_THROWS_EXCEPTION(EOutOfResources, e.Lines.SaveToStream(readOnly));
    try {
        e.Lines.SaveToStream(readOnly);
    } catch (const EOutOfResources& x) {
        QCOMPARE(QString::fromUtf8(x.what()), QStringLiteral("Failed to Save Stream"));
    }
}

void tst_RichEdit::positionsMatchText() {
    TRichEdit e;
    Load(e, "{\\rtf1 ab\\par cd\\line ef\\par\\par gh}");
    const QString text = e.Text();
    QCOMPARE(text, u"ab\ncd\u2028ef\n\ngh"_qs);
    QCOMPARE(e.TextLength(), int(text.size()));

    e.SetSelStart(1);
    e.SetSelLength(4);
    QCOMPARE(text.mid(e.SelStart(), e.SelLength()), u"b\ncd"_qs);
    QCOMPARE(e.textCursor().selectedText(), u"b\u2029cd"_qs);

    e.SetSelStart(9);
    QCOMPARE(e.SelLength(), 0);
    e.SetSelLength(1);
    QCOMPARE(text.mid(e.SelStart(), e.SelLength()), QStringLiteral("\n"));

    // Out-of-range values are clamped to the text.
    e.SetSelStart(1000);
    QCOMPARE(e.SelStart(), e.TextLength());
    e.SetSelStart(-5);
    QCOMPARE(e.SelStart(), 0);
    e.SetSelLength(1000);
    QCOMPARE(e.SelLength(), e.TextLength());
    e.SetSelStart(4);
    e.SetSelLength(-2);
    QCOMPARE(e.SelStart(), 2);
    QCOMPARE(e.SelLength(), 2);
}

void tst_RichEdit::clearingByProgram() {
    TRichEdit e;
    Load(e, kMixed);
    int changes = 0;
    e.OnChange = [&](QObject*) { ++changes; };
    e.SetText(QString());
    QCOMPARE(e.Text(), QString());
    QCOMPARE(e.TextLength(), 0);
    QVERIFY(changes >= 1);
}

void tst_RichEdit::selectionAttributes() {
    TRichEdit e;
    Load(e, kMixed);
    Select(e, "plain");
    QCOMPARE(e.SelAttributes.Name(), QStringLiteral("Arial"));
    QCOMPARE(e.SelAttributes.Size(), 10);
    QCOMPARE(e.SelAttributes.Style(), TFontStyles());
    Select(e, "both");
    QCOMPARE(e.SelAttributes.Style(), fsBold | fsItalic);
    // A style counts only when the whole selection has it.
    Select(e, "bold both");
    QCOMPARE(e.SelAttributes.Style(), TFontStyles(fsBold));
    Select(e, "italic\nsec");
    QCOMPARE(e.SelAttributes.Style(), TFontStyles());
    // Name and size are those of the first selected character.
    QCOMPARE(e.SelAttributes.Name(), QStringLiteral("Arial"));
    QCOMPARE(e.SelAttributes.Size(), 10);
    // With no selection: what typing would insert.
    e.SetSelStart(int(e.Text().indexOf("second")) + 2);
    QCOMPARE(e.SelAttributes.Name(), QStringLiteral("Courier New"));
    QCOMPARE(e.SelAttributes.Size(), 14);

    // Unformatted text shows the control's font.
    TRichEdit plain;
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(16);
    plain.setFont(f);
    plain.SetText(QStringLiteral("x"));
    QCOMPARE(plain.SelAttributes.Name(), QStringLiteral("Tahoma"));
    QCOMPARE(plain.SelAttributes.Size(), 12);
    QCOMPARE(plain.Font().family(), QStringLiteral("Tahoma"));
}

void tst_RichEdit::writingAttributes() {
    TRichEdit e;
    Load(e, kMixed);
    int changes = 0;
    e.OnChange = [&](QObject*) { ++changes; };
    Select(e, "bold both italic");
    e.SelAttributes.SetName(QStringLiteral("Some Unknown Face"));
    e.SelAttributes.SetSize(15);
    e.SelAttributes.SetStyle(fsUnderline | fsStrikeOut);
    QVERIFY(changes >= 3);
    for (int i = e.SelStart(); i < e.SelStart() + e.SelLength(); ++i) {
        const QTextCharFormat f = FormatAt(*e.document(), i);
        QCOMPARE(FamilyOf(f), QStringLiteral("Some Unknown Face"));
        QCOMPARE(f.fontPointSize(), 15.0);
        QCOMPARE(StylesOf(f), fsUnderline | fsStrikeOut);
    }
    QCOMPARE(StylesOf(FormatAt(*e.document(), 0)), TFontStyles());

    // Values that name no font change nothing.
    e.SelAttributes.SetName(QString());
    e.SelAttributes.SetSize(0);
    QCOMPARE(e.SelAttributes.Name(), QStringLiteral("Some Unknown Face"));
    QCOMPARE(e.SelAttributes.Size(), 15);

    // Typing at the very start takes the first character's format.
    TRichEdit fresh;
    Load(fresh, kMixed);
    fresh.SetSelStart(0);
    QTest::keyClicks(&fresh, "Q");
    QCOMPARE(FamilyOf(FormatAt(*fresh.document(), 0)), QStringLiteral("Arial"));
    QCOMPARE(FormatAt(*fresh.document(), 0).fontPointSize(), 10.0);

    // With an empty selection the attributes apply to what is typed next.
    e.SetSelStart(0);
    e.SelAttributes.SetStyle(fsBold);
    e.SelAttributes.SetSize(30);
    QTest::keyClicks(&e, "Z");
    QCOMPARE(e.Text().left(2), QStringLiteral("Zp"));
    QCOMPARE(StylesOf(FormatAt(*e.document(), 0)), TFontStyles(fsBold));
    QCOMPARE(FormatAt(*e.document(), 0).fontPointSize(), 30.0);
    QCOMPARE(StylesOf(FormatAt(*e.document(), 1)), TFontStyles());
}

void tst_RichEdit::styleActions() {
    TRichEdit e;
    Load(e, kMixed);
    auto* bold = new TRichEditBold(&e);
    auto* italic = new TRichEditItalic(&e);
    auto* underline = new TRichEditUnderline(&e);
    QCOMPARE(bold->parent(), &e);

    // Partly bold: the selection becomes bold, italic stays as it was.
    Select(e, "plain bold both");
    bold->ExecuteTarget(&e);
    QCOMPARE(e.SelAttributes.Style(), TFontStyles(fsBold));
    QCOMPARE(StylesOf(FormatAt(*e.document(), int(e.Text().indexOf("both")))), fsBold | fsItalic);
    bold->UpdateTarget(&e);
    QVERIFY(bold->Checked());
    QVERIFY(bold->Enabled());
    bold->ExecuteTarget(&e);
    QCOMPARE(e.SelAttributes.Style(), TFontStyles());
    QCOMPARE(StylesOf(FormatAt(*e.document(), int(e.Text().indexOf("both")))),
             TFontStyles(fsItalic));
    bold->UpdateTarget(&e);
    QVERIFY(!bold->Checked());

    Select(e, "second");
    underline->ExecuteTarget(&e);
    italic->ExecuteTarget(&e);
    QCOMPARE(e.SelAttributes.Style(), fsUnderline | fsItalic);
    italic->UpdateTarget(&e);
    QVERIFY(italic->Checked());
    e.SetEnabled(false);
    italic->UpdateTarget(&e);
    QVERIFY(!italic->Enabled());
}

void tst_RichEdit::findInText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("find");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("options");
    QTest::addColumn<int>("result");

    const int none = 0, word = stWholeWord, cased = stMatchCase;
    QTest::newRow("simple") << "hello world"
                            << "world" << 0 << 11 << none << 6;
    QTest::newRow("case ignored") << "Hello"
                                  << "hELLO" << 0 << 5 << none << 0;
    QTest::newRow("case kept") << "Hello hello"
                               << "hello" << 0 << 11 << cased << 6;
    QTest::newRow("not found") << "abc"
                               << "x" << 0 << 3 << none << -1;
    QTest::newRow("from start pos") << "aXaXa"
                                    << "a" << 1 << 4 << none << 2;
    QTest::newRow("overlapping") << "aaa"
                                 << "aa" << 1 << 2 << none << 1;
    QTest::newRow("match must end in range") << "abcdef"
                                             << "cde" << 0 << 4 << none << -1;
    QTest::newRow("negative length to end") << "abcdef"
                                            << "ef" << 1 << -1 << none << 4;
    QTest::newRow("start beyond text") << "abc"
                                       << "c" << 10 << 5 << none << -1;
    QTest::newRow("whole word") << "cat concat cat"
                                << "cat" << 1 << 13 << word << 11;
    QTest::newRow("whole word at edges") << "cat"
                                         << "cat" << 0 << 3 << word << 0;
    QTest::newRow("underscore joins words") << "a_cat cat"
                                            << "cat" << 0 << 9 << word << 6;
    QTest::newRow("crlf is one break") << "one\ntwo"
                                       << "one\r\ntwo" << 0 << 7 << none << 0;
    QTest::newRow("cr alone") << "a\nb"
                              << "a\rb" << 0 << 3 << none << 0;
    QTest::newRow("empty search") << "abc"
                                  << "" << 0 << 3 << none << -1;
    QTest::newRow("non-ascii fold") << u"ÉCOLE école"_qs << u"école"_qs << 1 << 10 << none << 6;
}

void tst_RichEdit::findInText() {
    QFETCH(QString, text);
    QFETCH(QString, find);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(int, options);
    QFETCH(int, result);
    QCOMPARE(FindInText(text, find, start, length, TSearchTypes(options)), result);
}

void tst_RichEdit::findTextInControl() {
    TRichEdit e;
    Load(e, "{\\rtf1 first line\\par Second \\b line\\b0\\par third}");
    const int len = e.TextLength();
    QCOMPARE(e.FindText(QStringLiteral("line\r\nsecond"), 0, len, {}), 6);
    QCOMPARE(e.FindText(QStringLiteral("line\r\nsecond"), 0, len, stMatchCase), -1);
    const int at = e.FindText(QStringLiteral("line"), 7, len - 7, stWholeWord);
    QCOMPARE(at, 18);
    e.SetSelStart(at);
    e.SetSelLength(4);
    QCOMPARE(e.SelAttributes.Style(), TFontStyles(fsBold));
}

void tst_RichEdit::userEvents() {
    QWidget w;
    auto* layout = new QVBoxLayout(&w);
    auto* e = new TRichEdit;
    auto* other = new TRichEdit;
    layout->addWidget(e);
    layout->addWidget(other);
    w.resize(300, 300);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));

    QStringList log;
    e->OnChange = [&](QObject*) { log << "change"; };
    e->OnSelectionChange = [&](QObject*) { log << "select"; };
    e->OnClick = [&](QObject*) { log << "click"; };
    e->OnEnter = [&](QObject*) { log << "enter"; };
    e->OnExit = [&](QObject*) { log << "exit"; };

    other->SetFocus();
    log.clear();
    e->SetFocus();
    QCOMPARE(log, QStringList{"enter"});
    log.clear();
    QTest::keyClicks(e, "ab");
    QCOMPARE(log.count("change"), 2);
    QCOMPARE(log.count("select"), 2);
    log.clear();
    QTest::keyClick(e, Qt::Key_Left);
    QCOMPARE(log, QStringList{"select"});
    log.clear();
    QTest::keyClick(e, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(log, QStringList{"select"});
    QCOMPARE(e->SelLength(), 1);
    log.clear();
    QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(log.contains("click"));
    log.clear();
    other->SetFocus();
    QCOMPARE(log, QStringList{"exit"});
}

// A window detaches the selection handler while that handler runs.
void tst_RichEdit::handlerMayDetachItself() {
    TRichEdit e;
    e.SetText(QStringLiteral("some text"));
    int runs = 0;
    TNotifyEvent handler;
    handler = [&](QObject*) {
        const QString keep = QStringLiteral("captured state must stay valid");
        e.OnSelectionChange = nullptr;
        e.SetSelStart(2); // raises no event while detached
        e.OnSelectionChange = handler;
        ++runs;
        QCOMPARE(keep.size(), 30);
    };
    e.OnSelectionChange = handler;
    e.SetSelStart(5);
    QCOMPARE(runs, 1);
    QCOMPARE(e.SelStart(), 2);
}

// A change made by the program raises the handlers inside Qt's calls; what
// they throw comes back to the program's call, once Qt's frames are left.
void tst_RichEdit::handlerErrorReachesTheProgramsCall_data() {
    QTest::addColumn<TEditCall>("call");
    QTest::addColumn<bool>("selection"); // the failing handler: selection, else change
    QTest::newRow("text set") << TEditCall([](TRichEdit& E) { E.SetText(QStringLiteral("new")); })
                              << false;
    QTest::newRow("text cleared") << TEditCall([](TRichEdit& E) { E.SetText(QString()); }) << false;
    QTest::newRow("style written") << TEditCall([](TRichEdit& E) {
        E.SetSelStart(0);
        E.SetSelLength(5);
        E.SelAttributes.ChangeStyle(fsBold, {});
    }) << false;
    QTest::newRow("loaded") << TEditCall([](TRichEdit& E) { Load(E, kMixed); }) << false;
    QTest::newRow("caret moved") << TEditCall([](TRichEdit& E) { E.SetSelStart(3); }) << true;
    QTest::newRow("selection set") << TEditCall([](TRichEdit& E) { E.SetSelLength(2); }) << true;
}

void tst_RichEdit::handlerErrorReachesTheProgramsCall() {
    QFETCH(TEditCall, call);
    QFETCH(bool, selection);
    TRichEdit e;
    e.SetText(QStringLiteral("plain text"));
    TMessageBoxRecorder boxes;
    (selection ? e.OnSelectionChange : e.OnChange) = [](QObject*) {
        throw Exception("handler failed");
    };
    QVERIFY_THROWS_EXCEPTION(Exception, call(e));
    QCOMPARE(boxes.Calls.size(), 0);
    // Nothing stays held for a later call.
    e.OnChange = nullptr;
    e.OnSelectionChange = nullptr;
    e.SetText(QStringLiteral("again"));
    QCOMPARE(e.Text(), QStringLiteral("again"));
}

// Typing has no caller of ours: the error box shows the error, and the
// editor takes the next key.
void tst_RichEdit::handlerErrorOfTypingIsShown() {
    TRichEdit e;
    e.show();
    QApplication::setActiveWindow(&e);
    QVERIFY(QTest::qWaitForWindowActive(&e));
    e.SetFocus();
    TMessageBoxRecorder boxes;
    bool armed = true;
    e.OnChange = [&](QObject*) {
        if (std::exchange(armed, false))
            throw Exception("handler failed");
    };
    QTest::keyClicks(&e, QStringLiteral("ab"));
    QCOMPARE(boxes.Calls.size(), 1);
    QCOMPARE(boxes.Calls[0].Text, QStringLiteral("handler failed"));
    QCOMPARE(e.Text(), QStringLiteral("ab"));
    QCOMPARE(TApplication::TakeEscapedErrors(), 0);
}

// Whether a selected word shows while the control has no focus.
void tst_RichEdit::hideSelection() {
    QWidget w;
    auto* layout = new QVBoxLayout(&w);
    auto* e = new TRichEdit;
    auto* other = new TRichEdit;
    layout->addWidget(e);
    layout->addWidget(other);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    e->SetText(QStringLiteral("WWWWWWWW WWWWWWWW"));
    e->SetSelStart(0);
    e->SetSelLength(8);
    other->SetFocus();
    const QColor highlight = e->palette().color(QPalette::Active, QPalette::Highlight);
    const auto shown = [&] {
        const QImage img = e->viewport()->grab().toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == highlight)
                    return true;
        return false;
    };
    QVERIFY(e->HideSelection());
    QVERIFY(!shown());
    e->SetHideSelection(false);
    QVERIFY(shown());
}

void tst_RichEdit::picturesPasted_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("type");
    QTest::newRow("PNG bytes") << "image/png" << int(TextObjects::ptPng);
    QTest::newRow("JPEG bytes") << "image/jpeg" << int(TextObjects::ptJpeg);
    QTest::newRow("an image") << "image" << int(TextObjects::ptPng);
    QTest::newRow("a copied file") << "file" << int(TextObjects::ptJpeg);
}

// Ctrl+V of a picture puts it in the page as an object that is saved as it
// came (PNG and JPEG bytes unchanged) and reads back after a save.
void tst_RichEdit::picturesPasted() {
    QFETCH(QString, how);
    QFETCH(int, type);
    QImage image(7, 5, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const auto encoded = [&](const char* Format) {
        QByteArray bytes;
        QBuffer b(&bytes);
        b.open(QIODevice::WriteOnly);
        image.save(&b, Format);
        return bytes;
    };
    QByteArray expected;
    auto* mime = new QMimeData;
    QTemporaryDir dir;
    if (how == QLatin1String("image/png") || how == QLatin1String("image/jpeg")) {
        expected = encoded(how == QLatin1String("image/png") ? "PNG" : "JPEG");
        mime->setData(how, expected);
    } else if (how == QLatin1String("image")) {
        mime->setImageData(image);
    } else {
        expected = encoded("JPEG");
        QFile f(dir.filePath(QStringLiteral("photo.jpg")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(expected);
        f.close();
        mime->setUrls({QUrl::fromLocalFile(f.fileName())});
        mime->setText(f.fileName());
    }
    QApplication::clipboard()->setMimeData(mime);

    QWidget top;
    auto* e = new TRichEdit(&top);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    Load(*e, "{\\rtf1 ab}");
    e->SetFocus();
    e->SetSelStart(1);
    QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(e->Text(), QString::fromUtf16(u"a\uFFFCb"));
    const QByteArray saved = Save(*e);

    TRichEdit again;
    Load(again, saved);
    QCOMPARE(again.Text(), QString::fromUtf16(u"a\uFFFCb"));
    QTextCursor c(again.document());
    c.setPosition(2);
    const QTextImageFormat f = c.charFormat().toImageFormat();
    QVERIFY(f.isValid());
    QCOMPARE(f.intProperty(TextObjects::kPictureType), type);
    if (!expected.isEmpty())
        QCOMPARE(f.property(TextObjects::kPictureBytes).toByteArray(), expected);
    QCOMPARE(QSizeF(f.width(), f.height()), QSizeF(7, 5));
    QApplication::clipboard()->clear();
}

void tst_RichEdit::ctrlClickOpensLinks_data() {
    QTest::addColumn<QString>("href");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<bool>("opened");
    QTest::newRow("https, Ctrl") << "https://example.com/" << true << true;
    QTest::newRow("mailto, Ctrl") << "mailto:a@example.com" << true << true;
    QTest::newRow("https, no Ctrl") << "https://example.com/" << false << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << true << false;
    QTest::newRow("a local file") << "file:///etc/passwd" << true << false;
}

// Ctrl+click on a link opens it, only for web and mail addresses; the
// pointer shows the link.
void tst_RichEdit::ctrlClickOpensLinks() {
    QFETCH(QString, href);
    QFETCH(bool, ctrl);
    QFETCH(bool, opened);
    QWidget top;
    auto* e = new TRichEdit(&top);
    e->resize(400, 200);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    QList<QUrl> opens;
    e->OpenLink = [&](const QUrl& Url) { opens << Url; };
    Load(*e, "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"" + href.toLatin1() +
                 "\"}{\\fldrslt LINKLINKLINK}} tail}");
    const QRect r = e->cursorRect(QTextCursor(e->document()));
    const QPoint at(r.x() + 20, r.center().y());
    // Off the link and onto it: the pointer follows.
    QTest::mouseMove(e->viewport(), QPoint(at.x(), r.bottom() + 60));
    QCOMPARE(e->viewport()->cursor().shape(), Qt::IBeamCursor);
    QTest::mouseMove(e->viewport(), at);
    QCOMPARE(e->viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(e->viewport(), Qt::LeftButton,
                      ctrl ? Qt::ControlModifier : Qt::KeyboardModifiers(), at);
    QCOMPARE(opens.size(), opened ? 1 : 0);
    if (opened)
        QCOMPARE(opens[0], QUrl(href));
}

VMR_TEST_MAIN(tst_RichEdit)
#include "tst_RichEdit.moc"
