#include "DocTestUtil.h"
#include "HtmlPaste.h"
#include "RichEdit.h"
#include "RichEditActions.h"
#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextObjects.h"
#include "TextSearch.h"
#include "common/MessageBoxRecorder.h"
#include "common/TestApp.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextList>
#include <QTextTable>
#include <QToolTip>
#include <QVBoxLayout>
#include <functional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A port on the loopback address that notices any connection to it.
class TListener {
public:
    TListener() {
        FSocket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (FSocket < 0 || bind(FSocket, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(FSocket, 4) != 0 ||
            getsockname(FSocket, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        FPort = ntohs(a.sin_port);
    }
    ~TListener() {
        if (FSocket >= 0)
            close(FSocket);
    }
    int Port() const { return FPort; }
    bool Connected(int WaitMs) const {
        pollfd p{FSocket, POLLIN, 0};
        return poll(&p, 1, WaitMs) > 0;
    }

private:
    int FSocket = -1;
    int FPort = 0;
};

QByteArray Encoded(const QImage& Image, const char* Format) {
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    Image.save(&b, Format);
    return bytes;
}

QImage Filled(int W, int H) {
    QImage image(W, H, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image;
}

QString DataUrl(const char* Type, const QByteArray& Bytes) {
    return QStringLiteral("data:image/%1;base64,").arg(QLatin1String(Type)) +
           QString::fromLatin1(Bytes.toBase64());
}

// Ctrl+V of Mime into an editor that holds "ab", between a and b.
void PasteInto(TRichEdit& E, QMimeData* Mime) {
    QApplication::clipboard()->setMimeData(Mime);
    Load(E, "{\\rtf1 ab}");
    E.SetFocus();
    E.SetSelStart(1);
    QTest::keyClick(&E, Qt::Key_V, Qt::ControlModifier);
    QApplication::clipboard()->clear();
}

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
    void noteMarkShowsItsWords();
    void ctrlClickOpensLinks_data();
    void ctrlClickOpensLinks();
    void htmlPasted_data();
    void htmlPasted();
    void hostileHtml_data();
    void hostileHtml();
    void pictureCopiedInside();
    void filesDropped_data();
    void filesDropped();
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
    // A browser's "copy image" gives the picture and HTML that names it.
    QTest::newRow("from a browser") << "browser" << int(TextObjects::ptPng);
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
    } else if (how == QLatin1String("browser")) {
        expected = encoded("PNG");
        mime->setData(QStringLiteral("image/png"), expected);
        mime->setHtml(QStringLiteral("<img src=\"https://example.com/a.png\" alt=\"A\">"));
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

// The pointer over either half of a note's mark shows the note's words.
void tst_RichEdit::noteMarkShowsItsWords() {
    QWidget top;
    auto* e = new TRichEdit(&top);
    e->resize(400, 200);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    Load(*e, "{\\rtf1 Word{\\footnote\\pard The note words} and more words}");
    QCOMPARE(e->Text(), QString::fromUtf16(u"Word\uFFFC and more words"));
    QTextCursor c(e->document());
    c.setPosition(4);
    const QRect before = e->cursorRect(c);
    c.setPosition(5);
    const QRect after = e->cursorRect(c);
    QVERIFY(after.x() > before.x() + 2);
    const auto tipAt = [&](QPoint At) {
        QToolTip::hideText();
        QTest::qWaitFor([] { return !QToolTip::isVisible(); });
        QHelpEvent help(QEvent::ToolTip, At, e->viewport()->mapToGlobal(At));
        QApplication::sendEvent(e->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const int y = before.center().y();
    QCOMPARE(tipAt(QPoint(before.x() + 1, y)), QStringLiteral("The note words"));
    QCOMPARE(tipAt(QPoint(after.x() - 1, y)), QStringLiteral("The note words"));
    QCOMPARE(tipAt(QPoint(after.x() + 30, y)), QString());
}

void tst_RichEdit::htmlPasted_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TEditCall>("check");
    const QByteArray png = Encoded(Filled(7, 5), "PNG");
    const QByteArray jpeg = Encoded(Filled(40, 20), "JPEG");
    const QByteArray bmp = Encoded(Filled(6, 9), "BMP");
    // The one picture of the page, after a save and a load through the codec.
    const auto savedPicture = [](TRichEdit& E) {
        QTextDocument again;
        [&] { QVERIFY(ReadRtf(WriteRtf(*E.document()), again)); }();
        const QList<QTextImageFormat> pictures = ImageObjects(again);
        return pictures.size() == 1 ? pictures[0] : QTextImageFormat();
    };
    const auto picture = [=](int Type, QByteArray Bytes, QSizeF Size) {
        return TEditCall([=](TRichEdit& E) {
            for (const QTextImageFormat& f :
                 {ImageObjects(*E.document()).value(0), savedPicture(E)}) {
                QVERIFY(f.isValid());
                QCOMPARE(f.intProperty(TextObjects::kPictureType), Type);
                if (!Bytes.isEmpty())
                    QCOMPARE(f.property(TextObjects::kPictureBytes).toByteArray(), Bytes);
                QCOMPARE(QSizeF(f.width(), f.height()), Size);
            }
            QVERIFY(!E.document()
                         ->resource(QTextDocument::ImageResource,
                                    QUrl(ImageObjects(*E.document()).value(0).name()))
                         .isNull());
        });
    };
    const TEditCall none = [](TRichEdit&) {};
    const QString obj = QString(QChar::ObjectReplacementCharacter);

    QTest::newRow("a list") << "<ul><li>one</li><li>two</li></ul>"
                            << "one two"
                            << "a\none\ntwob" << TEditCall([](TRichEdit& E) {
                                   QTextList* list = E.document()->findBlock(2).textList();
                                   QVERIFY(list);
                                   QCOMPARE(list->count(), 2);
                                   QCOMPARE(list->format().style(), QTextListFormat::ListDisc);
                               });
    QTest::newRow("a table")
        << "<table><tr><td>a1</td><td>b1</td></tr><tr><td>a2</td><td>b2</td></tr></table>"
        << "a1 b1 a2 b2"
        << "a\na1\nb1\na2\nb2\nb" << TEditCall([](TRichEdit& E) {
               QTextCursor c(E.document());
               c.setPosition(int(E.Text().indexOf(u"b2")));
               QTextTable* table = c.currentTable();
               QVERIFY(table);
               QCOMPARE(table->rows(), 2);
               QCOMPARE(table->columns(), 2);
           });
    QTest::newRow("a link") << "see <a href=\"https://example.com/x\">site</a>"
                            << "see site"
                            << "asee siteb" << TEditCall([](TRichEdit& E) {
                                   QTextCursor c(E.document());
                                   c.setPosition(7);
                                   QCOMPARE(c.charFormat().anchorHref(),
                                            QStringLiteral("https://example.com/x"));
                                   QTextDocument again;
                                   QVERIFY(ReadRtf(WriteRtf(*E.document()), again));
                                   QTextCursor d(&again);
                                   d.setPosition(7);
                                   QCOMPARE(d.charFormat().anchorHref(),
                                            QStringLiteral("https://example.com/x"));
                               });
    QTest::newRow("data: PNG at the HTML's size")
        << "<img src=\"" + DataUrl("png", png) + "\" width=\"30\" height=\"20\">"
        << ""
        << "a" + obj + "b" << picture(TextObjects::ptPng, png, QSizeF(30, 20));
    QTest::newRow("data: JPEG, width only")
        << "<p>x<img src=\"" + DataUrl("jpeg", jpeg) + "\" width=\"20\"></p>"
        << "x"
        << "ax" + obj + "b" << picture(TextObjects::ptJpeg, jpeg, QSizeF(20, 10));
    QTest::newRow("data: BMP at its own size, stored as PNG")
        << "<img src=\"" + DataUrl("bmp", bmp) + "\">"
        << ""
        << "a" + obj + "b" << picture(TextObjects::ptPng, QByteArray(), QSizeF(6, 9));
    QTest::newRow("data: picture inside a link")
        << "<a href=\"https://example.com/\"><img src=\"" + DataUrl("png", png) + "\"></a>"
        << ""
        << "a" + obj + "b" << TEditCall([=](TRichEdit& E) {
               picture(TextObjects::ptPng, png, QSizeF(7, 5))(E);
               QCOMPARE(ImageObjects(*E.document()).value(0).anchorHref(),
                        QStringLiteral("https://example.com/"));
           });
    QTest::newRow("remote picture, alt text")
        << "x<img src=\"http://127.0.0.1:PORT/logo.png\" alt=\"[logo]\" width=\"50\">y"
        << "xy"
        << "ax[logo]yb" << none;
    QTest::newRow("remote picture, no alt") << "x<img src=\"http://127.0.0.1:PORT/logo.png\">y"
                                            << "xy"
                                            << "axyb" << none;
    QTest::newRow("local file named by path") << "x<img src=\"DIR/pic.png\" alt=\"L\">y"
                                              << "xy"
                                              << "axLyb" << none;
    QTest::newRow("local file named by URL") << "x<img src=\"file://DIR/pic.png\" alt=\"L\">y"
                                             << "xy"
                                             << "axLyb" << none;
    QTest::newRow("relative name") << "<base href=\"file://DIR/\">x<img src=\"pic.png\">y"
                                   << "xy"
                                   << "axyb" << none;
    QTest::newRow("data: that is no image")
        << "x<img src=\"data:text/plain;base64,aGk=\" alt=\"t\">y"
        << "xy"
        << "axtyb" << none;
    QTest::newRow("data: with broken bytes")
        << "x<img src=\"data:image/png;base64,iVBORw0KGgo!!!!\" alt=\"t\">y"
        << "xy"
        << "axtyb" << none;
    QTest::newRow("style sheet and backgrounds of files")
        << "<html><head><link rel=\"stylesheet\" href=\"file://DIR/pic.png\">"
           "<style>@import url(http://127.0.0.1:PORT/s.css);</style></head>"
           "<body background=\"file://DIR/pic.png\"><table background=\"DIR/pic.png\">"
           "<tr><td background=\"http://127.0.0.1:PORT/b.png\" "
           "style=\"background-image: url(DIR/pic.png)\">c</td></tr></table></body></html>"
        << "c"
        << "a\nc\nb" << none;
    QTest::newRow("plain text stays plain")
        << ""
        << "<b>x</b>"
        << "a<b>x</b>b" << TEditCall([](TRichEdit& E) {
               QTextCursor c(E.document());
               c.setPosition(5);
               QCOMPARE(c.charFormat().fontWeight(), int(QFont::Normal));
               QVERIFY(ImageObjects(*E.document()).isEmpty());
           });
}

// Pasted HTML keeps its lists, tables and links; its data: pictures become
// pictures of the page that are saved; nothing it names is loaded.
void tst_RichEdit::htmlPasted() {
    QFETCH(QString, html);
    QFETCH(QString, plain);
    QFETCH(QString, text);
    QFETCH(TEditCall, check);
    const TListener server;
    QVERIFY(server.Port() > 0);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A real picture where the HTML points: it must not be read.
    QVERIFY(Filled(9, 9).save(dir.filePath(QStringLiteral("pic.png"))));
    // Any opening of a file in the folder is noticed.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    const auto closeWatch = qScopeGuard([&] { close(watch); });
    QVERIFY(inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(),
                              IN_OPEN | IN_ACCESS) >= 0);
    html.replace(QLatin1String("PORT"), QString::number(server.Port()));
    html.replace(QLatin1String("DIR"), dir.path());

    auto* mime = new QMimeData;
    if (!html.isEmpty())
        mime->setHtml(html);
    if (!plain.isEmpty())
        mime->setText(plain);
    QWidget top;
    auto* e = new TRichEdit(&top);
    e->resize(400, 300);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    PasteInto(*e, mime);
    // Table cells as paragraphs, whether or not Text() shows their marks.
    QString shown = e->Text();
    shown.replace(QChar(0xFDD0), u'\n').replace(QChar(0xFDD1), u'\n');
    QCOMPARE(shown, text);
    check(*e);
    if (QTest::currentTestFailed())
        return;

    // Laid out and painted, the page still asks for nothing.
    e->grab();
    QVERIFY(!server.Connected(100));
    char events[4096];
    QCOMPARE(read(watch, events, sizeof events), ssize_t(-1));
    for (const QTextFormat& f : e->document()->allFormats()) {
        QVERIFY(!f.hasProperty(QTextFormat::BackgroundImageUrl));
        if (f.isImageFormat())
            QVERIFY(
                f.toImageFormat().name().startsWith(QLatin1String(TextObjects::kResourceScheme)));
    }
}

void tst_RichEdit::hostileHtml_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<bool>("asHtml");
    const auto times = [](const char* S, int N) { return QString::fromLatin1(S).repeated(N); };
    QTest::newRow("deep nesting") << times("<div>", 200000) + "x" << false;
    QTest::newRow("deep nesting, then as many closing tags")
        << times("<span>", 100000) + "x" + times("</i>", 100000) << false;
    QTest::newRow("many tags, shallow") << times("<b>x</b>", 30001) << false;
    QTest::newRow("nesting within the bounds") << times("<b>", 900) + "x" << true;
    QTest::newRow("comment that never ends") << "x<!--" + times("<b>", 10000) << true;
    QTest::newRow("quote that never ends") << "x<a href=\"" + times("<b>", 10000) << true;
    QTest::newRow("data: URL over the limit")
        << "x<img alt=\"big\" src=\"data:image/png;base64," +
               QString(int(kMaxDataUrlBytes / 3 * 4 + (8 << 20)), u'A') + "\">"
        << true;
    QTest::newRow("thousands of pictures")
        << times("<img src=\"data:image/png;base64,AAAA\" alt=\"\">", 2001) + "x" << false;
    QTest::newRow("pictures within the bound")
        << times("<img src=\"data:image/png;base64,AAAA\" alt=\"\">", 2000) + "x" << true;
    QTest::newRow("formats within the bound, in one paragraph")
        << times("<b>x</b><i>y</i>", 5000) << true;
}

// Hostile HTML is read in bounded time or taken as plain text.
void tst_RichEdit::hostileHtml() {
    QFETCH(QString, html);
    QFETCH(bool, asHtml);
    auto* mime = new QMimeData;
    mime->setHtml(html);
    mime->setText(QStringLiteral("PLAIN"));
    QWidget top;
    auto* e = new TRichEdit(&top);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    QElapsedTimer timer;
    timer.start();
    PasteInto(*e, mime);
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(e->Text().contains(QLatin1String("PLAIN")), !asHtml);
    QVERIFY(ImageObjects(*e->document()).isEmpty());
}

// Copied inside the editor, a picture comes back as HTML that only names it:
// pasted, it is the same picture, with its bytes, and is saved.
void tst_RichEdit::pictureCopiedInside() {
    const QByteArray png = Encoded(Filled(7, 5), "PNG");
    QWidget top;
    auto* e = new TRichEdit(&top);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    Load(*e, "{\\rtf1 a{\\pict\\pngblip\\picw7\\pich5\\picwgoal150\\pichgoal150 " + png.toHex() +
                 "}b}");
    e->SetFocus();
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(e, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QApplication::clipboard()->mimeData()->hasHtml());
    QTest::keyClick(e, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    QApplication::clipboard()->clear();
    QCOMPARE(e->Text(), QString::fromUtf16(u"a\uFFFCba\uFFFCb"));
    QTextDocument again;
    QVERIFY(ReadRtf(Save(*e), again));
    const QList<QTextImageFormat> pictures = ImageObjects(again);
    QCOMPARE(pictures.size(), 2);
    for (const QTextImageFormat& f : pictures) {
        QCOMPARE(f.property(TextObjects::kPictureBytes).toByteArray(), png);
        QCOMPARE(QSizeF(f.width(), f.height()), QSizeF(10, 10));
    }
}

void tst_RichEdit::filesDropped_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("type");
    QTest::newRow("a PNG file") << "shot.png" << Encoded(Filled(7, 5), "PNG")
                                << int(TextObjects::ptPng);
    QTest::newRow("a JPEG file") << "photo.jpg" << Encoded(Filled(7, 5), "JPEG")
                                 << int(TextObjects::ptJpeg);
    QTest::newRow("a text file") << "notes.txt" << QByteArray("just words\n")
                                 << int(TextObjects::ptNone);
}

// A picture file dropped on the editor is put where it is dropped; another
// file is handled as the plain text control handles it.
void tst_RichEdit::filesDropped() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, type);
    QTemporaryDir dir;
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    QWidget top;
    auto* layout = new QVBoxLayout(&top);
    auto* e = new TRichEdit;
    auto* plain = new QTextEdit;
    layout->addWidget(e);
    layout->addWidget(plain);
    top.resize(400, 400);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    Load(*e, "{\\rtf1 abcdef}");
    plain->setPlainText(QStringLiteral("abcdef"));
    const auto drop = [&](QTextEdit* Target) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file.fileName())});
        QTextCursor c(Target->document());
        c.setPosition(3);
        const QRect r = Target->cursorRect(c);
        const QPointF at(r.x() + 1, r.center().y());
        QWidget* port = Target->viewport();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(port, &enter);
        QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(port, &move);
        QVERIFY(move.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(port, &dropped);
        QVERIFY(dropped.isAccepted());
    };
    drop(e);
    drop(plain);
    if (type == TextObjects::ptNone) {
        QCOMPARE(e->Text(), plain->toPlainText());
        QVERIFY(ImageObjects(*e->document()).isEmpty());
        return;
    }
    QCOMPARE(e->Text(), QString::fromUtf16(u"abc\uFFFCdef"));
    const QTextImageFormat f = ImageObjects(*e->document()).value(0);
    QCOMPARE(f.intProperty(TextObjects::kPictureType), type);
    QCOMPARE(f.property(TextObjects::kPictureBytes).toByteArray(), bytes);
    QCOMPARE(QSizeF(f.width(), f.height()), QSizeF(7, 5));
}

VMR_TEST_MAIN(tst_RichEdit)

#include "tst_RichEdit.moc"
