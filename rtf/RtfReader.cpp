#include "RtfReader.h"

#include "AnsiCodePage.h"
#include "RtfCodePage.h"
#include "RtfFields.h"
#include "RtfHex.h"
#include "RtfKeywords.h"
#include "RtfLists.h"
#include "RtfPictures.h"
#include "RtfTables.h"
#include "RtfText.h"
#include "TextFormats.h"
#include "TextObjects.h"

#include <QColor>
#include <QPointer>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

enum class TDest : uint8_t {
    Text,              // visible text
    Skip,              // nothing in it is shown
    FontTable,         // \fonttbl and its entries
    FontAltName,       // \*\fname inside a font entry
    ColorTable,        // \colortbl
    Object,            // \object: skipped except its \result
    Upr,               // \upr: skipped except its \ud
    Picture,           // \pict: its data and sizes
    FieldInst,         // \fldinst: a field's instruction
    Pn,                // \pn: a paragraph's number or bullet
    PnText,            // \pntxtb, \pntxta: the text around the number
    ListTable,         // \listtable
    ListOverrideTable, // \listoverridetable
    NestProps,         // \nesttableprops: skipped; its end ends a nested row
};

enum TAlign : uint8_t { alLeft, alCenter, alRight, alJustify };
enum TVAlign : uint8_t { vaNone, vaSuper, vaSub };

constexpr int32_t kDefaultHalfPoints = 24;
constexpr int32_t kMaxHalfPoints = 3276; // 1638 points, the rich-edit control's limit
constexpr int32_t kMaxUc = 255;

struct TCharState {
    int32_t Font = -1; // -1: the document's default font
    int32_t HalfPoints = kDefaultHalfPoints;
    int32_t Fg = 0;
    int32_t Bg = 0;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    TVAlign VAlign = vaNone;
    bool Hidden = false;
    int32_t Link = -1; // the hyperlink target's index, in a field's result
    bool operator==(const TCharState&) const = default;
};

// Indents and spacing are bounded to 22 inches.
constexpr int32_t kMaxIndentTwips = 31680;
// Cell edges are bounded to about 270 yards.
constexpr int32_t kMaxTableTwips = 1 << 24;

struct TParaState {
    TAlign Align = alLeft;
    int32_t Li = 0, Ri = 0, Fi = 0, Sb = 0, Sa = 0; // twips
    // The rich-edit form of a list item: the QTextListFormat::Style, 0 for
    // none; \pnlvlcont: inside an item, without a number of its own.
    int8_t Pn = 0;
    bool PnCont = false;
    int8_t PnLevel = -1; // \pnlvlN, less one
    char16_t PnBefore = 0, PnAfter = 0;
    int32_t PnStart = 1;
    // The word-processor form: \lsN (0 for none) and \ilvlN.
    int32_t Ls = 0;
    int8_t Ilvl = -1;
    int8_t Itap = 0; // table nesting; 0 outside tables
    bool HasList() const { return Pn != 0 || Ls > 0; }
    bool operator==(const TParaState&) const = default;
};

// A \pn group while it is read.
struct TPnState {
    int8_t Style = 0;
    bool Bullet = false, Cont = false;
    int8_t Level = -1;
    int32_t Start = 1;
    char16_t Before = 0, After = 0;
    bool InAfter = false; // reading \pntxta rather than \pntxtb
};

struct TGroup {
    TCharState Char;
    TParaState Para;
    TDest Dest = TDest::Text;
    int32_t Uc = 1;
    const char* Start = nullptr; // the group's '{' in the input
};

struct TFont {
    QString Name;
    int CodePage = CP_WINDOWS_1252;
};

// One name of a font-table entry while it is read: bytes in the font's code
// page, with \uN characters between them.
struct TFontName {
    QString Text;
    std::string Bytes;
    bool Full() const { return Text.size() + qsizetype(Bytes.size()) >= kRtfMaxFontName; }
    void Flush(int CodePage) {
        Text += DecodeCodePage(CodePage == CP_SYMBOL ? CP_WINDOWS_1252 : CodePage, Bytes);
        Bytes.clear();
    }
};

// A font-table entry while it is read.
struct TFontEntry {
    bool Active = false;
    int32_t Num = 0;
    int32_t Charset = -1;
    int32_t Cpg = 0;
    TFontName Name;
    TFontName AltName; // \*\fname: the font's own name, before any charset suffix
};

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The bytes that end a run of plain text bytes: markup and control bytes.
constexpr std::array<bool, 256> kEndsSpan = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c)
        t[size_t(c)] = true;
    t['\\'] = t['{'] = t['}'] = true;
    return t;
}();

bool EndsSpan(char C) {
    return kEndsSpan[static_cast<unsigned char>(C)];
}

#ifdef __SSE2__
// One bit for each of the sixteen bytes in V that ends a span.
unsigned SpanEndMask(__m128i V) {
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(V, _mm_set1_epi8(0x1F)), V);
    const __m128i markup = _mm_or_si128(
        _mm_cmpeq_epi8(V, _mm_set1_epi8('\\')),
        _mm_or_si128(_mm_cmpeq_epi8(V, _mm_set1_epi8('{')), _mm_cmpeq_epi8(V, _mm_set1_epi8('}'))));
    return unsigned(_mm_movemask_epi8(_mm_or_si128(control, markup)));
}
#endif

// The end of the run of text bytes at P: the first markup or control byte.
const char* SpanEnd(const char* P, const char* End) {
#ifdef __SSE2__
    for (; End - P >= 16; P += 16) {
        if (const unsigned mask = SpanEndMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P))))
            return P + __builtin_ctz(mask);
    }
#endif
    while (P < End && !EndsSpan(*P))
        ++P;
    return P;
}

// Reads text in Windows-1252 from P while nothing but text comes: bytes,
// \'hh escapes of printable bytes, tabs; other control bytes are dropped.
// Stops at the first group mark or other control sequence, and returns where.
const char* ReadAnsiText(const char* P, const char* const End, TRtfText& Out) {
    // Every byte read gives at most one unit.
    Out.Reserve(End - P);
    char16_t* d = Out.End();
    while (P < End) {
#ifdef __SSE2__
        // Sixteen at a time, stored whole (the buffer has room past the
        // end); only what comes before the first mark counts.
        while (End - P >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
            const __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
            const unsigned stop = SpanEndMask(v);
            const int n = stop ? __builtin_ctz(stop) : 16;
            // Bytes 0x80..0x9F are not Latin-1.
            const __m128i c1 = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xE0))),
                                              _mm_set1_epi8(char(0x80)));
            for (unsigned mend = unsigned(_mm_movemask_epi8(c1)) & ((1u << n) - 1); mend;
                 mend &= mend - 1) {
                const int k = __builtin_ctz(mend);
                d[k] = UnicodeOfAnsiByte(P[k]);
            }
            P += n;
            d += n;
            if (stop)
                break;
        }
#endif
        // The rest one by one, up to a mark.
        for (; P < End && !EndsSpan(*P); ++P)
            *d++ = UnicodeOfAnsiByte(*P);
        if (P == End)
            break;
        const char c = *P;
        int hi = -1, lo = -1;
        if (c == '\t') {
            *d++ = u'\t';
            ++P;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            ++P;
        } else if (c == '\\' && End - P >= 4 && P[1] == '\'' && (hi = RtfHexValue(P[2])) >= 0 &&
                   (lo = RtfHexValue(P[3])) >= 0 && hi * 16 + lo >= 0x20) {
            *d++ = UnicodeOfAnsiByte(char(hi * 16 + lo));
            P += 4;
        } else {
            break;
        }
    }
    Out.SetEnd(d);
    return P;
}

