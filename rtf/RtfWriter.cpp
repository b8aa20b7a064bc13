#include "RtfWriter.h"

#include "AnsiCodePage.h"
#include "RtfFields.h"
#include "RtfLists.h"
#include "RtfPictures.h"
#include "RtfTables.h"
#include "TextFormats.h"
#include "TextObjects.h"

#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr int kMaxHalfPoints = 3276;

// What the writer knows of a character format, as table indexes.
struct TRunFormat {
    int Font = -1;
    int HalfPoints = -1;
    int Fg = 0; // 0: automatic colour
    int Bg = 0; // 0: no highlight
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    int VAlign = 0; // 1 superscript, 2 subscript
    bool Hidden = false;
    bool operator==(const TRunFormat&) const = default;
};

// A fragment's format as the writer needs it, kept per format index: most
// fragments share a few formats, and copying a QTextCharFormat is not free.
struct TFragmentFormat {
    TRunFormat Run;
    QString Href; // the link's target, empty outside links
    bool Image = false;
};

// What the writer knows of a paragraph's format; lengths in twips.
struct TParaFormat {
    int Align = 0; // 1 centred, 2 right, 3 justified
    int Li = 0, Ri = 0, Fi = 0, Sb = 0, Sa = 0;
    int Ls = 0, Ilvl = 0; // a list item's list, from 1, and level
    bool InTable = false;
    bool operator==(const TParaFormat&) const = default;
};

using TListLevels = std::array<const QTextList*, kRtfMaxListLevel + 1>;

// The formats of a list's levels. A level that no list of ours has is
// numbered as the one above. Copied in place: making a default
// QTextListFormat and assigning over it costs more than the copy.
template <size_t... I>
TRtfListLevels LevelsOf(const TListLevels& Lists, std::index_sequence<I...>) {
    const auto at = [&](size_t Level) {
        for (size_t l = Level + 1; l-- > 0;)
            if (Lists[l])
                return Lists[l]->format();
        return QTextListFormat();
    };
    return {at(I)...};
}

// A page is about 6.5 inches wide: columns without a width share it.
constexpr int kPageTwips = 9360;

class TRtfWriter {
public:
    explicit TRtfWriter(const QTextDocument& Doc);
    QByteArray Write();

private:
    void Frame(const QTextFrame* F, QStringView All, bool InTable);
    void Table(const QTextTable& T, QStringView All);
    void Cell(int First, int Last, QStringView All);
    void Block(const QTextBlock& B, QStringView All, bool InTable, const char* End);
    void Paragraph(const TParaFormat& P);
    void ChangeTo(const TRunFormat& F);
    void LinkTo(const QString& Href);
    void Text(QStringView S);
    void Word(const char* W);
    void Word(const char* W, int N);
    void Hex(int Byte);
    void Unicode(char16_t C);
    int AnsiByte(char16_t C);
    const TFragmentFormat& FormatOf(const QTextFragment& F);
    TRunFormat FormatOf(const QTextCharFormat& F);
    int FontIndex(const QString& Name);
    int ColorIndex(const QBrush& Brush);
    static void Escaped(std::string& Out, QStringView S);

    const QTextDocument& FDoc;
    QList<QTextFormat> FFormats; // the document's, shared
    QString FDefaultFamily;
    double FDefaultPoints;

    std::string FBody;       // cheaper than QByteArray for many small appends
    bool FNeedDelim = false; // the last thing written is a control word
    bool FFirstParagraph = true;
    TParaFormat FPara;
    TRunFormat FCur;
    QString FHref;          // the link whose field is open, if any
    TRunFormat FBeforeLink; // the format that the field's end returns to

    static constexpr size_t kAnsiSlots = 256;
    std::array<int, kAnsiSlots> FAnsiChar; // -1: empty
    std::array<int16_t, kAnsiSlots> FAnsiByte{};

    QStringList FFonts;
    QHash<QString, int> FFontIndex;
    QList<QRgb> FColors;
    QHash<QRgb, int> FColorIndex;
    QHash<int, TFragmentFormat> FFormatCache;
    // Lists in order of first use; \\lsN is the Nth. A list that starts
    // under an item of another, one level deeper, is that one's next level,
    // as word processors number outlines.
    std::vector<TListLevels> FLists;
    QHash<const QTextList*, int> FListIndex;
    QHash<const QTextList*, int> FListItems; // items written so far
    struct TBlockInfo {
        TParaFormat Para; // lists aside
        const QTextList* List = nullptr;
        QTextListFormat ListFormat;
        int Level = 0;
    };
    QHash<int, TBlockInfo> FParaCache; // by block format index
    int ListIndex(const QTextList* L, int Level);
    TBlockInfo BlockInfoOf(const QTextBlock& B);
};

