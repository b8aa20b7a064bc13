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

QByteArray Page(const QByteArray& Body) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Calibri;}}\\f0\\fs22 " + Body + "}";
}

// A 2 x 2 bitmap of 24 bits, rows bottom-up and padded to 4 bytes: red and
// green on top, blue and white below.
const QByteArray kDib = "28000000"
                        "02000000"
                        "02000000"
                        "0100"
                        "1800"
                        "00000000"
                        "10000000"
                        "00000000"
                        "00000000"
                        "00000000"
                        "00000000"
                        "ff0000"
                        "ffffff"
                        "0000" // bottom row: blue, white
                        "0000ff"
                        "00ff00"
                        "0000"; // top row: red, green

// The same with rows top-down (a negative height).
const QByteArray kTopDownDib = "28000000"
                               "02000000"
                               "feffffff"
                               "0100"
                               "1800"
                               "00000000"
                               "10000000"
                               "00000000"
                               "00000000"
                               "00000000"
                               "00000000"
                               "0000ff"
                               "00ff00"
                               "0000"
                               "ff0000"
                               "ffffff"
                               "0000";

// 1 bit a pixel, a table of two colours (red, green): green and red below,
// red and green on top.
const QByteArray kPaletteDib = "28000000"
                               "02000000"
                               "02000000"
                               "0100"
                               "0100"
                               "00000000"
                               "08000000"
                               "00000000"
                               "00000000"
                               "02000000"
                               "00000000"
                               "0000ff00"
                               "00ff0000"
                               "80000000"
                               "40000000";

// A metafile as the rich-edit control writes a pasted screenshot: METAHEADER,
// META_SETWINDOWEXT, META_STRETCHDIB holding kDib, end of file.
const QByteArray kMetafile = "0100"
                             "0900"
                             "0003"
                             "3b000000"
                             "0000"
                             "2a000000"
                             "0000"
                             "05000000"
                             "0c02"
                             "0200"
                             "0200"
                             "2a000000"
                             "430f"
                             "2000cc00"
                             "0000"
                             "0200"
                             "0200"
                             "0000"
                             "0000"
                             "0200"
                             "0200"
                             "0000"
                             "0000" +
                             kDib +
                             "03000000"
                             "0000";

// Records as hex: its size in 16-bit words, its function, its parameters.
QByteArray Record(const char* Function, const QByteArray& Params) {
    const quint32 words = quint32(3 + Params.size() / 4);
    QByteArray size(4, 0);
    for (int i = 0; i < 4; ++i)
        size[i] = char(words >> (8 * i));
    return size.toHex() + Function + Params;
}

// A metafile of the given records, with its header and end record.
QByteArray Metafile(const QByteArray& Records) {
    const quint32 words = quint32(9 + Records.size() / 4 + 3);
    QByteArray size(4, 0);
    for (int i = 0; i < 4; ++i)
        size[i] = char(words >> (8 * i));
    return "0100"
           "0900"
           "0003" +
           size.toHex() +
           "0000"
           "00000000"
           "0000" +
           Records +
           "03000000"
           "0000";
}

const QByteArray kStretchDib = Record("430f", "2000cc00"
                                              "0000"
                                              "0200"
                                              "0200"
                                              "0000"
                                              "0000"
                                              "0200"
                                              "0200"
                                              "0000"
                                              "0000" +
                                                  kDib);

// kDib with the header's bytes from At (in hex digits) replaced.
QByteArray DibWith(int At, const QByteArray& Hex) {
    QByteArray dib = kDib;
    dib.replace(At, Hex.size(), Hex);
    return dib;
}