class TRtfReader {
public:
    TRtfReader(QByteArrayView Data, QTextDocument& Doc)
        : FP(Data.data()), FEnd(Data.data() + Data.size()), FCur(&Doc), FRun(FOwnRun) {
        FStack.reserve(16);
        FStack.emplace_back();
    }
    // Collects only the text, as the document would hold it, into Plain.
    TRtfReader(QByteArrayView Data, TRtfText& Plain)
        : FP(Data.data()), FEnd(Data.data() + Data.size()), FPlain(true), FRun(Plain) {
        FStack.reserve(16);
        FStack.emplace_back();
        // The text is rarely longer than its markup: grow once, not by steps.
        FRun.Reserve(Data.size());
    }

    void Run();

private:
    TGroup& G() { return FStack.back(); }

    void OpenGroup();
    void CloseGroup();
    void ControlSequence();
    void ControlWord(std::string_view Word, bool HasParam, int32_t Param);
    void TextKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param);
    void ControlSymbol(char C);
    void PlainTextSpan();
    void TextByte(char C);
    void LiteralByte(char C);

    // Text output.
    void PrepareText();
    void AddByte(char C);
    void EmitChar(char16_t C);
    void EmitUnicode(int32_t N);
    void AppendDecoded(QStringView S);
    void FlushBytes();
    void FlushRun();
    void FlushText();
    void Paragraph();
    void InsertBlockNow();
    void FinishBlock();
    void Finish();

    void PnKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param);
    void CommitPn();
    void PnChar(char16_t C);
    void ListTableKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param);
    QTextList* ListOf(const TParaState& P);

    // Tables.
    void TableTransition() {
        if (G().Para.Itap > 0) {
            if (!FCellOpen)
                EnsureCell();
        } else if (FTableOpen) {
            CloseTable();
        }
    }
    void EnsureCell();
    void MoveToCell(int Column);
    void EndCell();
    void EndRow();
    void CloseTable();
    void CellDefKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param);

    void PictureKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param);
    void FinishPicture(bool Closed);
    void AddToInstruction(char16_t C) {
        if (FInst.size() < kRtfMaxFieldInstruction)
            FInst += QChar(C);
    }

    void CommitFont();
    int EntryCodePage() const;
    TFontName* EntryName();
    void CommitColor();
    int CodePageOf(int32_t Font) const;
    const QTextCharFormat& FormatOf(const TCharState& S);
    QTextBlockFormat BlockFormatOf(const TParaState& P) const;

    const char* FP;
    const char* const FEnd;
    QTextCursor FCur;
    const bool FPlain = false; // text only: no document, no formats
    std::vector<TGroup> FStack;
    int64_t FOverflow = 0; // open groups beyond the depth cap
    bool FDone = false;
    bool FStar = false; // "\*" seen: the next word names a destination
    int32_t FSkip = 0;  // \uN fallback characters still to skip

    int FAnsiCpg = CP_WINDOWS_1252;
    int32_t FDeff = 0;
    std::unordered_map<int32_t, TFont> FFonts;
    uint32_t FFontsVersion = 0; // counts changes to FFonts
    // The last answer of CodePageOf, asked once per run of text.
    struct TCodePageMemo {
        int32_t Font = 0, Deff = 0;
        int AnsiCpg = 0;
        uint32_t FontsVersion = 0;
        int CodePage = -1;
    };
    mutable TCodePageMemo FCpMemo;
    TFontEntry FEntry;
    TRtfPicture FPict;
    QString FInst; // the instruction of the field being read
    std::vector<QString> FLinks;
    size_t FPictDepth = 0; // the picture's group depth while one is read
    std::vector<QColor> FColors;
    int FRed = 0, FGreen = 0, FBlue = 0;
    bool FColorSet = false;

    std::string FBytes;             // undecoded bytes, in FRunState's code page
    bool FBytesHoldControl = false; // FBytes holds a byte below 0x20
    TRtfText FOwnRun;
    TRtfText& FRun; // decoded text, all in FRunState
    TCharState FRunState;
    char16_t FHigh = 0; // a high surrogate waiting for its pair

    bool FPendingBreak = false; // a \par whose new paragraph has not begun yet
    bool FPendingCell = false;  // a \cell: a tab, unless the row ends next
    bool FBlockEmpty = true;
    // Text only: whether the text may hold U+FDD0 or U+FDD1, which only
    // AppendDecoded adds.
    bool FMayHoldFrameMarks = false;
    TParaState FBlockPara; // what the current block's format was made of
    bool FBlockParaKnown = true;
    // Qt deletes a list whose last item leaves it: lists are held weakly.
    QPointer<QTextList> FBlockList;

    TPnState FPn;
    TRtfListTable FListTable;
    std::array<QPointer<QTextList>, kRtfMaxListLevel + 1> FPnLists; // rich-edit lists by level
    std::unordered_map<int64_t, QPointer<QTextList>> FLsLists;      // by \ls and level

    // The table being read. Cells are counted from 0 in the current row.
    struct TTableBuilder : TRtfTableSink {
        QTextCursor* Cur = nullptr;
        QTextTable* Table = nullptr;
        void AppendRow(int Columns) override;
        void InsertColumn(int Column) override;
    };
    TRtfRowDef FRowDef;
    TTableBuilder FBuilder;
    TRtfTableGrid FGrid;
    bool FTableOpen = false;
    bool FRowOpen = false;  // content has come for the current row
    bool FCellOpen = false; // ... and for the current cell
    int FCell = 0;
    int64_t FTableStart = 0; // text only: where the table's text begins
    int64_t FCellBegin = 0;

    std::vector<std::pair<TCharState, QTextCharFormat>> FFormats;
    size_t FLastFormat = 0;
};

void TRtfReader::Run() {
    FCur.beginEditBlock();
    while (FP < FEnd && !FDone) {
        const char c = *FP;
        switch (c) {
        case '{':
            ++FP;
            OpenGroup();
            break;
        case '}':
            ++FP;
            CloseGroup();
            break;
        case '\\':
            ++FP;
            ControlSequence();
            break;
        default:
            if (G().Dest == TDest::Text && FSkip == 0 && static_cast<unsigned char>(c) >= 0x20) {
                PlainTextSpan();
            } else {
                ++FP;
                TextByte(c);
            }
            break;
        }
    }
    Finish();
    FCur.endEditBlock();
}

void TRtfReader::OpenGroup() {
    FSkip = 0;
    FStar = false;
    if (FStack.size() > size_t(kRtfMaxGroupDepth)) {
        ++FOverflow;
        return;
    }
    FStack.push_back(FStack.back());
    FStack.back().Start = FP - 1;
}

