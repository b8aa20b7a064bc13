#include "RichEdit.h"

#include "HtmlPaste.h"
#include "RichTextStream.h"
#include "RtfNotes.h"
#include "RtfPictures.h"
#include "RtfReader.h"
#include "TextObjects.h"
#include "TextSearch.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QIODevice>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>

namespace {

// Page bodies larger than this are refused rather than read into memory.
constexpr qint64 kMaxStreamBytes = qint64(256) << 20;

double PointsOf(const QFont& F) {
    return F.pointSizeF() > 0 ? F.pointSizeF() : F.pixelSize() * 72.0 / 96.0;
}

} // namespace

void TRichEditLines::SaveToStream(QIODevice& Stream) const {
    const QByteArray bytes = SaveRichText(*FOwner->document());
    if (!Stream.isWritable() || Stream.write(bytes) != bytes.size())
        throw EOutOfResources("Failed to Save Stream");
}

void TRichEditLines::LoadFromStream(QIODevice& Stream) {
    if (!Stream.isReadable())
        throw EOutOfResources("Failed to Load Stream");
    const qint64 available = Stream.isSequential() ? 0 : Stream.size() - Stream.pos();
    if (available > kMaxStreamBytes)
        throw EOutOfResources("Failed to Load Stream");
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const qint64 n = Stream.read(chunk, sizeof chunk);
        if (n < 0)
            throw EOutOfResources("Failed to Load Stream");
        if (n == 0)
            break;
        if (bytes.size() + n > kMaxStreamBytes)
            throw EOutOfResources("Failed to Load Stream");
        bytes.append(chunk, n);
    }
    FOwner->LoadBytes(bytes);
}

QString TTextAttributes::Name() const {
    const QStringList families = FOwner->currentCharFormat().fontFamilies().toStringList();
    if (FOwner->textCursor().hasSelection()) {
        QTextCursor c = FOwner->textCursor();
        c.setPosition(c.selectionStart() + 1);
        const QStringList first = c.charFormat().fontFamilies().toStringList();
        if (!first.isEmpty() && !first.first().isEmpty())
            return first.first();
    } else if (!families.isEmpty() && !families.first().isEmpty()) {
        return families.first();
    }
    const QFont f = FOwner->document()->defaultFont();
    return f.families().value(0, f.family());
}

void TTextAttributes::SetName(const QString& Name) {
    if (Name.isEmpty())
        return;
    QTextCharFormat f;
    f.setFontFamilies(QStringList{Name});
    FOwner->MergeFormat(f);
}

int TTextAttributes::Size() const {
    QTextCharFormat f = FOwner->currentCharFormat();
    if (FOwner->textCursor().hasSelection()) {
        QTextCursor c = FOwner->textCursor();
        c.setPosition(c.selectionStart() + 1);
        f = c.charFormat();
    }
    if (f.hasProperty(QTextFormat::FontPointSize))
        return qRound(f.fontPointSize());
    if (f.hasProperty(QTextFormat::FontPixelSize))
        return qRound(f.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0);
    return qRound(PointsOf(FOwner->document()->defaultFont()));
}

void TTextAttributes::SetSize(int Points) {
    if (Points < 1)
        return;
    QTextCharFormat f;
    f.setFontPointSize(std::min(Points, 1638));
    FOwner->MergeFormat(f);
}

TFontStyles TTextAttributes::Style() const {
    const QTextCursor cur = FOwner->textCursor();
    if (!cur.hasSelection())
        return FontStylesOf(FOwner->currentCharFormat());
    // A style counts when every selected character has it.
    const int start = cur.selectionStart();
    const int end = cur.selectionEnd();
    TFontStyles all = fsBold | fsItalic | fsUnderline | fsStrikeOut;
    bool any = false;
    const QTextDocument* doc = FOwner->document();
    for (QTextBlock b = doc->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (frag.position() + frag.length() <= start || frag.position() >= end)
                continue;
            all &= FontStylesOf(frag.charFormat());
            any = true;
        }
    }
    return any ? all : FontStylesOf(FOwner->currentCharFormat());
}

void TTextAttributes::SetStyle(TFontStyles Style) {
    const TFontStyles all = fsBold | fsItalic | fsUnderline | fsStrikeOut;
    ChangeStyle(Style, all & ~Style);
}