TRtfWriter::TRtfWriter(const QTextDocument& Doc) : FDoc(Doc), FFormats(Doc.allFormats()) {
    FAnsiChar.fill(-1);
    const QFont font = Doc.defaultFont();
    FDefaultFamily = font.families().value(0, font.family());
    if (font.pointSizeF() > 0)
        FDefaultPoints = font.pointSizeF();
    else
        FDefaultPoints = font.pixelSize() * 72.0 / 96.0;
}

QByteArray TRtfWriter::Write() {
    // The text once, read through fragment positions, rather than a copy per
    // fragment.
    const QString all = FDoc.toRawText();
    FBody.reserve(size_t(FDoc.characterCount()) * 5 / 4 + 256);
    Frame(FDoc.rootFrame(), all, false);

    // The tables before the body, then both into one allocation.
    std::string head;
    head.reserve(512 + 48 * size_t(FFonts.size() + FColors.size()));
    head += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033{\\fonttbl";
    const auto number = [&head](long long N) {
        char buf[24];
        head.append(buf, size_t(std::to_chars(buf, buf + sizeof buf, N).ptr - buf));
    };
    for (qsizetype i = 0; i < FFonts.size(); ++i) {
        head += "{\\f";
        number(i);
        head += "\\fnil\\fcharset0 ";
        Escaped(head, FFonts[i]);
        head += ";}";
    }
    head += "}\r\n{\\colortbl ;";
    for (const QRgb c : FColors) {
        head += "\\red";
        number(qRed(c));
        head += "\\green";
        number(qGreen(c));
        head += "\\blue";
        number(qBlue(c));
        head += ';';
    }
    head += "}\r\n";
    // Lists for word processors; the control reads each item's own \\pn.
    if (!FLists.empty()) {
        head += "{\\*\\listtable";
        for (size_t i = 0; i < FLists.size(); ++i) {
            const QByteArray entry = ListTableEntry(
                LevelsOf(FLists[i], std::make_index_sequence<kRtfMaxListLevel + 1>()), int(i + 1));
            head.append(entry.constData(), size_t(entry.size()));
        }
        head += "}\r\n{\\*\\listoverridetable";
        for (size_t i = 0; i < FLists.size(); ++i) {
            const QByteArray entry = ListOverrideEntry(int(i + 1));
            head.append(entry.constData(), size_t(entry.size()));
        }
        head += "}\r\n";
    }
    head += "{\\*\\generator Vellomar;}\\viewkind4\\uc1 \r\n";
    static constexpr char kEnd[] = "}\r\n";
    QByteArray out(qsizetype(head.size() + FBody.size() + sizeof kEnd - 1), Qt::Uninitialized);
    char* d = out.data();
    std::memcpy(d, head.data(), head.size());
    d += head.size();
    std::memcpy(d, FBody.data(), FBody.size());
    d += FBody.size();
    std::memcpy(d, kEnd, sizeof kEnd - 1);
    return out;
}

// The blocks and tables of a frame, in order. Tables inside a table's cells
// are written as their cells' paragraphs: their text stays, in its cell.
void TRtfWriter::Frame(const QTextFrame* F, QStringView All, bool InTable) {
    const QTextFrame::iterator begin = F->begin();
    for (auto it = begin; !it.atEnd(); ++it) {
        if (const QTextFrame* child = it.currentFrame()) {
            const auto* table = qobject_cast<const QTextTable*>(child);
            if (table && !InTable)
                Table(*table, All);
            else
                Frame(child, All, InTable);
            continue;
        }
        const QTextBlock b = it.currentBlock();
        // The empty paragraph that stands before a table at the start holds
        // only the table's mark: reading the table makes it again.
        if (!InTable && it == begin && b.length() == 1) {
            auto next = it;
            ++next;
            if (!next.atEnd() && qobject_cast<const QTextTable*>(next.currentFrame()))
                continue;
        }
        Block(b, All, InTable, "\\par");
    }
}

// Rows as the rich-edit control writes them: the row's definition, then each
// cell's paragraphs ended by \cell, and \row. A merged cell is defined as such
// and written empty.
void TRtfWriter::Table(const QTextTable& T, QStringView All) {
    const int rows = T.rows();
    const int cols = std::min(T.columns(), kRtfMaxColumns);
    const QList<QTextLength> constraints = T.format().columnWidthConstraints();
    std::vector<int> right(static_cast<size_t>(cols));
    for (int c = 0, x = 0; c < cols; ++c) {
        const QTextLength l = constraints.value(c);
        int w = kPageTwips / std::max(cols, 1);
        if (l.type() == QTextLength::FixedLength && l.rawValue() > 0)
            w = qRound(l.rawValue() * TextObjects::kTwipsPerPixel);
        else if (l.type() == QTextLength::PercentageLength && l.rawValue() > 0)
            w = qRound(l.rawValue() * kPageTwips / 100);
        x += std::clamp(w, 15, kPageTwips * 4);
        right[size_t(c)] = x;
    }
    const bool borders = T.format().border() > 0;
    // Asking a cell for its place, span or end searches the table each time,
    // so each is asked once.
    struct TSlot {
        QTextTableCell Cell;
        int Row = 0, Column = 0;
        bool SpansRight = false, SpansDown = false;
        int First = 0, Last = -1; // in a cell's first slot; -1: not known
    };
    std::vector<TSlot> grid(static_cast<size_t>(rows) * static_cast<size_t>(cols));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            TSlot& s = grid[size_t(r) * size_t(cols) + size_t(c)];
            s.Cell = T.cellAt(r, c);
            s.Row = s.Cell.row();
            s.Column = s.Cell.column();
            if (s.Row >= r || s.Column >= c) { // else both are merged into others
                // The cell's format as it is kept: QTextTableCell::format()
                // makes a changed copy.
                const QTextFormat f = FFormats.value(s.Cell.tableCellFormatIndex());
                s.SpansRight = f.intProperty(QTextFormat::TableCellColumnSpan) > 1;
                s.SpansDown = f.intProperty(QTextFormat::TableCellRowSpan) > 1;
            }
        }
    }
    // Cells stand in the document in the order of their first slots, row by
    // row, so a cell ends where the next one starts, and the last where the
    // table ends. Cells past the column limit are not in the grid: then each
    // cell is asked.
    if (cols == T.columns()) {
        int next = T.lastPosition();
        for (size_t i = grid.size(); i-- > 0;) {
            TSlot& s = grid[i];
            if (s.Row * cols + s.Column != int(i))
                continue;
            s.First = s.Cell.firstPosition();
            s.Last = next;
            next = s.First - 1;
        }
    }
    for (int r = 0; r < rows; ++r) {
        const TSlot* const row = grid.data() + size_t(r) * size_t(cols);
        Word("\\trowd");
        Word("\\trgaph108");
        Word("\\trleft0");
        for (int c = 0; c < cols; ++c) {
            const TSlot& s = row[c];
            if (s.Column < c)
                Word("\\clmrg");
            else if (s.SpansRight)
                Word("\\clmgf");
            if (s.Row < r)
                Word("\\clvmrg");
            else if (s.SpansDown)
                Word("\\clvmgf");
            if (borders) {
                for (const char* side : {"\\clbrdrt", "\\clbrdrl", "\\clbrdrb", "\\clbrdrr"}) {
                    Word(side);
                    Word("\\brdrs");
                    Word("\\brdrw10");
                }
            }
            Word("\\cellx", right[size_t(c)]);
        }
        FBody += "\r\n";
        FNeedDelim = false;
        for (int c = 0; c < cols; ++c) {
            const TSlot& s = row[c];
            if (s.Row == r && s.Column == c) {
                if (s.Last >= 0)
                    Cell(s.First, s.Last, All);
                else
                    Cell(s.Cell.firstPosition(), s.Cell.lastPosition(), All);
                continue;
            }
            TParaFormat p = FPara;
            p.InTable = true;
            Paragraph(p);
            Word("\\cell");
        }
        Word("\\row");
        FBody += "\r\n";
        FNeedDelim = false;
    }
}