void TRtfReader::CloseGroup() {
    FSkip = 0;
    FStar = false;
    if (FOverflow > 0) {
        --FOverflow;
        return;
    }
    if (FStack.size() <= 2) { // the document's own group ends the document
        FDone = true;
        return;
    }
    const TDest dest = G().Dest;
    if (FPictDepth > 0 && FStack.size() == FPictDepth)
        FinishPicture(true);
    FStack.pop_back();
    // The instruction's group has ended: the field's result is a link when
    // the instruction names one.
    if (dest == TDest::FieldInst && G().Dest != TDest::FieldInst) {
        QString target = HyperlinkTarget(FInst);
        FInst.clear();
        if (!target.isEmpty()) {
            FLinks.push_back(std::move(target));
            G().Char.Link = int32_t(FLinks.size() - 1);
        }
    }
    if (dest == TDest::FontTable)
        CommitFont();
    else if (dest == TDest::Pn && G().Dest != TDest::Pn && G().Dest != TDest::PnText)
        CommitPn();
    else if (dest == TDest::NestProps && G().Dest == TDest::Text)
        Paragraph();
}

// Text bytes without markup, taken in one go.
void TRtfReader::PlainTextSpan() {
    FStar = false;
    PrepareText();
    // Text only: Windows-1252 text, with its escaped letters, is read on
    // until the next control word or group, as nothing between changes the state.
    if (FPlain && FBytes.empty() && !FHigh && CodePageOf(FRunState.Font) == CP_WINDOWS_1252) {
        FP = ReadAnsiText(FP, FEnd, FRun);
        return;
    }
    const char* start = FP;
    FP = SpanEnd(FP, FEnd);
    const std::string_view span(start, size_t(FP - start));
    // Windows-1252 maps byte for byte, and a span holds no control byte.
    if (FBytes.empty() && !FHigh && CodePageOf(FRunState.Font) == CP_WINDOWS_1252)
        FRun.AppendAnsi(span);
    else
        FBytes.append(span);
}

void TRtfReader::TextByte(char C) {
    const auto b = static_cast<unsigned char>(C);
    switch (G().Dest) {
    case TDest::Text:
        FStar = false;
        if (FSkip > 0) {
            if (b >= 0x20 || C == '\t')
                --FSkip;
            return;
        }
        if (C == '\t')
            EmitChar(u'\t');
        else if (b >= 0x20)
            AddByte(C);
        return;
    case TDest::FontTable:
    case TDest::FontAltName:
        if (FSkip > 0) {
            --FSkip;
        } else if (C == ';') {
            if (G().Dest == TDest::FontTable)
                CommitFont();
        } else if (b >= 0x20) {
            TFontName* name = EntryName();
            if (!name->Full())
                name->Bytes.push_back(C);
        }
        return;
    case TDest::ColorTable:
        if (C == ';')
            CommitColor();
        return;
    case TDest::Picture:
        FPict.AddHex(C);
        return;
    case TDest::FieldInst:
        if (FSkip > 0)
            --FSkip;
        else if (b >= 0x20)
            AddToInstruction(UnicodeOfAnsiByte(C));
        return;
    case TDest::PnText:
        if (FSkip > 0)
            --FSkip;
        else if (b > 0x20)
            PnChar(UnicodeOfAnsiByte(C));
        return;
    default:
        return;
    }
}

// A byte given as \'hh or as an escaped \ { }: always text, never markup.
void TRtfReader::LiteralByte(char C) {
    switch (G().Dest) {
    case TDest::Text:
        if (FSkip > 0) {
            --FSkip;
            return;
        }
        AddByte(C);
        return;
    case TDest::FieldInst:
        if (FSkip > 0)
            --FSkip;
        else
            AddToInstruction(UnicodeOfAnsiByte(C));
        return;
    case TDest::PnText:
        if (FSkip > 0)
            --FSkip;
        else
            PnChar(UnicodeOfAnsiByte(C));
        return;
    case TDest::FontTable:
    case TDest::FontAltName:
        if (FSkip > 0) {
            --FSkip;
        } else {
            TFontName* name = EntryName();
            if (!name->Full())
                name->Bytes.push_back(C);
        }
        return;
    default:
        return;
    }
}

void TRtfReader::ControlSequence() {
    if (FP >= FEnd)
        return;
    if (!IsLetter(*FP)) {
        ControlSymbol(*FP++);
        return;
    }
    const char* start = FP;
    while (FP < FEnd && IsLetter(*FP))
        ++FP;
    const size_t length = size_t(FP - start);

    bool hasParam = false;
    bool negative = false;
    int64_t value = 0;
    if (FP < FEnd && *FP == '-' && FP + 1 < FEnd && IsDigit(FP[1])) {
        negative = true;
        ++FP;
    }
    while (FP < FEnd && IsDigit(*FP)) {
        hasParam = true;
        if (value <= INT32_MAX)
            value = value * 10 + (*FP - '0');
        ++FP;
    }
    if (negative)
        value = -value;
    const int32_t param = int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    if (FP < FEnd && *FP == ' ')
        ++FP;

    if (length > size_t(kRtfMaxWordLength)) {
        ControlWord({}, hasParam, param);
        return;
    }
    ControlWord(std::string_view(start, length), hasParam, param);
}

void TRtfReader::ControlSymbol(char C) {
    if (C == '\'') {
        const int hi = FP < FEnd ? RtfHexValue(*FP) : -1;
        if (hi < 0)
            return;
        ++FP;
        const int lo = FP < FEnd ? RtfHexValue(*FP) : -1;
        if (lo < 0)
            return;
        ++FP;
        FStar = false;
        LiteralByte(char(hi * 16 + lo));
        return;
    }
    if (C == '*') {
        FStar = true;
        return;
    }
    FStar = false;
    if (C == '\\' || C == '{' || C == '}') {
        LiteralByte(C);
        return;
    }
    if (G().Dest != TDest::Text)
        return;
    if (FSkip > 0) {
        --FSkip;
        return;
    }
    switch (C) {
    case '~':
        EmitChar(0x00A0);
        break;
    case '-':
        EmitChar(0x00AD);
        break;
    case '_':
        EmitChar(0x2011);
        break;
    case '\t':
        EmitChar(u'\t');
        break;
    case '\r':
    case '\n':
        Paragraph();
        break;
    default:
        break;
    }
}