void TTextAttributes::ChangeStyle(TFontStyles Add, TFontStyles Remove) {
    QTextCharFormat f;
    const auto set = [&](TFontStyle s, auto apply) {
        if (Add.testFlag(s))
            apply(true);
        else if (Remove.testFlag(s))
            apply(false);
    };
    set(fsBold, [&](bool on) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
    set(fsItalic, [&](bool on) { f.setFontItalic(on); });
    set(fsUnderline, [&](bool on) { f.setFontUnderline(on); });
    set(fsStrikeOut, [&](bool on) { f.setFontStrikeOut(on); });
    if (!f.properties().isEmpty())
        FOwner->MergeFormat(f);
}

TRichEdit::TRichEdit(QWidget* Owner) : QTextEdit(Owner) {
    setAcceptRichText(true);
    SetHideSelection(true);
    // The pointer shows a link as the mouse passes over it.
    viewport()->setMouseTracking(true);
    OpenLink = [](const QUrl& Url) { QDesktopServices::openUrl(Url); };
    connect(this, &QTextEdit::textChanged, this,
            [this] { FRelay.Handle([this] { ContentChanged(); }); });
    const auto moved = [this] { FRelay.Handle([this] { SelectionMoved(); }); };
    connect(this, &QTextEdit::cursorPositionChanged, this, moved);
    connect(this, &QTextEdit::selectionChanged, this, moved);
}

void TRichEdit::SetCursor(const QTextCursor& Cursor) {
    FRelay.CallQt([&] { setTextCursor(Cursor); });
}

void TRichEdit::MergeFormat(const QTextCharFormat& Format) {
    FRelay.CallQt([&] { mergeCurrentCharFormat(Format); });
}

void TRichEdit::Fire(const TNotifyEvent& Handler) {
    // A copy, so that a handler may detach or replace itself while it runs.
    if (const TNotifyEvent h = Handler)
        h(this);
}

void TRichEdit::ContentChanged() {
    if (!FLoading)
        Fire(OnChange);
}

void TRichEdit::SelectionMoved() {
    if (FLoading)
        return;
    const QTextCursor c = textCursor();
    if (c.anchor() == FLastAnchor && c.position() == FLastPos)
        return;
    FLastAnchor = c.anchor();
    FLastPos = c.position();
    Fire(OnSelectionChange);
}

void TRichEdit::LoadBytes(QByteArrayView Data) {
    ++FLoading;
    try {
        LoadRichText(Data, *document());
        setTextCursor(QTextCursor(document()));
    } catch (...) {
        --FLoading;
        throw;
    }
    --FLoading;
    Fire(OnChange);
    SelectionMoved();
}

QString TRichEdit::Text() const {
    return DocumentText(*document());
}

void TRichEdit::SetText(const QString& Text) {
    FRelay.CallQt([&] {
        if (Text.isEmpty())
            clear();
        else
            setPlainText(Text);
    });
}

int TRichEdit::TextLength() const {
    return document()->characterCount() - 1;
}

int TRichEdit::SelStart() const {
    return textCursor().selectionStart();
}

void TRichEdit::SetSelStart(int Pos) {
    QTextCursor c(document());
    c.setPosition(std::clamp(Pos, 0, TextLength()));
    SetCursor(c);
}

int TRichEdit::SelLength() const {
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

void TRichEdit::SetSelLength(int Length) {
    const int start = SelStart();
    const qint64 end = std::clamp<qint64>(qint64(start) + Length, 0, TextLength());
    QTextCursor c(document());
    c.setPosition(start);
    c.setPosition(int(end), QTextCursor::KeepAnchor);
    SetCursor(c);
}

int TRichEdit::FindText(const QString& SearchStr, int StartPos, int Length,
                        TSearchTypes Options) const {
    return FindInText(Text(), SearchStr, StartPos, Length, Options);
}

void TRichEdit::SetFocus() {
    setFocus(Qt::OtherFocusReason);
}

void TRichEdit::SetHideSelection(bool On) {
    FHideSelection = On;
    QPalette p = palette();
    const QPalette base = QPalette();
    if (On) {
        p.setBrush(QPalette::Inactive, QPalette::Highlight,
                   p.brush(QPalette::Inactive, QPalette::Base));
        p.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                   p.brush(QPalette::Inactive, QPalette::Text));
    } else {
        p.setBrush(QPalette::Inactive, QPalette::Highlight,
                   base.brush(QPalette::Active, QPalette::Highlight));
        p.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                   base.brush(QPalette::Active, QPalette::HighlightedText));
    }
    setPalette(p);
}

// Focus that moves between windows or to a popup is not the control being
// entered or left.
void TRichEdit::focusInEvent(QFocusEvent* Event) {
    QTextEdit::focusInEvent(Event);
    if (Event->reason() != Qt::ActiveWindowFocusReason && Event->reason() != Qt::PopupFocusReason)
        RunGuarded([this] { Fire(OnEnter); });
}

void TRichEdit::focusOutEvent(QFocusEvent* Event) {
    QTextEdit::focusOutEvent(Event);
    if (Event->reason() != Qt::ActiveWindowFocusReason && Event->reason() != Qt::PopupFocusReason)
        RunGuarded([this] { Fire(OnExit); });
}

namespace {
// Only addresses that the desktop opens without running anything.
bool MayOpenLink(const QUrl& Url) {
    const QString scheme = Url.scheme().toLower();
    return Url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                             scheme == QLatin1String("mailto"));
}
} // namespace

