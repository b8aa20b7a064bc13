#include "HtmlPaste.h"

#include "RtfPictures.h"
#include "TextObjects.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextObjectInterface>
#include <QTextTable>

#include <algorithm>
#include <cmath>

namespace {

// Qt's HTML parser looks up the ancestors of a tag as it closes it, its
// import slows with each image in a paragraph, and its layout with each
// change of format in one: tags, depth and images are bounded.
constexpr int kMaxTags = 60000;
constexpr int kMaxDepth = 1000;
constexpr int kMaxImages = 2000;

bool IsVoidElement(QStringView Name) {
    static const char* const names[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                        "input", "link", "meta", "param", "source", "track", "wbr"};
    for (const char* n : names)
        if (Name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Whether Qt's parser reads Html in bounded time: a count of its tags and of
// how deep open elements nest, in one pass.
bool WithinBounds(QStringView Html) {
    const qsizetype n = Html.size();
    int tags = 0, depth = 0, images = 0;
    qsizetype i = 0;
    while (i < n) {
        if (Html[i] != u'<') {
            ++i;
            continue;
        }
        if (Html.mid(i, 4) == u"<!--") {
            const qsizetype end = Html.indexOf(u"-->", i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        if (++tags > kMaxTags)
            return false;
        const bool closing = i + 1 < n && Html[i + 1] == u'/';
        qsizetype j = i + (closing ? 2 : 1);
        const qsizetype nameStart = j;
        while (j < n && (Html[j].isLetterOrNumber() || Html[j] == u'-' || Html[j] == u':'))
            ++j;
        const QStringView name = Html.mid(nameStart, j - nameStart);
        // The end of the tag, past quoted attribute values.
        QChar quote;
        bool selfClosing = false;
        for (; j < n; ++j) {
            const QChar c = Html[j];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'>') {
                selfClosing = Html[j - 1] == u'/';
                break;
            }
        }
        i = j + 1;
        if (name.isEmpty())
            continue;
        if (!closing && name.compare(QLatin1String("img"), Qt::CaseInsensitive) == 0 &&
            ++images > kMaxImages)
            return false;
        if (closing)
            depth = std::max(0, depth - 1);
        else if (!selfClosing && !IsVoidElement(name) && ++depth > kMaxDepth)
            return false;
    }
    return true;
}

// Loads nothing: every name the HTML gives (images, style sheets, backgrounds)
// stays unresolved while it is imported here.
class TOfflineDocument : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

// Lays images out without loading them: Qt's own handler would read a file
// of the image's name when no resource has it.
class TUnloadedImages : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& F) override {
        const QTextImageFormat f = F.toImageFormat();
        return QSizeF(std::max(1.0, f.width()), std::max(1.0, f.height()));
    }
    void drawObject(QPainter*, const QRectF&, QTextDocument*, int, const QTextFormat&) override {}
};

bool IsImageProperty(int Id) {
    return (Id >= QTextFormat::ImageName && Id < QTextFormat::ImageName + 0x100) ||
           Id == QTextFormat::ObjectType || Id == QTextFormat::BackgroundImageUrl;
}

// The character format of an image, without what makes it one: links and
// fonts stay.
QTextCharFormat TextFormatOf(const QTextFormat& F) {
    QTextCharFormat out;
    const auto props = F.properties();
    for (auto it = props.cbegin(); it != props.cend(); ++it)
        if (!IsImageProperty(it.key()))
            out.setProperty(it.key(), it.value());
    return out;
}

// The bytes of a data: URL of an image, or nothing.
std::optional<QByteArray> DataUrlBytes(const QString& Src) {
    const QString src = Src.trimmed();
    if (!src.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype comma = src.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    const QStringView header = QStringView(src).mid(5, comma - 5);
    if (!header.startsWith(QLatin1String("image/"), Qt::CaseInsensitive))
        return std::nullopt;
    const QStringView payload = QStringView(src).mid(comma + 1);
    const bool base64 = header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive);
    // Characters beyond what the largest picture takes, with room for line
    // breaks, are not decoded at all.
    if (payload.size() >
        (base64 ? kMaxDataUrlBytes / 3 * 4 + kMaxDataUrlBytes / 16 : kMaxDataUrlBytes * 3))
        return std::nullopt;
    const QByteArray text = payload.toLatin1();
    const QByteArray bytes =
        base64 ? QByteArray::fromBase64(text) : QByteArray::fromPercentEncoding(text);
    if (bytes.isEmpty() || bytes.size() > kMaxDataUrlBytes)
        return std::nullopt;
    return bytes;
}

// The shown size: the HTML's width and height, one of them with the other
// in proportion, or the picture's own.
void ApplySize(QTextImageFormat& Picture, const QTextImageFormat& Html) {
    const double w0 = Picture.width(), h0 = Picture.height();
    double w = Html.width() > 0 ? Html.width() : 0;
    double h = Html.height() > 0 ? Html.height() : 0;
    if (w > 0 && h <= 0)
        h = h0 * w / std::max(1.0, w0);
    else if (h > 0 && w <= 0)
        w = w0 * h / std::max(1.0, h0);
    if (w <= 0 || h <= 0)
        return;
    const auto side = [](double v) {
        return std::clamp(std::round(v), 1.0, double(kRtfMaxPictureSide));
    };
    Picture.setWidth(side(w));
    Picture.setHeight(side(h));
}

// Picture objects of Doc by name: a picture copied inside the editor comes
// back as HTML that names it, without its bytes.
std::optional<QTextImageFormat> KnownPicture(const QString& Name, QTextDocument* Doc) {
    if (!Name.startsWith(QLatin1String(TextObjects::kResourceScheme) + u':'))
        return std::nullopt;
    const QList<QTextFormat> formats = Doc->allFormats();
    for (const QTextFormat& f : formats) {
        if (!f.isImageFormat())
            continue;
        const QTextImageFormat image = f.toImageFormat();
        if (image.name() == Name && (image.hasProperty(TextObjects::kPictureBytes) ||
                                     image.hasProperty(TextObjects::kKeptGroup)))
            return image;
    }
    return std::nullopt;
}

// Each image of Scratch becomes a picture object of Doc, or its alt text.
void ReplaceImages(QTextDocument& Scratch, QTextDocument* Doc) {
    struct TImage {
        int Pos;
        QTextImageFormat Format;
    };
    QList<TImage> images;
    for (QTextBlock b = Scratch.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (frag.charFormat().isImageFormat())
                for (int i = 0; i < frag.length(); ++i)
                    images.append({frag.position() + i, frag.charFormat().toImageFormat()});
        }
    // From the end, so that the positions before stay where they are.
    for (auto it = images.crbegin(); it != images.crend(); ++it) {
        QTextCursor c(&Scratch);
        c.setPosition(it->Pos);
        c.setPosition(it->Pos + 1, QTextCursor::KeepAnchor);
        const QTextImageFormat& html = it->Format;
        std::optional<QTextImageFormat> picture = KnownPicture(html.name(), Doc);
        if (!picture)
            if (const auto bytes = DataUrlBytes(html.name())) {
                picture = PictureOfFile(*bytes, Doc);
                if (picture)
                    ApplySize(*picture, html);
            }
        if (picture) {
            QTextImageFormat f = *picture;
            const QTextCharFormat text = TextFormatOf(html);
            const auto props = text.properties();
            for (auto p = props.cbegin(); p != props.cend(); ++p)
                if (!f.hasProperty(p.key()))
                    f.setProperty(p.key(), p.value());
            c.insertImage(f);
        } else {
            c.insertText(html.stringProperty(QTextFormat::ImageAltText), TextFormatOf(html));
        }
    }
}

template <typename F> bool Strip(F& Format) {
    if (!Format.hasProperty(QTextFormat::BackgroundImageUrl))
        return false;
    Format.clearProperty(QTextFormat::BackgroundImageUrl);
    return true;
}

void StripFrames(QTextFrame* Frame) {
    QTextFrameFormat ff = Frame->frameFormat();
    if (Strip(ff))
        Frame->setFrameFormat(ff);
    if (auto* table = qobject_cast<QTextTable*>(Frame)) {
        for (int r = 0; r < table->rows(); ++r)
            for (int col = 0; col < table->columns(); ++col) {
                QTextTableCell cell = table->cellAt(r, col);
                QTextCharFormat cf = cell.format();
                if (Strip(cf))
                    cell.setFormat(cf);
            }
    }
    const QList<QTextFrame*> children = Frame->childFrames();
    for (QTextFrame* child : children)
        StripFrames(child);
}

// Background images are names of files or addresses too: none is kept.
void StripBackgrounds(QTextDocument& Scratch) {
    StripFrames(Scratch.rootFrame());
    for (QTextBlock b = Scratch.begin(); b.isValid(); b = b.next()) {
        QTextCursor c(b);
        QTextBlockFormat bf = b.blockFormat();
        if (Strip(bf))
            c.setBlockFormat(bf);
        QTextCharFormat bcf = b.charFormat();
        if (Strip(bcf))
            c.setBlockCharFormat(bcf);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            QTextCharFormat cf = frag.charFormat();
            if (!Strip(cf))
                continue;
            QTextCursor s(&Scratch);
            s.setPosition(frag.position());
            s.setPosition(frag.position() + frag.length(), QTextCursor::KeepAnchor);
            s.setCharFormat(cf);
        }
    }
}

} // namespace

std::optional<THtmlContent> ContentOfHtml(const QString& Html, QTextDocument* Doc) {
    if (Html.size() > kMaxPastedHtml || !WithinBounds(Html))
        return std::nullopt;
    TOfflineDocument scratch;
    scratch.documentLayout()->registerHandler(QTextFormat::ImageObject,
                                              new TUnloadedImages(&scratch));
    scratch.setUndoRedoEnabled(false);
    const QTextDocumentFragment imported = QTextDocumentFragment::fromHtml(Html, &scratch);
    QTextCursor(&scratch).insertFragment(imported);
    THtmlContent out;
    out.HasText =
        !scratch.toPlainText().remove(QChar::ObjectReplacementCharacter).trimmed().isEmpty();
    // One edit, so that the layout follows once and not after each image.
    QTextCursor edit(&scratch);
    edit.beginEditBlock();
    ReplaceImages(scratch, Doc);
    StripBackgrounds(scratch);
    edit.endEditBlock();
    QTextCursor all(&scratch);
    all.select(QTextCursor::Document);
    out.Fragment = all.selection();
    return out;
}

#include "HtmlPaste.moc"