void TRtfReader::ControlWord(std::string_view Word, bool HasParam, int32_t Param) {
    const TRtfKeyword kw = Word.empty() ? TRtfKeyword{} : LookupRtfKeyword(Word);
    const bool star = FStar;
    FStar = false;

    if (kw.Kind == TRtfKw::Bin) {
        // Binary data is skipped in place; nothing is allocated for it.
        const int64_t n = std::min<int64_t>(HasParam ? std::max<int32_t>(Param, 0) : 0, FEnd - FP);
        if (G().Dest == TDest::Picture)
            FPict.AddBinary(FP, qsizetype(n));
        FP += n;
        if (FSkip > 0)
            --FSkip;
        return;
    }

    TGroup& g = G();
    switch (g.Dest) {
    case TDest::Skip:
    case TDest::NestProps:
        return;
    case TDest::Object:
        if (kw.Kind == TRtfKw::Result)
            g.Dest = TDest::Text;
        else if (star || kw.Kind == TRtfKw::SkipDest)
            g.Dest = TDest::Skip;
        return;
    case TDest::Upr:
        g.Dest = kw.Kind == TRtfKw::Ud ? TDest::Text : TDest::Skip;
        return;
    case TDest::Pn:
    case TDest::PnText:
        if (star || kw.Kind == TRtfKw::SkipDest)
            g.Dest = TDest::Skip;
        else if (kw.Kind == TRtfKw::U && HasParam && g.Dest == TDest::PnText) {
            const int32_t n = Param < 0 ? Param + 65536 : Param;
            if (n > 0 && n <= 0xFFFF)
                PnChar(char16_t(n));
            FSkip = g.Uc;
        } else if (kw.Kind == TRtfKw::Uc)
            g.Uc = HasParam ? std::clamp<int32_t>(Param, 0, kMaxUc) : 1;
        else
            PnKeyword(kw, HasParam, Param);
        return;
    case TDest::ListTable:
    case TDest::ListOverrideTable:
        ListTableKeyword(kw, HasParam, Param);
        return;
    case TDest::Picture:
        if (star || kw.Kind == TRtfKw::SkipDest)
            g.Dest = TDest::Skip;
        else
            PictureKeyword(kw, HasParam, Param);
        return;
    case TDest::FieldInst:
        if (star || kw.Kind == TRtfKw::SkipDest) {
            g.Dest = TDest::Skip;
        } else if (kw.Kind == TRtfKw::Uc) {
            g.Uc = HasParam ? std::clamp<int32_t>(Param, 0, kMaxUc) : 1;
        } else if (kw.Kind == TRtfKw::U && HasParam) {
            const int32_t n = Param < 0 ? Param + 65536 : Param;
            if (n > 0 && n <= 0xFFFF)
                AddToInstruction(char16_t(n));
            FSkip = g.Uc;
        }
        return;
    case TDest::FontTable:
    case TDest::FontAltName:
        if (kw.Kind == TRtfKw::FName) {
            g.Dest = TDest::FontAltName;
        } else if (star || kw.Kind == TRtfKw::SkipDest) {
            g.Dest = TDest::Skip;
        } else if (kw.Kind == TRtfKw::F && HasParam) {
            CommitFont();
            FEntry.Active = true;
            FEntry.Num = Param;
        } else if (kw.Kind == TRtfKw::FCharset) {
            FEntry.Charset = Param;
        } else if (kw.Kind == TRtfKw::Cpg) {
            FEntry.Cpg = Param;
        } else if (kw.Kind == TRtfKw::Uc) {
            g.Uc = HasParam ? std::clamp<int32_t>(Param, 0, kMaxUc) : 1;
        } else if (kw.Kind == TRtfKw::U && HasParam) {
            TFontName* name = EntryName();
            name->Flush(EntryCodePage());
            const int32_t n = Param < 0 ? Param + 65536 : Param;
            if (!name->Full() && n > 0 && n <= 0xFFFF)
                name->Text.append(QChar(char16_t(n)));
            FSkip = g.Uc;
        }
        return;
    case TDest::ColorTable: {
        const int v = std::clamp<int32_t>(Param, 0, 255);
        if (kw.Kind == TRtfKw::Red)
            FRed = v;
        else if (kw.Kind == TRtfKw::Green)
            FGreen = v;
        else if (kw.Kind == TRtfKw::Blue)
            FBlue = v;
        else
            return;
        FColorSet = true;
        return;
    }
    case TDest::Text:
        break;
    }

    if (star && kw.Kind == TRtfKw::NestTableProps) {
        g.Dest = TDest::NestProps;
        return;
    }
    if (star && kw.Kind != TRtfKw::ShpPict && kw.Kind != TRtfKw::FldInst && kw.Kind != TRtfKw::Pn &&
        kw.Kind != TRtfKw::ListTable && kw.Kind != TRtfKw::ListOverrideTable) {
        // An optional destination this reader does not know.
        g.Dest = TDest::Skip;
        return;
    }
    if (FSkip > 0) {
        --FSkip;
        return;
    }
    TextKeyword(kw, HasParam, Param);
}

void TRtfReader::TextKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
    TGroup& g = G();
    TCharState& ch = g.Char;
    const bool on = !HasParam || Param != 0;
    switch (Kw.Kind) {
    case TRtfKw::Ansi:
        FAnsiCpg = CP_WINDOWS_1252;
        break;
    case TRtfKw::Mac:
        FAnsiCpg = 10000;
        break;
    case TRtfKw::Pc:
        FAnsiCpg = 437;
        break;
    case TRtfKw::Pca:
        FAnsiCpg = 850;
        break;
    case TRtfKw::AnsiCpg:
        if (HasParam && Param > 0)
            FAnsiCpg = Param;
        break;
    case TRtfKw::Deff:
        if (HasParam)
            FDeff = Param;
        break;
    case TRtfKw::Uc:
        g.Uc = HasParam ? std::clamp<int32_t>(Param, 0, kMaxUc) : 1;
        break;
    case TRtfKw::U:
        if (HasParam) {
            EmitUnicode(Param);
            FSkip = g.Uc;
        }
        break;
    case TRtfKw::FontTbl:
        g.Dest = TDest::FontTable;
        break;
    case TRtfKw::ColorTbl:
        g.Dest = TDest::ColorTable;
        FColorSet = false;
        break;
    case TRtfKw::Object:
        g.Dest = TDest::Object;
        break;
    case TRtfKw::Upr:
        g.Dest = TDest::Upr;
        break;
    case TRtfKw::FldInst:
        FInst.clear();
        g.Dest = TDest::FieldInst;
        break;
    case TRtfKw::Pict:
        // A picture stands in a group of its own, and not inside another.
        if (FPictDepth == 0 && FStack.size() > 2 && g.Start) {
            FPict = TRtfPicture{};
            FPictDepth = FStack.size();
            g.Dest = TDest::Picture;
        } else {
            g.Dest = TDest::Skip;
        }
        break;
    case TRtfKw::SkipDest:
    case TRtfKw::FName:
        g.Dest = TDest::Skip;
        break;
    case TRtfKw::F:
        if (HasParam)
            ch.Font = Param;
        break;
    case TRtfKw::Plain: {
        // A field's result stays a link through a reset of the format.
        const int32_t link = ch.Link;
        ch = TCharState{};
        ch.Link = link;
        break;
    }
    case TRtfKw::B:
        ch.Bold = on;
        break;
    case TRtfKw::I:
        ch.Italic = on;
        break;
    case TRtfKw::Ul:
        ch.Underline = on;
        break;
    case TRtfKw::UlNone:
        ch.Underline = false;
        break;
    case TRtfKw::Strike:
    case TRtfKw::StrikeD:
        ch.Strike = on;
        break;
    case TRtfKw::Fs:
        ch.HalfPoints =
            HasParam && Param > 0 ? std::min(Param, kMaxHalfPoints) : kDefaultHalfPoints;
        break;
    case TRtfKw::Cf:
        ch.Fg = HasParam ? std::max<int32_t>(Param, 0) : 0;
        break;
    case TRtfKw::Cb:
    case TRtfKw::Highlight:
        ch.Bg = HasParam ? std::max<int32_t>(Param, 0) : 0;
        break;
    case TRtfKw::Super:
        ch.VAlign = vaSuper;
        break;
    case TRtfKw::Sub:
        ch.VAlign = vaSub;
        break;
    case TRtfKw::NoSuperSub:
        ch.VAlign = vaNone;
        break;
    case TRtfKw::V:
        ch.Hidden = on;
        break;
    case TRtfKw::Pard:
        g.Para = TParaState{};
        break;
    case TRtfKw::Ql:
        g.Para.Align = alLeft;
        break;
    case TRtfKw::Qc:
        g.Para.Align = alCenter;
        break;
    case TRtfKw::Qr:
        g.Para.Align = alRight;
        break;
    case TRtfKw::Qj:
        g.Para.Align = alJustify;
        break;
    case TRtfKw::Li:
    case TRtfKw::Ri:
    case TRtfKw::Fi:
    case TRtfKw::Sb:
    case TRtfKw::Sa: {
        const bool spacing = Kw.Kind == TRtfKw::Sb || Kw.Kind == TRtfKw::Sa;
        const int32_t v = std::clamp<int32_t>(HasParam ? Param : 0, spacing ? 0 : -kMaxIndentTwips,
                                              kMaxIndentTwips);
        TParaState& pa = g.Para;
        (Kw.Kind == TRtfKw::Li   ? pa.Li
         : Kw.Kind == TRtfKw::Ri ? pa.Ri
         : Kw.Kind == TRtfKw::Fi ? pa.Fi
         : Kw.Kind == TRtfKw::Sb ? pa.Sb
                                 : pa.Sa) = v;
        break;
    }
    case TRtfKw::Pn:
        FPn = TPnState{};
        g.Dest = TDest::Pn;
        break;
    case TRtfKw::ListTable:
        g.Dest = TDest::ListTable;
        break;
    case TRtfKw::ListOverrideTable:
        g.Dest = TDest::ListOverrideTable;
        break;
    case TRtfKw::Ls:
        g.Para.Ls = HasParam ? std::max<int32_t>(Param, 0) : 0;
        break;
    case TRtfKw::Ilvl:
        g.Para.Ilvl = int8_t(std::clamp<int32_t>(HasParam ? Param : 0, 0, kRtfMaxListLevel));
        break;
    case TRtfKw::InTbl:
        g.Para.Itap = std::max<int8_t>(g.Para.Itap, 1);
        break;
    case TRtfKw::Itap:
        g.Para.Itap = int8_t(std::clamp<int32_t>(HasParam ? Param : 1, 0, 100));
        break;
    case TRtfKw::TRowD:
    case TRtfKw::TrLeft:
    case TRtfKw::CellX:
    case TRtfKw::ClMgf:
    case TRtfKw::ClMrg:
    case TRtfKw::ClVmgf:
    case TRtfKw::ClVmrg:
        CellDefKeyword(Kw, HasParam, Param);
        break;
    case TRtfKw::Par:
        Paragraph();
        break;
    case TRtfKw::Row:
        if (FRowOpen)
            EndRow();
        else if (g.Para.Itap == 0)
            Paragraph(); // a row outside any table ends a paragraph, as it always did
        break;
    case TRtfKw::NestRow:
        Paragraph();
        break;
    case TRtfKw::Line:
        EmitChar(0x2028);
        break;
    case TRtfKw::Tab:
        EmitChar(u'\t');
        break;
    case TRtfKw::Cell:
        // Cells of nested tables, and cells outside any table, are tabs.
        if (g.Para.Itap == 1 || (g.Para.Itap == 0 && FRowOpen))
            EndCell();
        else
            FPendingCell = true;
        break;
    case TRtfKw::NestCell:
        FPendingCell = true;
        break;
    case TRtfKw::Symbol:
        EmitChar(Kw.Char);
        break;
    default:
        break;
    }
}

