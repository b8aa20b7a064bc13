#include "DocTestUtil.h"
#include "RtfPictures.h"
#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextObjects.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

using namespace TextObjects;

namespace {

QByteArray Encoded(const char* Format, int W, int H) {
    QImage image(W, H, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, Format);
    writer.write(image);
    return bytes;
}

// A PNG whose header states Side x Side pixels, with no pixel data behind it.
QByteArray PngClaiming(quint32 Side) {
    QByteArray png = Encoded("png", 1, 1);
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = char(Side >> (24 - 8 * i));
        png[20 + i] = char(Side >> (24 - 8 * i));
    }
    return png.left(33);
}

// The image objects of a document, in order.
QList<QTextImageFormat> Objects(const QTextDocument& Doc) {
    QList<QTextImageFormat> out;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                for (int i = 0; i < it.fragment().length(); ++i)
                    out << it.fragment().charFormat().toImageFormat();
    return out;
}

QByteArray Page(const QByteArray& Body) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Calibri;}}\\f0\\fs22 " + Body + "}";
}

} // namespace

class tst_RtfPictures : public QObject {
    Q_OBJECT
private slots:
    // Each shape a picture comes in is one object of the stated size, whose
    // bytes are those of the file; search reads the same text as the editor.
    void read_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<bool>("kept");
        const QByteArray png = Encoded("png", 4, 3), jpeg = Encoded("jpeg", 8, 8);
        QTest::newRow("png as hex, goal in twips")
            << Page("a{\\pict\\pngblip\\picw4\\pich3\\picwgoal600\\pichgoal450\r\n" + png.toHex() +
                    "}b")
            << int(ptPng) << png << QSizeF(40, 30) << false;
        QTest::newRow("png as bin, scaled")
            << Page("a{\\pict\\pngblip\\picw4\\pich3\\picscalex50\\picscaley200\\bin" +
                    QByteArray::number(png.size()) + " " + png + "}b")
            << int(ptPng) << png << QSizeF(2, 6) << false;
        QTest::newRow("jpeg, own size only")
            << Page("a{\\pict\\jpegblip\\picw8\\pich8 " + jpeg.toHex() + "}b") << int(ptJpeg)
            << jpeg << QSizeF(8, 8) << false;
        QTest::newRow("shppict taken, nonshppict skipped")
            << Page(
                   "a{\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv 1}}}\\pngblip\\picwgoal150"
                   "\\pichgoal150 " +
                   png.toHex() + "}}{\\nonshppict{\\pict\\wmetafile8\\picw10\\pich10 0100}}b")
            << int(ptPng) << png << QSizeF(10, 10) << false;
        QTest::newRow("metafile kept, shown as a box of its size")
            << Page("a{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal1440\\pichgoal720 "
                    "010009000003}b")
            << int(ptNone) << QByteArray() << QSizeF(96, 48) << true;
        QTest::newRow("stated size of a billion twips")
            << Page("a{\\pict\\pngblip\\picwgoal1000000000\\pichgoal1000000000 " + png.toHex() +
                    "}b")
            << int(ptPng) << png << QSizeF(kRtfMaxPictureSide, kRtfMaxPictureSide) << false;
        const QByteArray huge = PngClaiming(31623);
        QTest::newRow("png claiming a billion pixels")
            << Page("a{\\pict\\pngblip\\picwgoal300\\pichgoal300 " + huge.toHex() + "}b")
            << int(ptPng) << huge << QSizeF(20, 20) << false;
    }
    void read() {
        QFETCH(QByteArray, rtf);
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, size);
        QFETCH(bool, kept);
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(doc.toPlainText(), QString::fromUtf16(u"a\uFFFCb"));
        QCOMPARE(RtfPlainText(rtf), QString::fromUtf16(u"a\uFFFCb"));
        const QList<QTextImageFormat> objects = Objects(doc);
        QCOMPARE(objects.size(), 1);
        const QTextImageFormat& f = objects[0];
        QCOMPARE(f.intProperty(kPictureType), type);
        QCOMPARE(f.property(kPictureBytes).toByteArray(), bytes);
        QCOMPARE(f.hasProperty(kKeptGroup), kept);
        if (kept)
            QVERIFY(rtf.contains(f.property(kKeptGroup).toByteArray()));
        QCOMPARE(QSizeF(f.width(), f.height()), size);
        QVERIFY(f.name().startsWith(QLatin1String(kResourceScheme)));
        QVERIFY(!doc.resource(QTextDocument::ImageResource, QUrl(f.name())).isNull());
    }

    // A page with pictures, edited and saved, keeps them; saving what was
    // saved gives the same bytes; a kept group is written back unchanged.
    void survivesEditAndSave() {
        const QByteArray png = Encoded("png", 5, 5), jpeg = Encoded("jpeg", 6, 4);
        const QByteArray metafile = "{\\pict\\wmetafile8\\picw100\\pich100 0100090000}";
        const QByteArray rtf =
            Page("x{\\pict\\pngblip\\picw5\\pich5\\picwgoal300\\pichgoal300 " + png.toHex() +
                 "}\\par{\\pict\\jpegblip\\picw6\\pich4 " + jpeg.toHex() + "}" + metafile + " y");
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QTextCursor c(&doc);
        c.movePosition(QTextCursor::End);
        c.insertText(QStringLiteral("z"));
        c.deletePreviousChar();
        const QByteArray saved = WriteRtf(doc);
        QVERIFY(saved.contains(metafile));
        QTextDocument again;
        QVERIFY(ReadRtf(saved, again));
        QCOMPARE(again.toPlainText(), doc.toPlainText());
        const QList<QTextImageFormat> a = Objects(doc), b = Objects(again);
        QCOMPARE(b.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(b[i].property(kPictureBytes), a[i].property(kPictureBytes));
            QCOMPARE(b[i].property(kKeptGroup), a[i].property(kKeptGroup));
            QCOMPARE(b[i].width(), a[i].width());
            QCOMPARE(b[i].height(), a[i].height());
        }
        QCOMPARE(WriteRtf(again), saved);
        QCOMPARE(RtfPlainText(saved), again.toPlainText());
    }

    // Damaged pictures stay bounded and keep the text around them.
    void damaged_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("hex to the end of the file")
            << QByteArray("{\\rtf1 a{\\pict\\pngblip 89504e470d0a1a0a0000")
            << QString::fromUtf16(u"a\uFFFC");
        QTest::newRow("bin longer than the input")
            << QByteArray("{\\rtf1 a{\\pict\\pngblip\\bin999999999 abc")
            << QString::fromUtf16(u"a\uFFFC");
        QTest::newRow("metafile cut off inside a subgroup")
            << QByteArray("{\\rtf1 a{\\pict\\wmetafile8{\\*\\blipuid 0a")
            << QString::fromUtf16(u"a\uFFFC");
        QTest::newRow("no format, no data")
            << QByteArray("{\\rtf1 a{\\pict}b}") << QString::fromUtf16(u"a\uFFFCb");
        QTest::newRow("a picture inside a picture")
            << QByteArray("{\\rtf1 a{\\pict\\pngblip{\\pict 00}01}b}")
            << QString::fromUtf16(u"a\uFFFCb");
        QTest::newRow("odd hex digits")
            << QByteArray("{\\rtf1 a{\\pict\\jpegblip ffd8f}b}") << QString::fromUtf16(u"a\uFFFCb");
    }
    void damaged() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(doc.toPlainText(), text);
        QCOMPARE(RtfPlainText(rtf), text);
        // What is written reads back to the same, and is a whole document.
        const QByteArray saved = WriteRtf(doc);
        QTextDocument again;
        QVERIFY(ReadRtf(saved, again));
        QCOMPARE(again.toPlainText(), text);
        QCOMPARE(WriteRtf(again), saved);
    }
};

QTEST_MAIN(tst_RtfPictures)
#include "tst_RtfPictures.moc"