// The blocks of a cell, nested frames' too, are those from its first position
// to its last.
void TRtfWriter::Cell(int First, int Last, QStringView All) {
    const QTextBlock end = FDoc.findBlock(Last + 1);
    QTextBlock b = FDoc.findBlock(First);
    while (b.isValid() && b != end) {
        const QTextBlock next = b.next();
        const bool last = !next.isValid() || next == end;
        Block(b, All, true, last ? "\\cell" : "\\par");
        b = next;
    }
}

// Blocks of one format share its list too: the list is the format's object.
TRtfWriter::TBlockInfo TRtfWriter::BlockInfoOf(const QTextBlock& B) {
    const int index = B.blockFormatIndex();
    if (const auto it = FParaCache.constFind(index); it != FParaCache.constEnd())
        return *it;
    const QTextBlockFormat bf = B.blockFormat();
    TBlockInfo info;
    info.List = B.textList();
    if (info.List) {
        info.ListFormat = info.List->format();
        info.Level = std::clamp(info.ListFormat.indent() - 1, 0, kRtfMaxListLevel);
    }
    TParaFormat& p = info.Para;
    const Qt::Alignment h = bf.alignment() & Qt::AlignHorizontal_Mask;
    p.Align = h & Qt::AlignHCenter ? 1 : h & Qt::AlignRight ? 2 : h & Qt::AlignJustify ? 3 : 0;
    const auto twips = [](qreal Px) {
        return int(std::clamp<qreal>(qRound(Px * TextObjects::kTwipsPerPixel), -31680, 31680));
    };
    p.Li = twips(bf.leftMargin());
    p.Fi = twips(bf.textIndent());
    p.Ri = twips(bf.rightMargin());
    p.Sb = std::max(twips(bf.topMargin()), 0);
    p.Sa = std::max(twips(bf.bottomMargin()), 0);
    FParaCache.insert(index, info);
    return info;
}