// Text is about to be added in the current state: begin the paragraph that a
// \par left pending, and close the run when the format changed.
void TRtfReader::PrepareText() {
    TableTransition();
    if (FPendingBreak)
        InsertBlockNow();
    const TCharState& s = G().Char;
    if (!(s == FRunState)) {
        FlushText();
        FRunState = s;
    }
    if (FPendingCell) {
        FPendingCell = false;
        FlushBytes();
        FRun.Append(u'\t');
    }
    FBlockEmpty = false;
}

void TRtfReader::AddByte(char C) {
    PrepareText();
    // Windows-1252 maps byte for byte: a byte that waits for no other is
    // decoded at once (mostly an accented letter given as \'hh).
    if (FBytes.empty() && !FHigh && static_cast<unsigned char>(C) >= 0x20 &&
        CodePageOf(FRunState.Font) == CP_WINDOWS_1252) {
        FRun.Append(UnicodeOfAnsiByte(C));
        return;
    }
    FBytes.push_back(C);
    if (static_cast<unsigned char>(C) < 0x20)
        FBytesHoldControl = true;
}

void TRtfReader::EmitChar(char16_t C) {
    PrepareText();
    FlushBytes();
    const char16_t c = C;
    AppendDecoded(QStringView(&c, 1));
}

void TRtfReader::EmitUnicode(int32_t N) {
    if (N < 0)
        N += 65536;
    char16_t c = (N < 0 || N > 0xFFFF) ? char16_t(0xFFFD) : char16_t(N);
    PrepareText();
    FlushBytes();
    if (QChar::isHighSurrogate(c)) {
        if (FHigh)
            FRun.Append(0xFFFD);
        FHigh = c;
        return;
    }
    if (QChar::isLowSurrogate(c)) {
        if (FHigh) {
            FRun.Append(FHigh);
            FRun.Append(c);
            FHigh = 0;
            return;
        }
        c = 0xFFFD;
    }
    AppendDecoded(QStringView(&c, 1));
}

// Adds decoded text to the run. Paragraph marks inside it start paragraphs; a
// vertical tab is the rich-edit control's line break.
void TRtfReader::AppendDecoded(QStringView S) {
    FMayHoldFrameMarks = true;
    if (FHigh) {
        FRun.Append(0xFFFD);
        FHigh = 0;
    }
    qsizetype from = 0;
    for (qsizetype i = 0; i < S.size(); ++i) {
        const char16_t c = S[i].unicode();
        if (c != u'\r' && c != u'\n' && c != 0x2029 && c != 0x0B && c != 0)
            continue;
        FRun.Append(S.mid(from, i - from));
        from = i + 1;
        if (c == 0x0B) {
            FRun.Append(0x2028);
        } else if (c != 0) {
            if (c == u'\r' && i + 1 < S.size() && S[i + 1] == u'\n')
                from = ++i + 1;
            FlushRun();
            FinishBlock();
            InsertBlockNow();
            FBlockEmpty = false;
        }
    }
    FRun.Append(S.mid(from));
}

void TRtfReader::FlushBytes() {
    if (FBytes.empty())
        return;
    const int cp = CodePageOf(FRunState.Font);
    // Windows-1252 maps byte for byte: only control bytes need AppendDecoded.
    const bool control = FBytesHoldControl;
    FBytesHoldControl = false;
    if (cp == CP_WINDOWS_1252 && !FHigh && !control) {
        FRun.AppendAnsi(FBytes);
        FBytes.clear();
        return;
    }
    const QString s = DecodeCodePage(cp, FBytes);
    FBytes.clear();
    AppendDecoded(s);
}

void TRtfReader::FlushRun() {
    // Text only: the run is the text itself, and grows to the end.
    if (FRun.IsEmpty() || FPlain)
        return;
    FCur.insertText(FRun.View().toString(), FormatOf(FRunState));
    FRun.Clear();
}

void TRtfReader::FlushText() {
    FlushBytes();
    if (FHigh) {
        FRun.Append(0xFFFD);
        FHigh = 0;
    }
    FlushRun();
}

