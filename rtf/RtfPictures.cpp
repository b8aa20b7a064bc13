#include "RtfPictures.h"

#include "RtfBitmaps.h"
#include "RtfHex.h"
#include "TextObjects.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QImageReader>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

using namespace TextObjects;

namespace {

// A side in pixels at 96 per inch: the wanted size in twips, else the own
// size (pixels for bitmaps, 0.01 mm for metafiles), else the decoded one,
// scaled by the percentage.
double Side(int32_t Goal, int32_t Own, int Decoded, int32_t Scale, bool OwnInPixels) {
    double px = 0;
    if (Goal > 0)
        px = Goal / kTwipsPerPixel;
    else if (Own > 0)
        px = OwnInPixels ? Own : Own * 96.0 / 2540.0;
    else
        px = Decoded;
    if (Scale > 0 && Scale != 100)
        px = px * std::min<int32_t>(Scale, 100000) / 100.0;
    if (!(px >= 1))
        px = 32;
    return std::min<double>(px, kRtfMaxPictureSide);
}

QImage Decode(const QByteArray& Bytes) {
    QBuffer buffer;
    buffer.setData(Bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kRtfPictureAllocationMb);
    return reader.read();
}

// What stands for a picture that is not drawn: a light box.
QImage Box() {
    QImage box(8, 8, QImage::Format_RGB32);
    box.fill(QColor(0xE8, 0xE8, 0xE8));
    return box;
}

// Lines of 128 digits, as the rich-edit control writes them, straight into
// room made for them: pictures are most of a page's bytes.
void AppendHexLines(QByteArray& Out, QByteArrayView Bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const qsizetype n = Bytes.size();
    const qsizetype at = Out.size();
    Out.resize(at + 2 * n + 2 * ((n + 63) / 64));
    char* d = Out.data() + at;
    const auto* p = reinterpret_cast<const unsigned char*>(Bytes.data());
    const auto* const end = p + n;
    while (p < end) {
        *d++ = '\r';
        *d++ = '\n';
        for (const auto* line = p + std::min<qsizetype>(64, end - p); p < line; ++p) {
            *d++ = kDigits[*p >> 4];
            *d++ = kDigits[*p & 15];
        }
    }
}

// A control word and its number, into room for at least 40 more characters.
char* PutWord(char* D, const char* W, long N) {
    const size_t n = std::strlen(W);
    std::memcpy(D, W, n);
    return std::to_chars(D + n, D + n + 24, N).ptr;
}

} // namespace

void TRtfPicture::AddHex(char C) {
    const int d = RtfHexValue(C);
    if (d < 0)
        return;
    if (Nibble < 0) {
        Nibble = d;
        return;
    }
    Bytes.append(char(Nibble * 16 + d));
    Nibble = -1;
}

void TRtfPicture::AddBinary(const char* P, qsizetype N) {
    Bytes.append(P, N);
}

namespace {

bool IsFile(const TRtfPicture& P) {
    return P.Kind == TRtfPicture::pkPng || P.Kind == TRtfPicture::pkJpeg;
}

enum class TOtherKind { Unknown, Metafile, Dib };

// Which of the other kinds a kept {\pict ...} group holds: its last format
// word outside subgroups, before any \bin data.
TOtherKind OtherKind(QByteArrayView Group) {
    TOtherKind kind = TOtherKind::Unknown;
    int depth = 0;
    const qsizetype n = Group.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = Group[i];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth <= 0)
                break;
        } else if (c == '\\' && i + 1 < n) {
            qsizetype j = i + 1;
            while (j < n &&
                   ((Group[j] >= 'a' && Group[j] <= 'z') || (Group[j] >= 'A' && Group[j] <= 'Z')))
                ++j;
            if (j == i + 1) {
                ++i; // an escaped symbol
                continue;
            }
            const QByteArrayView word = Group.sliced(i + 1, j - i - 1);
            i = j - 1;
            if (depth != 1)
                continue;
            if (word == "bin")
                break;
            if (word == "wmetafile")
                kind = TOtherKind::Metafile;
            else if (word == "dibitmap")
                kind = TOtherKind::Dib;
            else if (word == "emfblip" || word == "wbitmap" || word == "macpict" ||
                     word == "pmmetafile" || word == "pngblip" || word == "jpegblip")
                kind = TOtherKind::Unknown;
        }
    }
    return kind;
}