void TRtfWriter::Block(const QTextBlock& B, QStringView All, bool InTable, const char* End) {
    const TBlockInfo info = BlockInfoOf(B);
    const QTextList* list = info.List;
    TParaFormat p = info.Para;
    if (list) {
        const int level = info.Level;
        p.Li = ListIndentOfLevel(level);
        p.Fi = -360;
        p.Ls = ListIndex(list, level);
        p.Ilvl = level;
    }
    p.InTable = InTable;
    // Each item restates its paragraph: the control numbers it by its \\pn,
    // and word processors by the \\ls that follows, which they take over it.
    if (list)
        FFirstParagraph = true;
    Paragraph(p);
    if (list) {
        // Blocks come in the document's order: counting them gives each
        // item's number without a search through its list.
        const QByteArray pn = PnGroups(info.ListFormat, FListItems[list]++);
        FBody.append(pn.constData(), size_t(pn.size()));
        FNeedDelim = false;
        Word("\\ls", p.Ls);
        Word("\\ilvl", p.Ilvl);
    }
    bool any = false;
    // Fragments follow each other without gaps, so their positions are
    // counted here rather than looked up one by one.
    qsizetype at = B.position();
    for (auto it = B.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const qsizetype length = frag.length();
        if (!frag.isValid() || length == 0)
            continue;
        const TFragmentFormat& f = FormatOf(frag);
        LinkTo(f.Href);
        ChangeTo(f.Run);
        if (f.Image) {
            // Neighbouring objects of one format share a fragment.
            const QByteArray group = PictureGroup(frag.charFormat().toImageFormat());
            for (qsizetype i = 0; i < length; ++i)
                FBody.append(group.constData(), size_t(group.size()));
            FNeedDelim = false;
        } else {
            Text(All.sliced(std::min(at, All.size()), std::min(length, All.size() - at)));
        }
        at += length;
        any = true;
    }
    LinkTo(QString());
    // An empty paragraph keeps the format of its mark (its font and size).
    if (!any)
        ChangeTo(FormatOf(B.charFormat()));
    Word(End);
    FBody += "\r\n";
    FNeedDelim = false;
}

// Paragraph properties are written when they change, after a \pard that
// resets them all.
void TRtfWriter::Paragraph(const TParaFormat& P) {
    if (!FFirstParagraph && P == FPara)
        return;
    FFirstParagraph = false;
    FPara = P;
    Word("\\pard");
    if (P.InTable)
        Word("\\intbl");
    static const char* const kAlign[] = {nullptr, "\\qc", "\\qr", "\\qj"};
    if (P.Align)
        Word(kAlign[P.Align]);
    if (P.Fi)
        Word("\\fi", P.Fi);
    if (P.Li)
        Word("\\li", P.Li);
    if (P.Ri)
        Word("\\ri", P.Ri);
    if (P.Sb)
        Word("\\sb", P.Sb);
    if (P.Sa)
        Word("\\sa", P.Sa);
}