void TRtfReader::Paragraph() {
    TableTransition();
    FPendingCell = false;
    FlushText();
    if (FPendingBreak)
        InsertBlockNow();
    FinishBlock();
    FPendingBreak = true;
}

void TRtfReader::InsertBlockNow() {
    const TGroup& g = G();
    if (FPlain) {
        FRun.Append(u'\n');
        FBlockEmpty = true;
        FPendingBreak = false;
        return;
    }
    FCur.insertBlock(BlockFormatOf(g.Para), FormatOf(g.Char));
    FBlockPara = g.Para;
    FBlockParaKnown = true;
    FBlockList = nullptr;
    FBlockEmpty = true;
    FPendingBreak = false;
}

// Paragraph properties hold for the paragraph that the next \par ends.
void TRtfReader::FinishBlock() {
    if (FPlain)
        return;
    const TGroup& g = G();
    if (!FBlockParaKnown || !(g.Para == FBlockPara)) {
        FCur.setBlockFormat(BlockFormatOf(g.Para));
        FBlockPara = g.Para;
        FBlockParaKnown = true;
        FBlockList = nullptr; // the new format belongs to no list
    }
    if (QTextList* list = ListOf(g.Para); list != FBlockList) {
        if (list)
            list->add(FCur.block());
        else
            FBlockList->remove(FCur.block());
        FBlockList = list;
    }
    if (FBlockEmpty)
        FCur.setBlockCharFormat(FormatOf(g.Char));
}

// The document's last \par ends its last paragraph; it does not begin another.
void TRtfReader::Finish() {
    if (FPictDepth > 0)
        FinishPicture(false);
    FlushText();
    if (FEntry.Active)
        CommitFont();
    if (FTableOpen)
        CloseTable();
    if (!FPendingBreak)
        FinishBlock();
    if (FPlain) {
        // The document takes the frame marks as paragraph breaks.
        if (FMayHoldFrameMarks)
            std::replace_if(
                FRun.Begin(), FRun.End(), [](char16_t c) { return c == 0xFDD0 || c == 0xFDD1; },
                u'\n');
    }
}

void TRtfReader::PnKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
    TPnState& pn = FPn;
    const auto number = [&](QTextListFormat::Style S) {
        if (!pn.Bullet)
            pn.Style = int8_t(S);
    };
    switch (Kw.Kind) {
    case TRtfKw::PnLvlBlt:
        pn.Bullet = true;
        pn.Style = int8_t(QTextListFormat::ListDisc);
        break;
    case TRtfKw::PnLvlBody:
        if (pn.Style == 0)
            pn.Style = int8_t(QTextListFormat::ListDecimal);
        break;
    case TRtfKw::PnLvl:
        if (HasParam && Param >= 1 && Param <= kRtfMaxListLevel + 1)
            pn.Level = int8_t(Param - 1);
        if (pn.Style == 0)
            pn.Style = int8_t(QTextListFormat::ListDecimal);
        break;
    case TRtfKw::PnLvlCont:
        pn.Cont = true;
        break;
    case TRtfKw::PnDec:
        number(QTextListFormat::ListDecimal);
        break;
    case TRtfKw::PnUcLtr:
        number(QTextListFormat::ListUpperAlpha);
        break;
    case TRtfKw::PnLcLtr:
        number(QTextListFormat::ListLowerAlpha);
        break;
    case TRtfKw::PnUcRm:
        number(QTextListFormat::ListUpperRoman);
        break;
    case TRtfKw::PnLcRm:
        number(QTextListFormat::ListLowerRoman);
        break;
    case TRtfKw::PnStart:
        pn.Start = HasParam ? std::clamp<int32_t>(Param, 0, 32767) : 1;
        break;
    case TRtfKw::PnTxtB:
    case TRtfKw::PnTxtA:
        pn.InAfter = Kw.Kind == TRtfKw::PnTxtA;
        G().Dest = TDest::PnText;
        break;
    default:
        break;
    }
}

// One character of the text before or after the number: a bullet's own sign,
// or a number's punctuation. Only the first of each is kept.
void TRtfReader::PnChar(char16_t C) {
    char16_t& c = FPn.InAfter ? FPn.After : FPn.Before;
    if (!c)
        c = C;
}

// The \pn group has ended: its numbering is the paragraph's.
void TRtfReader::CommitPn() {
    TParaState& p = G().Para;
    const TPnState& pn = FPn;
    p.PnCont = pn.Cont;
    p.Pn = pn.Cont ? 0 : pn.Style;
    if (pn.Bullet)
        p.Pn = int8_t(pn.Before == u'o'   ? QTextListFormat::ListCircle
                      : pn.Before == 0xA7 ? QTextListFormat::ListSquare
                                          : QTextListFormat::ListDisc);
    p.PnLevel = pn.Level;
    p.PnStart = pn.Start;
    p.PnBefore = pn.Bullet ? 0 : pn.Before;
    p.PnAfter = pn.After;
}

void TRtfReader::ListTableKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
    const int32_t v = HasParam ? Param : 0;
    if (G().Dest == TDest::ListTable) {
        switch (Kw.Kind) {
        case TRtfKw::List:
            FListTable.BeginList();
            break;
        case TRtfKw::ListLevel:
            FListTable.BeginLevel();
            break;
        case TRtfKw::LevelNfc:
            FListTable.SetNfc(v);
            break;
        case TRtfKw::LevelStartAt:
            FListTable.SetStartAt(v);
            break;
        case TRtfKw::ListId:
            FListTable.SetListId(v);
            break;
        default:
            break;
        }
        return;
    }
    switch (Kw.Kind) {
    case TRtfKw::ListOverride:
        FListTable.BeginOverride();
        break;
    case TRtfKw::ListId:
        FListTable.SetOverrideListId(v);
        break;
    case TRtfKw::Ls:
        FListTable.SetOverrideLs(v);
        break;
    default:
        break;
    }
}

// The list that a paragraph with P is an item of, made when it is the first.
// Rich-edit lists run while their paragraphs follow each other; lists of the
// list table run through the document, as word processors number them.
QTextList* TRtfReader::ListOf(const TParaState& P) {
    constexpr size_t kMaxLsLists = 4096;
    const auto make = [&](QTextListFormat::Style Style, int Level, int Start) {
        QTextListFormat f;
        f.setStyle(Style);
        f.setIndent(Level + 1);
        f.setProperty(TextFormats::kListStart, Start);
        return f;
    };
    // The rich-edit form says exactly how the number looks.
    const auto pnFormat = [&](int Level) {
        QTextListFormat f = make(QTextListFormat::Style(P.Pn), Level, P.PnStart);
        if (P.PnBefore)
            f.setNumberPrefix(QString(QChar(P.PnBefore)));
        f.setNumberSuffix(P.PnAfter ? QString(QChar(P.PnAfter)) : QString());
        return f;
    };
    if (P.Ls > 0) {
        const int level = std::max<int>(P.Ilvl, 0);
        if (const TRtfListLevel* l = FListTable.Level(P.Ls, level); l && l->Numbered) {
            const int64_t key = int64_t(P.Ls) * 16 + level;
            if (const auto it = FLsLists.find(key); it != FLsLists.end() && it->second)
                return it->second;
            if (FLsLists.size() >= kMaxLsLists)
                return nullptr;
            QTextListFormat f = P.Pn ? pnFormat(level) : make(l->Style, level, l->Start);
            if (!P.Pn)
                f.setNumberSuffix(QStringLiteral("."));
            QTextList* list = FCur.createList(f);
            FLsLists[key] = list;
            return list;
        }
    }
    if (P.Pn == 0) {
        if (!P.PnCont)
            FPnLists.fill(nullptr);
        return nullptr;
    }
    const int level = P.PnLevel >= 0 ? P.PnLevel : P.Ilvl >= 0 ? P.Ilvl : LevelOfListIndent(P.Li);
    const auto style = QTextListFormat::Style(P.Pn);
    // A deeper list starts over under each item of this one.
    std::fill(FPnLists.begin() + level + 1, FPnLists.end(), nullptr);
    QPointer<QTextList>& list = FPnLists[size_t(level)];
    if (list && list->format().style() == style)
        return list;
    list = FCur.createList(pnFormat(level));
    return list;
}

