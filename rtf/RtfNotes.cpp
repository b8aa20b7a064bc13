#include "RtfNotes.h"

#include "RtfPictures.h"
#include "TextObjects.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <utility>

using namespace TextObjects;

namespace {

const QColor kMarkColor(0x60, 0x60, 0x60);

// Endnotes are numbered i, ii, iii..., as word processors number them.
QString Roman(int N) {
    static const std::pair<int, const char*> kDigits[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    if (N <= 0 || N >= 4000)
        return QString::number(N);
    QString out;
    for (const auto& [value, digits] : kDigits)
        for (; N >= value; N -= value)
            out += QLatin1String(digits);
    return out;
}

// A note's number, small and raised, as a word processor shows it.
QImage NumberMark(const QString& Text) {
    QFont font;
    font.setPixelSize(9);
    const QString& text = Text;
    const int w = QFontMetrics(font).horizontalAdvance(text) + 2;
    QImage image(std::max(w, 6), 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(kMarkColor);
    p.drawText(QRect(0, 0, image.width(), 9), Qt::AlignCenter, text);
    return image;
}

// A speech bubble.
QImage CommentMark() {
    QImage image(14, 14, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(kMarkColor);
    p.setBrush(QColor(0xFF, 0xF2, 0xA8));
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(0.5, 0.5, 13, 9), 2, 2);
    QPainterPath tail;
    tail.moveTo(3, 9);
    tail.lineTo(3, 13);
    tail.lineTo(7, 9);
    p.drawPath(bubble.united(tail));
    return image;
}

// A small grey label.
QImage LabelMark(const QString& Text) {
    QFont font;
    font.setPixelSize(9);
    const int w = QFontMetrics(font).horizontalAdvance(Text) + 6;
    QImage image(w, 13, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(kMarkColor);
    p.setBrush(QColor(0xF0, 0xF0, 0xF0));
    p.drawRect(0, 0, w - 1, 12);
    p.setFont(font);
    p.drawText(QRect(0, 0, w, 13), Qt::AlignCenter, Text);
    return image;
}

// A thin bar where a comment's range begins or ends.
QImage MetaMark() {
    QImage image(2, 14, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xC8, 0xB0, 0x40));
    return image;
}

QImage MarkOf(TRtfNoteKind Kind, int Number) {
    switch (Kind) {
    case TRtfNoteKind::Header:
        return LabelMark(QStringLiteral("header"));
    case TRtfNoteKind::Footer:
        return LabelMark(QStringLiteral("footer"));
    case TRtfNoteKind::Footnote:
        return NumberMark(QString::number(Number));
    case TRtfNoteKind::Endnote:
        return NumberMark(Roman(Number));
    case TRtfNoteKind::Comment:
        return CommentMark();
    case TRtfNoteKind::Meta:
        break;
    }
    return MetaMark();
}

} // namespace

QTextImageFormat NoteFormat(TRtfNoteKind Kind, int Number, QByteArrayView Group,
                            const QString& Words, QTextDocument* Doc) {
    QTextImageFormat f;
    f.setProperty(kKeptGroup, Group.toByteArray());
    f.setProperty(kKeptKind, int(Kind));
    f.setProperty(kKeptWords, Words);
    // The name tells marks of one group apart by kind and number too.
    QByteArray content = Group.toByteArray();
    content += '\0' + QByteArray::number(int(Kind)) + ':' + QByteArray::number(Number);
    const QString name = ObjectResourceName(content);
    f.setName(name);
    if (!Words.isEmpty())
        f.setToolTip(Words.size() > 2000 ? Words.left(2000) + QChar(0x2026) : Words);
    if (Doc) {
        const QImage mark = MarkOf(Kind, Number);
        f.setWidth(mark.width());
        f.setHeight(mark.height());
        Doc->addResource(QTextDocument::ImageResource, QUrl(name), mark);
    }
    return f;
}

QList<TRtfNoteMark> NoteMarks(const QTextDocument& Doc) {
    QList<TRtfNoteMark> out;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (!f.isImageFormat() || !f.hasProperty(kKeptKind))
                continue;
            // Neighbouring objects of one format share a fragment.
            for (int i = 0; i < frag.length(); ++i)
                out.append({frag.position() + i, f.toImageFormat()});
        }
    }
    return out;
}

QString NoteWordsText(const QTextDocument& Doc) {
    QString out;
    for (const TRtfNoteMark& m : NoteMarks(Doc)) {
        out += u'\n';
        out += QChar(kRtfNoteWordsMark);
        out += m.Format.stringProperty(kKeptWords);
    }
    return out;
}