void TRtfWriter::ChangeTo(const TRunFormat& F) {
    if (F == FCur)
        return;
    if (F.Font != FCur.Font)
        Word("\\f", F.Font);
    if (F.HalfPoints != FCur.HalfPoints)
        Word("\\fs", F.HalfPoints);
    if (F.Bold != FCur.Bold)
        Word(F.Bold ? "\\b" : "\\b0");
    if (F.Italic != FCur.Italic)
        Word(F.Italic ? "\\i" : "\\i0");
    if (F.Underline != FCur.Underline)
        Word(F.Underline ? "\\ul" : "\\ulnone");
    if (F.Strike != FCur.Strike)
        Word(F.Strike ? "\\strike" : "\\strike0");
    if (F.Fg != FCur.Fg)
        Word("\\cf", F.Fg);
    if (F.Bg != FCur.Bg)
        Word("\\highlight", F.Bg);
    if (F.VAlign != FCur.VAlign)
        Word(F.VAlign == 1 ? "\\super" : F.VAlign == 2 ? "\\sub" : "\\nosupersub");
    if (F.Hidden != FCur.Hidden)
        Word(F.Hidden ? "\\v" : "\\v0");
    FCur = F;
}

// Links are fields whose result is the linked text; a field's group holds
// the formats changed inside it, so its end returns to the one before.
void TRtfWriter::LinkTo(const QString& Href) {
    if (Href == FHref)
        return;
    if (!FHref.isEmpty()) {
        FBody += "}}}";
        FCur = FBeforeLink;
        FNeedDelim = false;
    }
    FHref = Href;
    if (Href.isEmpty())
        return;
    FBeforeLink = FCur;
    const QByteArray inst = HyperlinkInstruction(Href);
    FBody += "{\\field{\\*\\fldinst{";
    FBody.append(inst.constData(), size_t(inst.size()));
    FBody += "}}{\\fldrslt{";
    FNeedDelim = false;
}

int TRtfWriter::ListIndex(const QTextList* L, int Level) {
    if (const auto it = FListIndex.constFind(L); it != FListIndex.constEnd())
        return *it;
    const bool under = !FLists.empty() && Level > 0 && FLists.back()[size_t(Level - 1)] &&
                       !FLists.back()[size_t(Level)];
    auto& levels = under ? FLists.back() : FLists.emplace_back();
    levels[size_t(Level)] = L;
    const int index = int(&levels - FLists.data()) + 1;
    FListIndex.insert(L, index);
    return index;
}

void TRtfWriter::Word(const char* W) {
    FBody.append(W);
    FNeedDelim = true;
}

// Words with numbers are most of what stands between runs of text: each is
// put together first and appended once.
void TRtfWriter::Word(const char* W, int N) {
    char buf[48];
    const size_t n = std::min(std::strlen(W), sizeof buf - 12);
    std::memcpy(buf, W, n);
    const auto r = std::to_chars(buf + n, buf + sizeof buf, N);
    FBody.append(buf, size_t(r.ptr - buf));
    FNeedDelim = true;
}

void TRtfWriter::Hex(int Byte) {
    static const char kDigits[] = "0123456789abcdef";
    const char s[4] = {'\\', '\'', kDigits[Byte >> 4], kDigits[Byte & 15]};
    FBody.append(s, 4);
    FNeedDelim = false;
}

void TRtfWriter::Unicode(char16_t C) {
    char buf[16] = {'\\', 'u'};
    char* const end =
        std::to_chars(buf + 2, buf + sizeof buf - 1, C > 0x7FFF ? int(C) - 65536 : int(C)).ptr;
    *end = '?';
    FBody.append(buf, size_t(end + 1 - buf));
    FNeedDelim = false;
}

// A page repeats its few letters outside ASCII: their bytes are kept in
// slots by their low bits.
int TRtfWriter::AnsiByte(char16_t C) {
    const size_t slot = C & (kAnsiSlots - 1);
    if (FAnsiChar[slot] != int(C)) {
        FAnsiChar[slot] = C;
        FAnsiByte[slot] = int16_t(AnsiByteOf(C));
    }
    return FAnsiByte[slot];
}

// The characters that text writes as they are: printable ASCII but for the
// three that RTF escapes.
constexpr std::array<bool, 128> kPlain = [] {
    std::array<bool, 128> plain{};
    for (int c = 0x20; c < 0x7F; ++c)
        plain[size_t(c)] = c != '\\' && c != '{' && c != '}';
    return plain;
}();