void TRtfReader::CellDefKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
    TRtfRowDef& d = FRowDef;
    switch (Kw.Kind) {
    case TRtfKw::TRowD:
        d = TRtfRowDef{};
        break;
    case TRtfKw::TrLeft:
        d.Left = std::clamp<int32_t>(HasParam ? Param : 0, -kMaxIndentTwips, kMaxIndentTwips);
        break;
    case TRtfKw::ClMgf:
        d.Next.HMerge = mgFirst;
        break;
    case TRtfKw::ClMrg:
        d.Next.HMerge = mgNext;
        break;
    case TRtfKw::ClVmgf:
        d.Next.VMerge = mgFirst;
        break;
    case TRtfKw::ClVmrg:
        d.Next.VMerge = mgNext;
        break;
    case TRtfKw::CellX:
        if (d.Cells.size() < size_t(kRtfMaxColumns)) {
            // Edges stay far from the int bounds, so that steps past them do too.
            d.Next.Right =
                std::clamp<int32_t>(HasParam ? Param : 0, -kMaxTableTwips, kMaxTableTwips);
            d.Cells.push_back(d.Next);
        }
        d.Next = TRtfCellDef{};
        break;
    default:
        break;
    }
}

void TRtfReader::TTableBuilder::AppendRow(int Columns) {
    if (Table) {
        Table->appendRows(1);
        return;
    }
    QTextTableFormat f;
    f.setBorder(1);
    f.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    f.setBorderCollapse(true);
    f.setCellSpacing(0);
    f.setCellPadding(4);
    Table = Cur->insertTable(1, Columns, f);
}

void TRtfReader::TTableBuilder::InsertColumn(int Column) {
    if (!Table)
        return;
    if (Column >= Table->columns())
        Table->appendColumns(1);
    else
        Table->insertColumns(Column, 1);
}

// Content is about to come in a table paragraph: the table, its row and its
// cell are made when they are the first.
void TRtfReader::EnsureCell() {
    if (FCellOpen)
        return;
    if (!FTableOpen) {
        // The paragraph before ends where the table begins.
        FlushText();
        FPendingBreak = false;
        FTableOpen = true;
        FTableStart = FRun.Size();
        FBuilder.Cur = &FCur;
        FBuilder.Table = nullptr;
        FGrid = TRtfTableGrid(FPlain ? nullptr : &FBuilder);
    }
    if (!FRowOpen) {
        FRowOpen = true;
        FCell = 0;
        FGrid.BeginRow(FRowDef);
    } else {
        ++FCell;
    }
    FCellOpen = true;
    FCellBegin = FRun.Size();
    const int column = FGrid.EnterCell(FCell, FCellBegin);
    if (column < 0) {
        // No room of its own: a paragraph of its own in the cell before.
        FPendingBreak = true;
        return;
    }
    MoveToCell(column);
}

void TRtfReader::MoveToCell(int Column) {
    FBlockEmpty = true;
    FBlockParaKnown = false;
    FBlockList = nullptr;
    FPendingBreak = false;
    if (FBuilder.Table) {
        FCur = FBuilder.Table->cellAt(FGrid.Rows() - 1, Column).lastCursorPosition();
    }
}

void TRtfReader::EndCell() {
    EnsureCell();
    FPendingCell = false;
    FlushText();
    if (FPendingBreak) // the cell's last paragraph is empty
        InsertBlockNow();
    FinishBlock();
    int empty = -1; // text only: told by the text's range
    if (FBuilder.Table) {
        const QTextTableCell cell = FBuilder.Table->cellAt(FCur.position());
        empty = cell.firstPosition() == cell.lastPosition();
    }
    FGrid.EndCell(FCell, FRun.Size(), empty);
    FCellOpen = false;
}

void TRtfReader::EndRow() {
    if (FCellOpen)
        EndCell();
    FGrid.EndRow();
    FRowOpen = false;
}

// Content outside the table has come, or the input has ended.
void TRtfReader::CloseTable() {
    if (FRowOpen)
        EndRow();
    if (QTextTable* table = FBuilder.Table) {
        for (const TRtfTableGrid::TSpan& s : FGrid.Spans())
            table->mergeCells(s.Row, s.Column, s.Rows, s.Columns);
        QList<QTextLength> widths;
        for (const int32_t w : FGrid.Widths())
            widths.append(
                w > 0 ? QTextLength(QTextLength::FixedLength, w / TextObjects::kTwipsPerPixel)
                      : QTextLength());
        QTextTableFormat f = table->format();
        f.setColumnWidthConstraints(widths);
        table->setFormat(f);
        FCur = QTextCursor(table->document());
        FCur.setPosition(table->lastPosition() + 1);
        FBuilder.Table = nullptr;
    } else if (FPlain) {
        // The text of the cells as the document holds it: a mark before each
        // cell, and one at the table's end.
        const QString cells = FRun.View().sliced(qsizetype(FTableStart)).toString();
        FRun.SetEnd(FRun.Begin() + FTableStart);
        for (const TRtfTableGrid::TRange& r : FGrid.CellTexts()) {
            FRun.Append(u'\n');
            if (r.End > r.Begin)
                FRun.Append(QStringView(cells).sliced(qsizetype(r.Begin - FTableStart),
                                                      qsizetype(r.End - r.Begin)));
        }
        FRun.Append(u'\n');
    }
    FGrid = TRtfTableGrid{};
    FTableOpen = false;
    FRowOpen = FCellOpen = false;
    FBlockEmpty = true;
    FBlockParaKnown = false;
    FBlockList = nullptr;
    FPendingBreak = false;
}

void TRtfReader::PictureKeyword(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
    const int32_t v = HasParam ? std::max<int32_t>(Param, 0) : 0;
    switch (Kw.Kind) {
    case TRtfKw::PngBlip:
        FPict.Kind = TRtfPicture::pkPng;
        break;
    case TRtfKw::JpegBlip:
        FPict.Kind = TRtfPicture::pkJpeg;
        break;
    case TRtfKw::OtherBlip:
        FPict.Kind = TRtfPicture::pkOther;
        break;
    case TRtfKw::PicW:
        FPict.PicW = v;
        break;
    case TRtfKw::PicH:
        FPict.PicH = v;
        break;
    case TRtfKw::PicWGoal:
        FPict.GoalW = v;
        break;
    case TRtfKw::PicHGoal:
        FPict.GoalH = v;
        break;
    case TRtfKw::PicScaleX:
        FPict.ScaleX = HasParam ? v : 100;
        break;
    case TRtfKw::PicScaleY:
        FPict.ScaleY = HasParam ? v : 100;
        break;
    default:
        break;
    }
}