void TRichEdit::mouseMoveEvent(QMouseEvent* Event) {
    QTextEdit::mouseMoveEvent(Event);
    viewport()->setCursor(anchorAt(Event->position().toPoint()).isEmpty() ? Qt::IBeamCursor
                                                                          : Qt::PointingHandCursor);
}

bool TRichEdit::viewportEvent(QEvent* Event) {
    if (Event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(Event);
        const QPointF at =
            help->pos() + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
        // The object under the pointer, on either of its halves.
        const int pos = document()->documentLayout()->hitTest(at, Qt::ExactHit);
        if (pos >= 0) {
            QTextCursor c(document());
            c.setPosition(pos);
            c.movePosition(QTextCursor::NextCharacter);
            const QTextCharFormat f = c.charFormat();
            if (f.isImageFormat() && f.hasProperty(TextObjects::kKeptKind)) {
                const QString words = f.toolTip();
                if (words.isEmpty())
                    QToolTip::hideText();
                else
                    QToolTip::showText(help->globalPos(), words, viewport());
                return true;
            }
        }
    }
    return QTextEdit::viewportEvent(Event);
}

int TRichEdit::KeptMarkPosition(int Index) const {
    const QList<TRtfNoteMark> marks = NoteMarks(*document());
    return Index >= 0 && Index < marks.size() ? marks[Index].Position : -1;
}

void TRichEdit::mouseReleaseEvent(QMouseEvent* Event) {
    QTextEdit::mouseReleaseEvent(Event);
    if (Event->button() == Qt::LeftButton && (Event->modifiers() & Qt::ControlModifier)) {
        const QUrl url(anchorAt(Event->position().toPoint()));
        if (MayOpenLink(url) && OpenLink)
            RunGuarded([&] { OpenLink(url); });
    }
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()))
        RunGuarded([this] { Fire(OnClick); });
}

namespace {

// A dropped picture file larger than this is not read.
constexpr qint64 kMaxDroppedPicture = 64 << 20;

// The picture that Source carries: the clipboard's PNG or JPEG bytes as they
// are, another image it holds, or the first local picture file among its URLs.
std::optional<QTextImageFormat> PictureOfMime(const QMimeData* Source, QTextDocument* Doc) {
    for (const char* type : {"image/png", "image/jpeg"}) {
        const QString name = QString::fromLatin1(type);
        if (Source->hasFormat(name))
            if (auto f = PictureOfFile(Source->data(name), Doc))
                return f;
    }
    if (Source->hasImage())
        if (auto f = PictureOfImage(qvariant_cast<QImage>(Source->imageData()), Doc))
            return f;
    if (Source->hasUrls()) {
        for (const QUrl& url : Source->urls()) {
            if (!url.isLocalFile())
                continue;
            const QFileInfo info(url.toLocalFile());
            if (!info.isFile() || info.size() > kMaxDroppedPicture)
                continue;
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            if (auto f = PictureOfFile(file.read(kMaxDroppedPicture), Doc))
                return f;
        }
    }
    return std::nullopt;
}

bool MayHoldPicture(const QMimeData* Source) {
    return Source->hasImage() || Source->hasFormat(QStringLiteral("image/png")) ||
           Source->hasFormat(QStringLiteral("image/jpeg")) || Source->hasUrls();
}

} // namespace

bool TRichEdit::canInsertFromMimeData(const QMimeData* Source) const {
    return MayHoldPicture(Source) || QTextEdit::canInsertFromMimeData(Source);
}

void TRichEdit::insertFromMimeData(const QMimeData* Source) {
    RunGuarded([&] {
        const auto insert = [this](const auto& Apply) {
            QTextCursor c = textCursor();
            Apply(c);
            setTextCursor(c);
            ensureCursorVisible();
        };
        // HTML that holds text wins over a picture of it; a copied picture
        // often comes with HTML that only names it.
        std::optional<THtmlContent> html;
        if (acceptRichText() && Source->hasHtml()) {
            html = ContentOfHtml(Source->html(), document());
            if (!html) {
                // Too large or too deep to read as HTML: its plain text only.
                if (Source->hasText())
                    insert([&](QTextCursor& c) { c.insertText(Source->text()); });
                return;
            }
            if (html->HasText) {
                insert([&](QTextCursor& c) { c.insertFragment(html->Fragment); });
                return;
            }
        }
        if (MayHoldPicture(Source)) {
            if (const auto f = PictureOfMime(Source, document())) {
                insert([&](QTextCursor& c) { c.insertImage(*f); });
                return;
            }
        }
        if (html) {
            insert([&](QTextCursor& c) { c.insertFragment(html->Fragment); });
            return;
        }
        QTextEdit::insertFromMimeData(Source);
    });
}