void TRtfWriter::Text(QStringView S) {
    const char16_t* p = reinterpret_cast<const char16_t*>(S.data());
    const char16_t* const end = p + S.size();
    while (p < end) {
        // Plain ASCII in one piece.
        const char16_t* run = p;
        while (p < end && *p < 0x80 && kPlain[*p])
            ++p;
        if (p > run) {
            if (FNeedDelim)
                FBody += ' ';
            FNeedDelim = false;
            const size_t at = FBody.size();
            FBody.resize(at + size_t(p - run));
            char* d = FBody.data() + at;
            for (const char16_t* q = run; q < p; ++q)
                *d++ = char(*q);
            continue;
        }
        const char16_t c = *p++;
        if (c == '\\' || c == '{' || c == '}') {
            const char s[2] = {'\\', char(c)};
            FBody.append(s, 2);
            FNeedDelim = false;
        } else if (c == '\t') {
            Word("\\tab");
        } else if (c == 0x2028) {
            Word("\\line");
        } else if (QChar::isSurrogate(c)) {
            Unicode(c);
        } else if (const int b = AnsiByte(c); b > 0) {
            Hex(b);
        } else {
            Unicode(c);
        }
    }
}

// Font names in the table: letters as they are, others escaped like text.
void TRtfWriter::Escaped(std::string& Out, QStringView S) {
    for (const QChar qc : S) {
        const char16_t c = qc.unicode();
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}' && c != ';') {
            Out += char(c);
        } else if (const int b = AnsiByteOf(c); b > 0 && !qc.isSurrogate()) {
            static const char kDigits[] = "0123456789abcdef";
            const char s[4] = {'\\', '\'', kDigits[b >> 4], kDigits[b & 15]};
            Out.append(s, 4);
        } else {
            char buf[16] = {'\\', 'u'};
            char* const end =
                std::to_chars(buf + 2, buf + sizeof buf - 1, c > 0x7FFF ? int(c) - 65536 : int(c))
                    .ptr;
            *end = '?';
            Out.append(buf, size_t(end + 1 - buf));
        }
    }
}

const TFragmentFormat& TRtfWriter::FormatOf(const QTextFragment& F) {
    const int index = F.charFormatIndex();
    auto it = FFormatCache.constFind(index);
    if (it == FFormatCache.constEnd()) {
        const QTextCharFormat f = F.charFormat();
        TFragmentFormat ff;
        ff.Run = FormatOf(f);
        if (f.isAnchor())
            ff.Href = f.anchorHref();
        ff.Image = f.isImageFormat();
        it = FFormatCache.insert(index, ff);
    }
    return *it;
}

TRunFormat TRtfWriter::FormatOf(const QTextCharFormat& F) {
    TRunFormat r;
    const QStringList families = F.fontFamilies().toStringList();
    r.Font = FontIndex(families.isEmpty() || families.first().isEmpty() ? FDefaultFamily
                                                                        : families.first());
    double points = FDefaultPoints;
    if (F.hasProperty(QTextFormat::FontPointSize))
        points = F.fontPointSize();
    else if (F.hasProperty(QTextFormat::FontPixelSize))
        points = F.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0;
    r.HalfPoints = std::clamp(qRound(points * 2), 1, kMaxHalfPoints);
    r.Bold = F.fontWeight() >= QFont::DemiBold;
    r.Italic = F.fontItalic();
    r.Underline = F.fontUnderline();
    r.Hidden = F.boolProperty(TextFormats::kHidden);
    r.Strike = F.fontStrikeOut();
    if (F.hasProperty(QTextFormat::ForegroundBrush))
        r.Fg = ColorIndex(F.foreground());
    if (F.hasProperty(QTextFormat::BackgroundBrush))
        r.Bg = ColorIndex(F.background());
    if (F.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        r.VAlign = 1;
    else if (F.verticalAlignment() == QTextCharFormat::AlignSubScript)
        r.VAlign = 2;
    return r;
}

int TRtfWriter::FontIndex(const QString& Name) {
    const auto it = FFontIndex.constFind(Name);
    if (it != FFontIndex.constEnd())
        return *it;
    const int i = int(FFonts.size());
    FFonts.append(Name);
    FFontIndex.insert(Name, i);
    return i;
}

int TRtfWriter::ColorIndex(const QBrush& Brush) {
    if (Brush.style() == Qt::NoBrush)
        return 0;
    const QRgb rgb = Brush.color().rgb();
    const auto it = FColorIndex.constFind(rgb);
    if (it != FColorIndex.constEnd())
        return *it;
    FColors.append(rgb);
    const int i = int(FColors.size()); // entry 0 is the automatic colour
    FColorIndex.insert(rgb, i);
    return i;
}

} // namespace

QByteArray WriteRtf(const QTextDocument& Doc) {
    return TRtfWriter(Doc).Write();
}