// The object of a picture whose image, if any, is decoded already.
QTextImageFormat FormatOf(const TRtfPicture& P, QByteArrayView Group, const QImage& Image,
                          QTextDocument* Doc, bool OwnInPixels) {
    QTextImageFormat f;
    const bool file = IsFile(P);
    if (file) {
        f.setProperty(kPictureBytes, P.Bytes);
        f.setProperty(kPictureType, P.Kind == TRtfPicture::pkPng ? int(ptPng) : int(ptJpeg));
    } else {
        f.setProperty(kKeptGroup, Group.toByteArray());
    }
    if (P.PicW > 0)
        f.setProperty(kPictureWidth, int(P.PicW));
    if (P.PicH > 0)
        f.setProperty(kPictureHeight, int(P.PicH));
    // Stated sizes of bitmaps and pictures are pixels, of metafiles 0.01 mm.
    f.setWidth(Side(P.GoalW, P.PicW, Image.width(), P.ScaleX, OwnInPixels));
    f.setHeight(Side(P.GoalH, P.PicH, Image.height(), P.ScaleY, OwnInPixels));
    const QString name = ObjectResourceName(file ? QByteArrayView(P.Bytes) : Group);
    f.setName(name);
    if (Doc)
        Doc->addResource(QTextDocument::ImageResource, QUrl(name), Image.isNull() ? Box() : Image);
    return f;
}

} // namespace

// Names follow the content, so a picture loaded again finds its image.
QString ObjectResourceName(QByteArrayView Content) {
    const QByteArray hash = QCryptographicHash::hash(Content, QCryptographicHash::Sha1).toHex();
    return QString::fromLatin1(kResourceScheme) + u':' + QString::fromLatin1(hash);
}

QTextImageFormat PictureFormat(const TRtfPicture& P, QByteArrayView Group, QTextDocument* Doc) {
    if (IsFile(P))
        return FormatOf(P, Group, Doc ? Decode(P.Bytes) : QImage(), Doc, true);
    // A metafile or bitmap is drawn when it is one bitmap; the group is kept
    // as it came all the same.
    const TOtherKind kind = OtherKind(Group);
    QImage image;
    if (Doc && kind == TOtherKind::Metafile)
        image = MetafileBitmap(P.Bytes);
    else if (Doc && kind == TOtherKind::Dib)
        image = DibImage(P.Bytes);
    return FormatOf(P, Group, image, Doc, kind == TOtherKind::Dib);
}

QByteArray PictureGroup(const QTextImageFormat& F) {
    const QByteArray kept = F.property(kKeptGroup).toByteArray();
    if (!kept.isEmpty())
        return kept;
    const QByteArray bytes = F.property(kPictureBytes).toByteArray();
    const int type = F.intProperty(kPictureType);
    if (bytes.isEmpty() || (type != ptPng && type != ptJpeg))
        return {};
    const double width = F.width(), height = F.height();
    // A stated size that is not an int is written as 0, as intProperty gives.
    const auto own = [&](int Property, double Shown) {
        const QVariant v = F.property(Property);
        if (!v.isValid())
            return std::max(1, int(std::lround(Shown)));
        return v.userType() == QMetaType::Int ? v.toInt() : 0;
    };
    char head[192];
    const char* const kind = type == ptPng ? "{\\pict\\pngblip" : "{\\pict\\jpegblip";
    const size_t kindSize = std::strlen(kind);
    std::memcpy(head, kind, kindSize);
    char* d = head + kindSize;
    d = PutWord(d, "\\picw", own(kPictureWidth, width));
    d = PutWord(d, "\\pich", own(kPictureHeight, height));
    d = PutWord(d, "\\picwgoal", std::lround(width * kTwipsPerPixel));
    d = PutWord(d, "\\pichgoal", std::lround(height * kTwipsPerPixel));
    QByteArray out;
    out.reserve(qsizetype(d - head) + 2 * bytes.size() + 2 * ((bytes.size() + 63) / 64) + 1);
    out.append(head, qsizetype(d - head));
    AppendHexLines(out, bytes);
    out += '}';
    return out;
}

std::optional<QTextImageFormat> PictureOfFile(const QByteArray& Bytes, QTextDocument* Doc) {
    const QImage image = Decode(Bytes);
    if (image.isNull())
        return std::nullopt;
    TRtfPicture p;
    if (Bytes.startsWith("\x89PNG\r\n\x1a\n"))
        p.Kind = TRtfPicture::pkPng;
    else if (Bytes.startsWith("\xFF\xD8\xFF"))
        p.Kind = TRtfPicture::pkJpeg;
    else
        return PictureOfImage(image, Doc);
    p.Bytes = Bytes;
    p.PicW = image.width();
    p.PicH = image.height();
    return FormatOf(p, {}, image, Doc, true);
}

std::optional<QTextImageFormat> PictureOfImage(const QImage& Image, QTextDocument* Doc) {
    if (Image.isNull())
        return std::nullopt;
    TRtfPicture p;
    p.Kind = TRtfPicture::pkPng;
    QBuffer buffer(&p.Bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!Image.save(&buffer, "PNG"))
        return std::nullopt;
    p.PicW = Image.width();
    p.PicH = Image.height();
    return FormatOf(p, {}, Image, Doc, true);
}