// The picture's group has ended, or the input has while it was open: one
// object in the text.
void TRtfReader::FinishPicture(bool Closed) {
    const char* start = FStack[FPictDepth - 1].Start;
    QByteArray kept(start, qsizetype(FP - start));
    // A group cut off by the end of the input is closed, so that what is kept
    // of it is a whole group.
    if (!Closed)
        kept.append(QByteArray(qsizetype(FStack.size() - FPictDepth + 1 + size_t(FOverflow)), '}'));
    FPictDepth = 0;
    if (FPict.Kind == TRtfPicture::pkNone)
        FPict.Kind = TRtfPicture::pkOther;
    if (FPlain) {
        EmitChar(0xFFFC);
    } else {
        PrepareText();
        FlushText();
        FCur.insertImage(PictureFormat(FPict, kept, FCur.document()));
    }
    FPict = TRtfPicture{};
}

void TRtfReader::CommitFont() {
    if (!FEntry.Active)
        return;
    const int cp = EntryCodePage();
    TFontEntry e = std::move(FEntry);
    FEntry = TFontEntry{};
    if (FFonts.size() >= size_t(kRtfMaxFonts) && !FFonts.count(e.Num))
        return;
    e.Name.Flush(cp);
    e.AltName.Flush(cp);
    TFont f;
    f.Name = (e.AltName.Text.isEmpty() ? e.Name.Text : e.AltName.Text).trimmed();
    f.CodePage = cp;
    FFonts[e.Num] = std::move(f);
    ++FFontsVersion;
    FFormats.clear();
}

void TRtfReader::CommitColor() {
    if (FColors.size() < size_t(kRtfMaxColors))
        FColors.push_back(FColorSet ? QColor(FRed, FGreen, FBlue) : QColor());
    FRed = FGreen = FBlue = 0;
    FColorSet = false;
    FFormats.clear();
}

int TRtfReader::EntryCodePage() const {
    return FEntry.Cpg > 0 ? FEntry.Cpg : CodePageOfCharset(FEntry.Charset, FAnsiCpg);
}

TFontName* TRtfReader::EntryName() {
    return G().Dest == TDest::FontAltName ? &FEntry.AltName : &FEntry.Name;
}

int TRtfReader::CodePageOf(int32_t Font) const {
    TCodePageMemo& m = FCpMemo;
    if (m.CodePage >= 0 && m.Font == Font && m.Deff == FDeff && m.AnsiCpg == FAnsiCpg &&
        m.FontsVersion == FFontsVersion)
        return m.CodePage;
    const auto it = FFonts.find(Font >= 0 ? Font : FDeff);
    m = {Font, FDeff, FAnsiCpg, FFontsVersion, it == FFonts.end() ? FAnsiCpg : it->second.CodePage};
    return m.CodePage;
}

const QTextCharFormat& TRtfReader::FormatOf(const TCharState& S) {
    // Runs mostly return to a recent format, the last one most of all.
    if (FLastFormat < FFormats.size() && FFormats[FLastFormat].first == S)
        return FFormats[FLastFormat].second;
    for (size_t i = 0; i < FFormats.size(); ++i) {
        if (FFormats[i].first == S) {
            FLastFormat = i;
            return FFormats[i].second;
        }
    }
    QTextCharFormat f;
    const auto font = FFonts.find(S.Font >= 0 ? S.Font : FDeff);
    if (font != FFonts.end() && !font->second.Name.isEmpty())
        f.setFontFamilies(QStringList{font->second.Name});
    f.setFontPointSize(S.HalfPoints / 2.0);
    if (S.Bold)
        f.setFontWeight(QFont::Bold);
    if (S.Italic)
        f.setFontItalic(true);
    if (S.Underline)
        f.setFontUnderline(true);
    if (S.Strike)
        f.setFontStrikeOut(true);
    if (S.Fg >= 0 && size_t(S.Fg) < FColors.size() && FColors[size_t(S.Fg)].isValid())
        f.setForeground(FColors[size_t(S.Fg)]);
    if (S.Bg > 0 && size_t(S.Bg) < FColors.size() && FColors[size_t(S.Bg)].isValid())
        f.setBackground(FColors[size_t(S.Bg)]);
    if (S.Hidden) {
        f.setProperty(TextFormats::kHidden, true);
        if (!S.Underline)
            f.setUnderlineStyle(QTextCharFormat::DotLine);
    }
    if (S.Link >= 0 && size_t(S.Link) < FLinks.size()) {
        f.setAnchor(true);
        f.setAnchorHref(FLinks[size_t(S.Link)]);
    }
    if (S.VAlign == vaSuper)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (S.VAlign == vaSub)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (FFormats.size() >= 64)
        FFormats.clear();
    FFormats.emplace_back(S, f);
    FLastFormat = FFormats.size() - 1;
    return FFormats.back().second;
}

QTextBlockFormat TRtfReader::BlockFormatOf(const TParaState& P) const {
    QTextBlockFormat f;
    // A list item's indent is its list's.
    if (!P.HasList()) {
        if (P.Li)
            f.setLeftMargin(P.Li / TextObjects::kTwipsPerPixel);
        if (P.Fi)
            f.setTextIndent(P.Fi / TextObjects::kTwipsPerPixel);
    }
    if (P.Ri)
        f.setRightMargin(P.Ri / TextObjects::kTwipsPerPixel);
    if (P.Sb)
        f.setTopMargin(P.Sb / TextObjects::kTwipsPerPixel);
    if (P.Sa)
        f.setBottomMargin(P.Sa / TextObjects::kTwipsPerPixel);
    switch (P.Align) {
    case alCenter:
        f.setAlignment(Qt::AlignHCenter);
        break;
    case alRight:
        f.setAlignment(Qt::AlignRight);
        break;
    case alJustify:
        f.setAlignment(Qt::AlignJustify);
        break;
    case alLeft:
        break;
    }
    return f;
}

} // namespace

bool IsRtf(QByteArrayView Data) {
    return Data.startsWith("{\\rtf");
}

bool ReadRtf(QByteArrayView Data, QTextDocument& Doc) {
    if (!IsRtf(Data))
        return false;
    const bool undo = Doc.isUndoRedoEnabled();
    Doc.setUndoRedoEnabled(false);
    Doc.clear();
    {
        TRtfReader reader(Data, Doc);
        reader.Run();
    }
    Doc.setUndoRedoEnabled(undo);
    return true;
}

void BreaksAsNewlines(QString& Text) {
    for (QChar& c : Text)
        if (c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1)
            c = u'\n';
}

QString DocumentText(const QTextDocument& Doc) {
    QString s = Doc.toRawText();
    BreaksAsNewlines(s);
    return s;
}

QString RtfPlainText(QByteArrayView Data) {
    TRtfText text;
    RtfPlainText(Data, text);
    return text.Take();
}

void RtfPlainText(QByteArrayView Data, TRtfText& Out) {
    Out.Clear();
    if (!IsRtf(Data))
        return;
    TRtfReader reader(Data, Out);
    reader.Run();
}