QImage ResourceImage(const QTextDocument& Doc, const QTextImageFormat& F) {
    return Doc.resource(QTextDocument::ImageResource, QUrl(F.name())).value<QImage>();
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
        const QList<QTextImageFormat> objects = ImageObjects(doc);
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

    // A metafile that wraps one bitmap, and a bitmap on its own, are drawn
    // from that bitmap at the stated size; the group is written back as it
    // came.
    void bitmapsDrawn_data() {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QString>("pixels"); // row by row: r, g, b, w
        const QString rgbw = QStringLiteral("rgbw");
        QTest::newRow("metafile with META_STRETCHDIB, goal in twips")
            << "{\\pict\\wmetafile8\\picw53\\pich53\\picwgoal600\\pichgoal450\r\n" + kMetafile + "}"
            << QSizeF(40, 30) << rgbw;
        QTest::newRow("metafile, own size in 0.01 mm")
            << "{\\pict\\wmetafile8\\picw2540\\pich1270 " + kMetafile + "}" << QSizeF(96, 48)
            << rgbw;
        QTest::newRow("metafile with META_DIBSTRETCHBLT, blipuid before the data")
            << "{\\pict{\\*\\blipuid 0123456789abcdef0123456789abcdef}\\wmetafile8\\picwgoal30"
               "\\pichgoal30 " +
                   Metafile(Record("410b", "2000cc00"
                                           "0200"
                                           "0200"
                                           "0000"
                                           "0000"
                                           "0200"
                                           "0200"
                                           "0000"
                                           "0000" +
                                               kDib)) +
                   "}"
            << QSizeF(2, 2) << rgbw;
        QTest::newRow("metafile with META_SETDIBTODEV among state records")
            << "{\\pict\\wmetafile8\\picwgoal30\\pichgoal30 " +
                   Metafile(Record("1e00", "") + Record("0301", "0800") +
                            Record("330d", "0000"
                                           "0200"
                                           "0000"
                                           "0000"
                                           "0000"
                                           "0200"
                                           "0200"
                                           "0000"
                                           "0000" +
                                               kDib) +
                            Record("2701", "ffff")) +
                   "}"
            << QSizeF(2, 2) << rgbw;
        QTest::newRow("dibitmap, own size in pixels")
            << "{\\pict\\dibitmap0\\picw2\\pich2 " + kDib + "}" << QSizeF(2, 2) << rgbw;
        QTest::newRow("dibitmap as bin, scaled")
            << "{\\pict\\dibitmap0\\picw2\\pich2\\picscalex500\\picscaley500\\bin56 " +
                   QByteArray::fromHex(kDib) + "}"
            << QSizeF(10, 10) << rgbw;
        QTest::newRow("dibitmap top-down")
            << "{\\pict\\dibitmap0\\picw2\\pich2 " + kTopDownDib + "}" << QSizeF(2, 2) << rgbw;
        QTest::newRow("dibitmap with a colour table")
            << "{\\pict\\dibitmap0\\picw2\\pich2 " + kPaletteDib + "}" << QSizeF(2, 2)
            << QStringLiteral("rggr");
    }
    void bitmapsDrawn() {
        QFETCH(QByteArray, group);
        QFETCH(QSizeF, size);
        QFETCH(QString, pixels);
        const QByteArray rtf = Page("a" + group + "b");
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(doc.toPlainText(), QString::fromUtf16(u"a\uFFFCb"));
        const QList<QTextImageFormat> objects = ImageObjects(doc);
        QCOMPARE(objects.size(), 1);
        const QTextImageFormat& f = objects[0];
        QCOMPARE(f.property(kKeptGroup).toByteArray(), group);
        QCOMPARE(QSizeF(f.width(), f.height()), size);
        const QImage image = ResourceImage(doc, f);
        QCOMPARE(image.size(), QSize(2, 2));
        const auto colour = [](QChar C) {
            return C == u'r'   ? QColor(Qt::red)
                   : C == u'g' ? QColor(Qt::green)
                   : C == u'b' ? QColor(Qt::blue)
                               : QColor(Qt::white);
        };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(image.pixelColor(i % 2, i / 2).rgb(), colour(pixels[i]).rgb());
        // Written back byte for byte, and read again the same.
        const QByteArray saved = WriteRtf(doc);
        QVERIFY(saved.contains(group));
        QTextDocument again;
        QVERIFY(ReadRtf(saved, again));
        QCOMPARE(ImageObjects(again).value(0).property(kKeptGroup).toByteArray(), group);
        QCOMPARE(ResourceImage(again, ImageObjects(again).value(0)), image);
    }

    // Damaged or unusual metafiles and bitmaps are never read past their
    // data: they show a box of their size and are kept as they came.
    void bitmapsRefused_data() {
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<QByteArray>("data");
        const QByteArray wmf = "wmetafile8", dib = "dibitmap0";
        const QByteArray lineTo = Record("1302", "0000"
                                                 "0000");
        QTest::newRow("record running past the end")
            << wmf << QByteArray(kMetafile).replace("2a000000430f", "ffffff7f430f");
        QTest::newRow("metafile cut inside its bitmap")
            << wmf << kMetafile.left(kMetafile.size() - 30);
        QTest::newRow("record of no size") << wmf
                                           << Metafile("00000000"
                                                       "0c02"
                                                       "0200"
                                                       "0200" +
                                                       kStretchDib);
        QTest::newRow("record of two words") << wmf
                                             << Metafile("02000000"
                                                         "0c02" +
                                                         kStretchDib);
        QTest::newRow("header of another size")
            << wmf << QByteArray(kMetafile).replace(0, 8, "01000a00");
        QTest::newRow("not a metafile") << wmf
                                        << QByteArray("0300"
                                                      "0900") +
                                               kStretchDib;
        QTest::newRow("header only") << wmf << kMetafile.left(36);
        QTest::newRow("no bitmap") << wmf
                                   << Metafile(Record("0c02", "0200"
                                                              "0200"));
        QTest::newRow("two bitmaps") << wmf << Metafile(kStretchDib + kStretchDib);
        QTest::newRow("a line drawn besides") << wmf << Metafile(kStretchDib + lineTo);
        QTest::newRow("colours as palette indices") << wmf
                                                    << Metafile(Record("430f", "2000cc00"
                                                                               "0100"
                                                                               "0200"
                                                                               "0200"
                                                                               "0000"
                                                                               "0000"
                                                                               "0200"
                                                                               "0200"
                                                                               "0000"
                                                                               "0000" +
                                                                                   kDib));
        QTest::newRow("META_DIBSTRETCHBLT without a bitmap") << wmf
                                                             << Metafile(Record("410b", "2000cc00"
                                                                                        "0200"
                                                                                        "0200"
                                                                                        "0000"
                                                                                        "0000"
                                                                                        "0200"
                                                                                        "0200"
                                                                                        "0000"
                                                                                        "0000"));
        QTest::newRow("bitmap record too short for its parameters")
            << wmf
            << Metafile(Record("430f", "2000cc00"
                                       "0000"
                                       "0200"));
        QTest::newRow("huge dimensions") << dib << DibWith(8, "ffffff7fffffff7f");
        QTest::newRow("over the decoding limit") << dib << DibWith(8, "0040000000400000");
        QTest::newRow("negative width") << dib << DibWith(8, "feffffff");
        QTest::newRow("height of zero") << dib << DibWith(16, "00000000");
        QTest::newRow("most negative height") << dib << DibWith(16, "00000080");
        QTest::newRow("pixels cut short") << dib << kDib.left(kDib.size() - 16);
        QTest::newRow("header larger than the data") << dib << DibWith(0, "ff000000");
        QTest::newRow("core header") << dib << DibWith(0, "0c000000");
        QTest::newRow("7 bits a pixel") << dib << DibWith(28, "0700");
        QTest::newRow("two planes") << dib << DibWith(24, "0200");
        QTest::newRow("run-length compressed") << dib << DibWith(32, "01000000");
        QTest::newRow("more colours than the bits give")
            << dib << QByteArray(kPaletteDib).replace(64, 8, "ffffffff");
        QTest::newRow("bitmap of ten bytes") << dib << kDib.left(20);
        QTest::newRow("no data") << dib << QByteArray();
        QTest::newRow("huge bitmap wrapped in a metafile")
            << wmf
            << Metafile(Record("430f", "2000cc00"
                                       "0000"
                                       "0200"
                                       "0200"
                                       "0000"
                                       "0000"
                                       "0200"
                                       "0200"
                                       "0000"
                                       "0000" +
                                           DibWith(8, "ffffff7fffffff7f")));
    }
    void bitmapsRefused() {
        QFETCH(QByteArray, word);
        QFETCH(QByteArray, data);
        const QByteArray group = "{\\pict\\" + word + "\\picwgoal600\\pichgoal300 " + data + "}";
        const QByteArray rtf = Page("a" + group + "b");
        QTextDocument doc;
        QVERIFY(ReadRtf(rtf, doc));
        QCOMPARE(doc.toPlainText(), QString::fromUtf16(u"a\uFFFCb"));
        const QTextImageFormat f = ImageObjects(doc).value(0);
        QCOMPARE(f.property(kKeptGroup).toByteArray(), group);
        QCOMPARE(QSizeF(f.width(), f.height()), QSizeF(40, 20));
        const QImage box = ResourceImage(doc, f);
        QCOMPARE(box.size(), QSize(8, 8));
        QCOMPARE(box.pixelColor(0, 0), QColor(0xE8, 0xE8, 0xE8));
        QVERIFY(WriteRtf(doc).contains(group));
    }

    // A picture is written from its own bytes, in lines of 128 digits, also
    // after one of the same name was written with other bytes.
    void dataFromOwnBytes() {
        const QByteArray first = Encoded("png", 40, 30), second = Encoded("png", 7, 9);
        const std::optional<QTextImageFormat> f = PictureOfFile(first, nullptr);
        QVERIFY(f);
        QTextImageFormat other = *f;
        other.setProperty(kPictureBytes, second);
        QCOMPARE(other.name(), f->name());
        const auto lines = [](const QByteArray& Bytes) {
            QByteArray out;
            for (qsizetype i = 0; i < Bytes.size(); i += 64)
                out += "\r\n" + Bytes.mid(i, 64).toHex();
            return out + '}';
        };
        QVERIFY(first.size() > 64);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(PictureGroup(*f).endsWith(lines(first)));
            QVERIFY(PictureGroup(other).endsWith(lines(second)));
        }
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
        const QList<QTextImageFormat> a = ImageObjects(doc), b = ImageObjects(again);
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
