#include "RtfParser.h"

#include "AnsiCodePage.h"
#include "RtfCodePage.h"
#include "RtfFields.h"
#include "RtfLists.h"
#include "RtfNotes.h"
#include "RtfPictures.h"
#include "RtfPlainSink.h"
#include "RtfReader.h"
#include "RtfSink.h"
#include "RtfTables.h"
#include "RtfText.h"
#include "RtfTokenizer.h"

#include <QTextListFormat>

#include <algorithm>
#include <cstdint>
#include <string>
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

constexpr int32_t kMaxHalfPoints = 3276; // 1638 points, the rich-edit control's limit
constexpr int32_t kMaxUc = 255;
// Indents and spacing are bounded to 22 inches.
constexpr int32_t kMaxIndentTwips = 31680;
// Cell edges are bounded to about 270 yards.
constexpr int32_t kMaxTableTwips = 1 << 24;

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
    TRtfCharState Char;
    TRtfParaState Para;
    TDest Dest = TDest::Text;
    int32_t Uc = 1;
    const char* Start = nullptr; // the group's '{' in the input
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

int32_t UcOf(bool HasParam, int32_t Param) {
    return HasParam ? std::clamp<int32_t>(Param, 0, kMaxUc) : 1;
}

// The UTF-16 unit of \uN, whose N may be given as a signed 16-bit number.
int32_t UnitOf(int32_t N) {
    return N < 0 ? N + 65536 : N;
}

class TRtfParser {
public:
    TRtfParser(QByteArrayView Data, TRtfSink& Sink)
        : FBegin(Data.data()), FEnd(Data.data() + Data.size()), FSink(&Sink), FRun(&Sink.Run()),
          FBody(&Sink) {
        FStack.reserve(16);
        FStack.emplace_back();
        Sink.Attach(FTables);
    }

    void Run();

    // What the tokenizer finds (RtfTokenizer.h).
    bool Done() const { return FDone; }
    void GroupOpen(const char* At);
    void GroupClose(const char* After);
    void Text(std::string_view Bytes);
    TRtfText* AnsiText();
    void Literal(char C);
    void ControlSymbol(char C);
    void Binary(const char* Data, size_t Size);
    void Flag(const TRtfKeyword& Kw, bool On, bool Optional);
    void Value(const TRtfKeyword& Kw, bool HasParam, int32_t Param, bool Optional);
    void Destination(const TRtfKeyword& Kw, bool Optional);
    void Symbol(const TRtfKeyword& Kw, bool Optional);

private:
    TGroup& G() { return FStack.back(); }

    bool InOtherDestination(const TRtfKeyword& Kw, bool HasParam, int32_t Param, bool Optional);
    bool TextWordSkipped(const TRtfKeyword& Kw, bool Optional);
    void TextByte(char C);
    void TextSpan(std::string_view S);
    size_t SkipFallback(std::string_view Bytes);

    // Text output.
    void PrepareText();
    void AddByte(char C);
    void EmitChar(char16_t C);
    void EmitUnicode(int32_t N);
    void AppendDecoded(QStringView S);
    void FlushBytes();
    void FlushText();
    void Paragraph();
    void BeginBlock();
    void FinishBlock();
    void Finish();

    void PnWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param);
    void CommitPn();
    void PnChar(char16_t C);
    void ListTableWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param);

    // Tables.
    void TableTransition() {
        if (FCapture.Active)
            return;
        if (G().Para.Itap > 0) {
            if (!FCellOpen)
                EnsureCell();
        } else if (FTableOpen) {
            CloseTable();
        }
    }
    void EnsureCell();
    void EndCell();
    void EndRow();
    void CloseTable();
    void CellDefWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param);

    void PictureWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param);
    void FinishPicture(const char* After, bool Closed);
    void AddToInstruction(char16_t C) {
        if (FInst.size() < kRtfMaxFieldInstruction)
            FInst += QChar(C);
    }

    void CommitFont();
    int EntryCodePage() const;
    TFontName* EntryName();
    void CommitColor();
    int CodePageOf(int32_t Font) const;

    const char* const FBegin;
    const char* const FEnd;
    TRtfSink* FSink;
    TRtfText* FRun; // decoded text, all in FRunState
    std::vector<TGroup> FStack;
    int64_t FOverflow = 0; // open groups beyond the depth cap
    bool FDone = false;
    int32_t FSkip = 0;      // \uN fallback characters still to skip
    bool FSkipLead = false; // the fallback's last byte was a double-byte lead

    int FAnsiCpg = CP_WINDOWS_1252;
    TRtfDocTables FTables;
    // The last answer of CodePageOf, asked once per run of text.
    struct TCodePageMemo {
        int32_t Font = 0, Deff = 0;
        int AnsiCpg = 0;
        uint32_t Version = 0;
        int CodePage = -1;
    };
    mutable TCodePageMemo FCpMemo;
    TFontEntry FEntry;
    TRtfPicture FPict;
    QString FInst;         // the instruction of the field being read
    size_t FPictDepth = 0; // the picture's group depth while one is read
    int FRed = 0, FGreen = 0, FBlue = 0;
    bool FColorSet = false;

    std::string FBytes;             // undecoded bytes, in FRunState's code page
    bool FBytesHoldControl = false; // FBytes holds a byte below 0x20
    TRtfCharState FRunState;
    char16_t FHigh = 0; // a high surrogate waiting for its pair

    bool FPendingBreak = false; // a \par whose new paragraph has not begun yet
    bool FPendingCell = false;  // a \cell: a tab, unless the row ends next
    bool FBlockEmpty = true;

    TPnState FPn;

    // The table being read. Cells are counted from 0 in the current row.
    TRtfRowDef FRowDef;
    TRtfTableGrid FGrid;
    bool FTableOpen = false;
    bool FRowOpen = false;  // content has come for the current row
    bool FCellOpen = false; // ... and for the current cell
    int FCell = 0;
    int64_t FTableStart = 0; // where the table's text begins in the run

    // A kept group being read (see RtfNotes.h): its words go to a sink of
    // their own, and the body's text state waits for its end.
    struct TCapture {
        bool Active = false;
        size_t Depth = 0;
        TRtfNoteKind Kind = TRtfNoteKind::Meta;
        const char* Begin = nullptr;
        TRtfText Text;
        TRtfPlainSink Sink{Text, 0};
        TRtfCharState RunState;
        bool PendingBreak = false, PendingCell = false, BlockEmpty = true;
    };
    TCapture FCapture;
    TRtfSink* const FBody;
    // Kept groups read and not placed yet: one object, from the first's '{'
    // to the last's '}'. A comment's parts stand side by side and make one.
    struct TKept {
        bool Pending = false;
        TRtfNoteKind Kind = TRtfNoteKind::Meta;
        QByteArray Bytes;
        const char* End = nullptr; // past the last group's '}' in the input
        QString Words;
    };
    TKept FKept;
    int FFootnotes = 0, FEndnotes = 0;
    void BeginKept(TRtfNoteKind Kind);
    void EndKept(const char* After, int Closing);
    void FlushKept(bool Place = false);
};

void TRtfParser::Run() {
    TokenizeRtf(FBegin, FEnd, *this);
    Finish();
}

void TRtfParser::GroupOpen(const char* At) {
    FSkip = 0;
    FSkipLead = false;
    if (FStack.size() > size_t(kRtfMaxGroupDepth)) {
        ++FOverflow;
        return;
    }
    FStack.push_back(FStack.back());
    FStack.back().Start = At;
}

void TRtfParser::GroupClose(const char* After) {
    FSkip = 0;
    FSkipLead = false;
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
        FinishPicture(After, true);
    if (FCapture.Active && FStack.size() == FCapture.Depth)
        EndKept(After, 0);
    FStack.pop_back();
    // The instruction's group has ended: the field's result is a link when
    // the instruction names one.
    if (dest == TDest::FieldInst && G().Dest != TDest::FieldInst) {
        QString target = HyperlinkTarget(FInst);
        FInst.clear();
        if (!target.isEmpty()) {
            FTables.Links.push_back(std::move(target));
            G().Char.Link = int32_t(FTables.Links.size() - 1);
        }
    }
    if (dest == TDest::FontTable)
        CommitFont();
    else if (dest == TDest::Pn && G().Dest != TDest::Pn && G().Dest != TDest::PnText)
        CommitPn();
    else if (dest == TDest::NestProps && G().Dest == TDest::Text)
        Paragraph();
}

void TRtfParser::Text(std::string_view Bytes) {
    if (G().Dest != TDest::Text || static_cast<unsigned char>(Bytes[0]) < 0x20) {
        if (G().Dest == TDest::Picture) {
            for (const char c : Bytes)
                FPict.AddHex(c);
            return;
        }
        for (const char c : Bytes)
            TextByte(c);
        return;
    }
    // Printable bytes of a \uN fallback are skipped, each as one character.
    const size_t skipped = SkipFallback(Bytes);
    if (skipped < Bytes.size())
        TextSpan(Bytes.substr(skipped));
}

// The run, when text in Windows-1252 may be added to it as it comes.
TRtfText* TRtfParser::AnsiText() {
    if (G().Dest != TDest::Text || FSkip > 0 || FSkipLead)
        return nullptr;
    PrepareText();
    if (!FBytes.empty() || FHigh || CodePageOf(FRunState.Font) != CP_WINDOWS_1252)
        return nullptr;
    return FRun;
}

// The bytes at the front of Bytes that belong to a \uN fallback. Each is one
// character, except that a double-byte lead takes its trail with it, so that
// a fallback never ends between the two.
size_t TRtfParser::SkipFallback(std::string_view Bytes) {
    const int cp = FSkipLead || FSkip > 0 ? CodePageOf(G().Char.Font) : 0;
    size_t n = 0;
    for (; n < Bytes.size(); ++n) {
        if (FSkipLead) {
            FSkipLead = false;
            if (IsTrailByte(cp, Bytes[n])) {
                if (FSkip > 0)
                    --FSkip;
                continue;
            }
        }
        if (FSkip == 0)
            break;
        --FSkip;
        FSkipLead = IsLeadByte(cp, Bytes[n]);
    }
    return n;
}

// Printable text bytes without markup, taken in one go.
void TRtfParser::TextSpan(std::string_view S) {
    PrepareText();
    // Windows-1252 maps byte for byte, and a span holds no control byte.
    if (FBytes.empty() && !FHigh && CodePageOf(FRunState.Font) == CP_WINDOWS_1252)
        FRun->AppendAnsi(S);
    else
        FBytes.append(S);
}

void TRtfParser::TextByte(char C) {
    const auto b = static_cast<unsigned char>(C);
    switch (G().Dest) {
    case TDest::Text:
        if (b < 0x20 && C != '\t')
            return;
        if ((FSkip > 0 || FSkipLead) && SkipFallback(std::string_view(&C, 1)))
            return;
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
void TRtfParser::Literal(char C) {
    switch (G().Dest) {
    case TDest::Text:
        if ((FSkip > 0 || FSkipLead) && SkipFallback(std::string_view(&C, 1)))
            return;
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

void TRtfParser::ControlSymbol(char C) {
    FSkipLead = false;
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

void TRtfParser::Binary(const char* Data, size_t Size) {
    FSkipLead = false;
    if (G().Dest == TDest::Picture)
        FPict.AddBinary(Data, qsizetype(Size));
    if (FSkip > 0)
        --FSkip;
}

// A word in a destination other than the text, where each has words of its
// own; true when it was taken there.
bool TRtfParser::InOtherDestination(const TRtfKeyword& Kw, bool HasParam, int32_t Param,
                                    bool Optional) {
    TGroup& g = G();
    const bool skipsGroup = Optional || Kw.Kind == TRtfKw::SkipDest;
    switch (g.Dest) {
    case TDest::Text:
        return false;
    case TDest::Skip:
    case TDest::NestProps:
        return true;
    case TDest::Object:
        if (Kw.Kind == TRtfKw::Result)
            g.Dest = TDest::Text;
        else if (skipsGroup)
            g.Dest = TDest::Skip;
        return true;
    case TDest::Upr:
        g.Dest = Kw.Kind == TRtfKw::Ud ? TDest::Text : TDest::Skip;
        return true;
    case TDest::Pn:
    case TDest::PnText:
        if (skipsGroup) {
            g.Dest = TDest::Skip;
        } else if (Kw.Kind == TRtfKw::U && HasParam && g.Dest == TDest::PnText) {
            const int32_t n = UnitOf(Param);
            if (n > 0 && n <= 0xFFFF)
                PnChar(char16_t(n));
            FSkip = g.Uc;
        } else if (Kw.Kind == TRtfKw::Uc) {
            g.Uc = UcOf(HasParam, Param);
        } else {
            PnWord(Kw, HasParam, Param);
        }
        return true;
    case TDest::ListTable:
    case TDest::ListOverrideTable:
        ListTableWord(Kw, HasParam, Param);
        return true;
    case TDest::Picture:
        if (skipsGroup)
            g.Dest = TDest::Skip;
        else
            PictureWord(Kw, HasParam, Param);
        return true;
    case TDest::FieldInst:
        if (skipsGroup) {
            g.Dest = TDest::Skip;
        } else if (Kw.Kind == TRtfKw::Uc) {
            g.Uc = UcOf(HasParam, Param);
        } else if (Kw.Kind == TRtfKw::U && HasParam) {
            const int32_t n = UnitOf(Param);
            if (n > 0 && n <= 0xFFFF)
                AddToInstruction(char16_t(n));
            FSkip = g.Uc;
        }
        return true;
    case TDest::FontTable:
    case TDest::FontAltName:
        if (Kw.Kind == TRtfKw::FName) {
            g.Dest = TDest::FontAltName;
        } else if (skipsGroup) {
            g.Dest = TDest::Skip;
        } else if (Kw.Kind == TRtfKw::F && HasParam) {
            CommitFont();
            FEntry.Active = true;
            FEntry.Num = Param;
        } else if (Kw.Kind == TRtfKw::FCharset) {
            FEntry.Charset = Param;
        } else if (Kw.Kind == TRtfKw::Cpg) {
            FEntry.Cpg = Param;
        } else if (Kw.Kind == TRtfKw::Uc) {
            g.Uc = UcOf(HasParam, Param);
        } else if (Kw.Kind == TRtfKw::U && HasParam) {
            TFontName* name = EntryName();
            name->Flush(EntryCodePage());
            const int32_t n = UnitOf(Param);
            if (!name->Full() && n > 0 && n <= 0xFFFF)
                name->Text.append(QChar(char16_t(n)));
            FSkip = g.Uc;
        }
        return true;
    case TDest::ColorTable: {
        const int v = std::clamp<int32_t>(Param, 0, 255);
        if (Kw.Kind == TRtfKw::Red)
            FRed = v;
        else if (Kw.Kind == TRtfKw::Green)
            FGreen = v;
        else if (Kw.Kind == TRtfKw::Blue)
            FBlue = v;
        else
            return true;
        FColorSet = true;
        return true;
    }
    }
    return true;
}

// A word in the text that is not acted on: an optional destination this
// reader does not know, or a character of a \uN fallback.
bool TRtfParser::TextWordSkipped(const TRtfKeyword& Kw, bool Optional) {
    FSkipLead = false;
    if (Optional && Kw.Kind == TRtfKw::NestTableProps) {
        G().Dest = TDest::NestProps;
        return true;
    }
    const bool known = Kw.Kind == TRtfKw::ShpPict || Kw.Kind == TRtfKw::FldInst ||
                       Kw.Kind == TRtfKw::Pn || Kw.Kind == TRtfKw::ListTable ||
                       Kw.Kind == TRtfKw::ListOverrideTable || Kw.Kind == TRtfKw::Header ||
                       Kw.Kind == TRtfKw::Footer || Kw.Kind == TRtfKw::Footnote ||
                       Kw.Kind == TRtfKw::Annotation || Kw.Kind == TRtfKw::NoteMeta;
    if (Optional && !known) {
        G().Dest = TDest::Skip;
        return true;
    }
    if (FSkip > 0) {
        --FSkip;
        return true;
    }
    return false;
}

void TRtfParser::Flag(const TRtfKeyword& Kw, bool On, bool Optional) {
    if (InOtherDestination(Kw, false, 0, Optional) || TextWordSkipped(Kw, Optional))
        return;
    TGroup& g = G();
    TRtfCharState& ch = g.Char;
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
    case TRtfKw::Plain: {
        // A field's result stays a link through a reset of the format.
        const int32_t link = ch.Link;
        ch = TRtfCharState{};
        ch.Link = link;
        break;
    }
    case TRtfKw::B:
        ch.Bold = On;
        break;
    case TRtfKw::I:
        ch.Italic = On;
        break;
    case TRtfKw::Ul:
        ch.Underline = On;
        break;
    case TRtfKw::UlNone:
        ch.Underline = false;
        break;
    case TRtfKw::Strike:
    case TRtfKw::StrikeD:
        ch.Strike = On;
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
        ch.Hidden = On;
        break;
    case TRtfKw::FtnAlt:
        if (FCapture.Active && FCapture.Kind == TRtfNoteKind::Footnote)
            FCapture.Kind = TRtfNoteKind::Endnote;
        break;
    case TRtfKw::Pard:
        g.Para = TRtfParaState{};
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
    case TRtfKw::InTbl:
        g.Para.Itap = std::max<int8_t>(g.Para.Itap, 1);
        break;
    case TRtfKw::TRowD:
    case TRtfKw::ClMgf:
    case TRtfKw::ClMrg:
    case TRtfKw::ClVmgf:
    case TRtfKw::ClVmrg:
        CellDefWord(Kw, false, 0);
        break;
    default:
        break;
    }
}

void TRtfParser::Value(const TRtfKeyword& Kw, bool HasParam, int32_t Param, bool Optional) {
    if (InOtherDestination(Kw, HasParam, Param, Optional) || TextWordSkipped(Kw, Optional))
        return;
    TGroup& g = G();
    TRtfCharState& ch = g.Char;
    switch (Kw.Kind) {
    case TRtfKw::AnsiCpg:
        if (HasParam && Param > 0)
            FAnsiCpg = Param;
        break;
    case TRtfKw::Deff:
        if (HasParam) {
            FTables.Deff = Param;
            ++FTables.Version;
        }
        break;
    case TRtfKw::Uc:
        g.Uc = UcOf(HasParam, Param);
        break;
    case TRtfKw::U:
        if (HasParam) {
            EmitUnicode(Param);
            FSkip = g.Uc;
        }
        break;
    case TRtfKw::F:
        if (HasParam)
            ch.Font = Param;
        break;
    case TRtfKw::Fs:
        ch.HalfPoints =
            HasParam && Param > 0 ? std::min(Param, kMaxHalfPoints) : kRtfDefaultHalfPoints;
        break;
    case TRtfKw::Cf:
        ch.Fg = HasParam ? std::max<int32_t>(Param, 0) : 0;
        break;
    case TRtfKw::Cb:
    case TRtfKw::Highlight:
        ch.Bg = HasParam ? std::max<int32_t>(Param, 0) : 0;
        break;
    case TRtfKw::Li:
    case TRtfKw::Ri:
    case TRtfKw::Fi:
    case TRtfKw::Sb:
    case TRtfKw::Sa: {
        const bool spacing = Kw.Kind == TRtfKw::Sb || Kw.Kind == TRtfKw::Sa;
        const int32_t v = std::clamp<int32_t>(HasParam ? Param : 0, spacing ? 0 : -kMaxIndentTwips,
                                              kMaxIndentTwips);
        TRtfParaState& pa = g.Para;
        (Kw.Kind == TRtfKw::Li   ? pa.Li
         : Kw.Kind == TRtfKw::Ri ? pa.Ri
         : Kw.Kind == TRtfKw::Fi ? pa.Fi
         : Kw.Kind == TRtfKw::Sb ? pa.Sb
                                 : pa.Sa) = v;
        break;
    }
    case TRtfKw::Ls:
        g.Para.Ls = HasParam ? std::max<int32_t>(Param, 0) : 0;
        break;
    case TRtfKw::Ilvl:
        g.Para.Ilvl = int8_t(std::clamp<int32_t>(HasParam ? Param : 0, 0, kRtfMaxListLevel));
        break;
    case TRtfKw::Itap:
        g.Para.Itap = int8_t(std::clamp<int32_t>(HasParam ? Param : 1, 0, 100));
        break;
    case TRtfKw::TrLeft:
    case TRtfKw::CellX:
        CellDefWord(Kw, HasParam, Param);
        break;
    default:
        break;
    }
}

void TRtfParser::Destination(const TRtfKeyword& Kw, bool Optional) {
    if (InOtherDestination(Kw, false, 0, Optional) || TextWordSkipped(Kw, Optional))
        return;
    TGroup& g = G();
    switch (Kw.Kind) {
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
    case TRtfKw::Header:
        BeginKept(TRtfNoteKind::Header);
        break;
    case TRtfKw::Footer:
        BeginKept(TRtfNoteKind::Footer);
        break;
    case TRtfKw::Footnote:
        BeginKept(TRtfNoteKind::Footnote);
        break;
    case TRtfKw::Annotation:
        BeginKept(TRtfNoteKind::Comment);
        break;
    case TRtfKw::NoteMeta:
        BeginKept(TRtfNoteKind::Meta);
        break;
    default:
        break;
    }
}

void TRtfParser::Symbol(const TRtfKeyword& Kw, bool Optional) {
    if (InOtherDestination(Kw, false, 0, Optional) || TextWordSkipped(Kw, Optional))
        return;
    const TGroup& g = G();
    if (FCapture.Active) {
        // A kept group's words are read without its tables.
        if (Kw.Kind == TRtfKw::Cell || Kw.Kind == TRtfKw::NestCell) {
            FPendingCell = true;
            return;
        }
        if (Kw.Kind == TRtfKw::Row || Kw.Kind == TRtfKw::NestRow) {
            Paragraph();
            return;
        }
    }
    switch (Kw.Kind) {
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
void TRtfParser::PrepareText() {
    TableTransition();
    if (FPendingBreak)
        BeginBlock();
    const TRtfCharState& s = G().Char;
    if (!(s == FRunState)) {
        // A format word between a double-byte lead and its trail does not
        // part them: the lead waits for its trail in the new run.
        const int cp = FBytes.empty() ? 0 : CodePageOf(FRunState.Font);
        const bool carry = cp && EndsInLeadByte(cp, FBytes) && CodePageOf(s.Font) == cp;
        const char lead = carry ? FBytes.back() : 0;
        if (carry)
            FBytes.pop_back();
        FlushText();
        FRunState = s;
        if (carry)
            FBytes.push_back(lead);
    }
    if (FPendingCell) {
        FPendingCell = false;
        FlushBytes();
        FRun->Append(u'\t');
    }
    FlushKept();
    FBlockEmpty = false;
}

void TRtfParser::AddByte(char C) {
    PrepareText();
    // Windows-1252 maps byte for byte: a byte that waits for no other is
    // decoded at once (mostly an accented letter given as \'hh).
    if (FBytes.empty() && !FHigh && static_cast<unsigned char>(C) >= 0x20 &&
        CodePageOf(FRunState.Font) == CP_WINDOWS_1252) {
        FRun->Append(UnicodeOfAnsiByte(C));
        return;
    }
    FBytes.push_back(C);
    if (static_cast<unsigned char>(C) < 0x20)
        FBytesHoldControl = true;
}

void TRtfParser::EmitChar(char16_t C) {
    PrepareText();
    FlushBytes();
    const char16_t c = C;
    AppendDecoded(QStringView(&c, 1));
}

void TRtfParser::EmitUnicode(int32_t N) {
    N = UnitOf(N);
    char16_t c = (N < 0 || N > 0xFFFF) ? char16_t(0xFFFD) : char16_t(N);
    PrepareText();
    FlushBytes();
    if (QChar::isHighSurrogate(c)) {
        if (FHigh)
            FRun->Append(0xFFFD);
        FHigh = c;
        return;
    }
    if (QChar::isLowSurrogate(c)) {
        if (FHigh) {
            FRun->Append(FHigh);
            FRun->Append(c);
            FHigh = 0;
            return;
        }
        c = 0xFFFD;
    }
    AppendDecoded(QStringView(&c, 1));
}

// Adds decoded text to the run. Paragraph marks inside it start paragraphs; a
// vertical tab is the rich-edit control's line break.
void TRtfParser::AppendDecoded(QStringView S) {
    FSink->NoteDecoded();
    if (FHigh) {
        FRun->Append(0xFFFD);
        FHigh = 0;
    }
    qsizetype from = 0;
    for (qsizetype i = 0; i < S.size(); ++i) {
        const char16_t c = S[i].unicode();
        if (c != u'\r' && c != u'\n' && c != 0x2029 && c != 0x0B && c != 0)
            continue;
        FRun->Append(S.mid(from, i - from));
        from = i + 1;
        if (c == 0x0B) {
            FRun->Append(0x2028);
        } else if (c != 0) {
            if (c == u'\r' && i + 1 < S.size() && S[i + 1] == u'\n')
                from = ++i + 1;
            FSink->EndRun(FRunState);
            FinishBlock();
            BeginBlock();
            FBlockEmpty = false;
        }
    }
    FRun->Append(S.mid(from));
}

void TRtfParser::FlushBytes() {
    if (FBytes.empty())
        return;
    const int cp = CodePageOf(FRunState.Font);
    // Windows-1252 maps byte for byte: only control bytes need AppendDecoded.
    const bool control = FBytesHoldControl;
    FBytesHoldControl = false;
    if (cp == CP_WINDOWS_1252 && !FHigh && !control) {
        FRun->AppendAnsi(FBytes);
        FBytes.clear();
        return;
    }
    const QString s = DecodeCodePage(cp, FBytes);
    FBytes.clear();
    AppendDecoded(s);
}

void TRtfParser::FlushText() {
    FlushBytes();
    if (FHigh) {
        FRun->Append(0xFFFD);
        FHigh = 0;
    }
    FSink->EndRun(FRunState);
}

void TRtfParser::Paragraph() {
    TableTransition();
    FPendingCell = false;
    FlushText();
    if (FPendingBreak)
        BeginBlock();
    FlushKept();
    FinishBlock();
    FPendingBreak = true;
}

void TRtfParser::BeginBlock() {
    const TGroup& g = G();
    FSink->BeginBlock(g.Para, g.Char);
    FBlockEmpty = true;
    FPendingBreak = false;
}

// Paragraph properties hold for the paragraph that the next \par ends.
void TRtfParser::FinishBlock() {
    const TGroup& g = G();
    FSink->FinishBlock(g.Para, g.Char, FBlockEmpty);
}

// The document's last \par ends its last paragraph; it does not begin another.
void TRtfParser::Finish() {
    if (FPictDepth > 0)
        FinishPicture(FEnd, false);
    if (FCapture.Active)
        EndKept(FEnd, int(FStack.size() - FCapture.Depth + 1 + size_t(FOverflow)));
    FlushText();
    if (FEntry.Active)
        CommitFont();
    if (FTableOpen)
        CloseTable();
    // A kept group after the last paragraph's end joins that paragraph.
    FlushKept();
    if (!FPendingBreak)
        FinishBlock();
    FSink->End();
}

void TRtfParser::PnWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
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
void TRtfParser::PnChar(char16_t C) {
    char16_t& c = FPn.InAfter ? FPn.After : FPn.Before;
    if (!c)
        c = C;
}

// The \pn group has ended: its numbering is the paragraph's.
void TRtfParser::CommitPn() {
    TRtfParaState& p = G().Para;
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

void TRtfParser::ListTableWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
    const int32_t v = HasParam ? Param : 0;
    TRtfListTable& t = FTables.Lists;
    if (G().Dest == TDest::ListTable) {
        switch (Kw.Kind) {
        case TRtfKw::List:
            t.BeginList();
            break;
        case TRtfKw::ListLevel:
            t.BeginLevel();
            break;
        case TRtfKw::LevelNfc:
            t.SetNfc(v);
            break;
        case TRtfKw::LevelStartAt:
            t.SetStartAt(v);
            break;
        case TRtfKw::ListId:
            t.SetListId(v);
            break;
        default:
            break;
        }
        return;
    }
    switch (Kw.Kind) {
    case TRtfKw::ListOverride:
        t.BeginOverride();
        break;
    case TRtfKw::ListId:
        t.SetOverrideListId(v);
        break;
    case TRtfKw::Ls:
        t.SetOverrideLs(v);
        break;
    default:
        break;
    }
}

void TRtfParser::CellDefWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
    if (FCapture.Active)
        return;
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

// Content is about to come in a table paragraph: the table, its row and its
// cell are made when they are the first.
void TRtfParser::EnsureCell() {
    if (FCellOpen)
        return;
    if (!FTableOpen) {
        // The paragraph before ends where the table begins.
        FlushText();
        FPendingBreak = false;
        FTableOpen = true;
        FTableStart = FRun->Size();
        FGrid = TRtfTableGrid(FSink->BeginTable());
    }
    if (!FRowOpen) {
        FRowOpen = true;
        FCell = 0;
        FGrid.BeginRow(FRowDef);
    } else {
        ++FCell;
    }
    FCellOpen = true;
    const int column = FGrid.EnterCell(FCell, FRun->Size());
    if (column < 0) {
        // No room of its own: a paragraph of its own in the cell before.
        FPendingBreak = true;
        return;
    }
    FBlockEmpty = true;
    FPendingBreak = false;
    FSink->EnterCell(FGrid.Rows() - 1, column);
}

void TRtfParser::EndCell() {
    EnsureCell();
    FPendingCell = false;
    FlushKept();
    FlushText();
    if (FPendingBreak) // the cell's last paragraph is empty
        BeginBlock();
    FinishBlock();
    FGrid.EndCell(FCell, FRun->Size(), FSink->CellEmpty());
    FCellOpen = false;
}

void TRtfParser::EndRow() {
    if (FCellOpen)
        EndCell();
    FGrid.EndRow();
    FRowOpen = false;
}

// Content outside the table has come, or the input has ended.
void TRtfParser::CloseTable() {
    if (FRowOpen)
        EndRow();
    FSink->EndTable(FGrid, FTableStart);
    FGrid = TRtfTableGrid{};
    FTableOpen = false;
    FRowOpen = FCellOpen = false;
    FBlockEmpty = true;
    FPendingBreak = false;
}

void TRtfParser::PictureWord(const TRtfKeyword& Kw, bool HasParam, int32_t Param) {
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

// The picture's group has ended at After, or the input has while it was
// open: one object in the text.
void TRtfParser::FinishPicture(const char* After, bool Closed) {
    const char* start = FStack[FPictDepth - 1].Start;
    QByteArray kept(start, qsizetype(After - start));
    // A group cut off by the end of the input is closed, so that what is kept
    // of it is a whole group.
    if (!Closed)
        kept.append(QByteArray(qsizetype(FStack.size() - FPictDepth + 1 + size_t(FOverflow)), '}'));
    FPictDepth = 0;
    if (FPict.Kind == TRtfPicture::pkNone)
        FPict.Kind = TRtfPicture::pkOther;
    PrepareText();
    FlushText();
    FSink->Picture(FPict, kept);
    FPict = TRtfPicture{};
}

namespace {

// Whether the bytes between two kept groups let them be one object: white
// space, and the marks of a note's or comment's place.
bool Joins(const char* From, const char* To) {
    while (From < To) {
        const char c = *From;
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t') {
            ++From;
            continue;
        }
        const std::string_view rest(From, size_t(To - From));
        if (rest.starts_with("\\chatn"))
            From += 6;
        else if (rest.starts_with("\\chftn"))
            From += 6;
        else
            return false;
        if (From < To && RtfTokens::IsLetter(*From))
            return false;
    }
    return true;
}

} // namespace

// A header, footer, note, comment or one of a comment's parts begins: its
// group is kept whole, and its words are read aside.
void TRtfParser::BeginKept(TRtfNoteKind Kind) {
    TGroup& g = G();
    // Inside another kept group, or a picture, it is part of that one.
    if (FCapture.Active || FPictDepth > 0 || FStack.size() <= 2 || !g.Start) {
        g.Dest = TDest::Skip;
        return;
    }
    // A comment's parts stand together: they make one object while nothing
    // of the page comes between them.
    if (FKept.Pending && Kind != TRtfNoteKind::Meta && FKept.Kind != TRtfNoteKind::Meta)
        FlushKept(true);
    FlushText();
    TCapture& c = FCapture;
    c.Active = true;
    c.Depth = FStack.size();
    c.Kind = Kind;
    c.Begin = g.Start;
    c.Text.Clear();
    c.RunState = FRunState;
    c.PendingBreak = FPendingBreak;
    c.PendingCell = FPendingCell;
    c.BlockEmpty = FBlockEmpty;
    FSink = &c.Sink;
    FRun = &c.Text;
    FPendingBreak = FPendingCell = false;
    FBlockEmpty = true;
    // A comment's author, id and date are not words of the page.
    g.Dest = Kind == TRtfNoteKind::Meta ? TDest::Skip : TDest::Text;
}

// The kept group has ended at After, with Closing '}' missing when the input
// ended inside it.
void TRtfParser::EndKept(const char* After, int Closing) {
    TCapture& c = FCapture;
    FlushText();
    c.Sink.End();
    QString words = c.Text.View().trimmed().toString();
    c.Text.Clear();
    FSink = FBody;
    FRun = &FBody->Run();
    FRunState = c.RunState;
    FPendingBreak = c.PendingBreak;
    FPendingCell = c.PendingCell;
    FBlockEmpty = c.BlockEmpty;
    c.Active = false;
    TKept& k = FKept;
    if (k.Pending) {
        // A comment's parts: the object is the comment. What stands between
        // them is kept when it is only the marks of its place; format words
        // and group marks between them are not, so that the object saved
        // and read again is the same.
        if (c.Kind != TRtfNoteKind::Meta)
            k.Kind = c.Kind;
        if (!words.isEmpty())
            k.Words += k.Words.isEmpty() ? words : u'\n' + words;
        const char* from = Joins(k.End, c.Begin) ? k.End : c.Begin;
        k.Bytes.append(from, qsizetype(After - from));
    } else {
        k.Pending = true;
        k.Kind = c.Kind;
        k.Bytes = QByteArray(c.Begin, qsizetype(After - c.Begin));
        k.Words = std::move(words);
    }
    k.End = After;
    // A group cut off by the end of the input is closed.
    k.Bytes.append(QByteArray(Closing, '}'));
}

// The kept groups read stand here in the text. With Place, here is where
// text would go now: in a table's cell, or in a new paragraph; otherwise the
// caller has found the place.
void TRtfParser::FlushKept(bool Place) {
    if (!FKept.Pending || FCapture.Active)
        return;
    TKept k = std::move(FKept);
    FKept = TKept{};
    if (Place) {
        TableTransition();
        if (FPendingBreak)
            BeginBlock();
    }
    FlushText();
    const int number = k.Kind == TRtfNoteKind::Footnote  ? ++FFootnotes
                       : k.Kind == TRtfNoteKind::Endnote ? ++FEndnotes
                                                         : 0;
    FSink->Kept(k.Kind, number, k.Bytes, k.Words);
    FBlockEmpty = false;
}

void TRtfParser::CommitFont() {
    if (!FEntry.Active)
        return;
    const int cp = EntryCodePage();
    TFontEntry e = std::move(FEntry);
    FEntry = TFontEntry{};
    if (FTables.Fonts.size() >= size_t(kRtfMaxFonts) && !FTables.Fonts.count(e.Num))
        return;
    e.Name.Flush(cp);
    e.AltName.Flush(cp);
    TRtfFont f;
    f.Name = (e.AltName.Text.isEmpty() ? e.Name.Text : e.AltName.Text).trimmed();
    f.CodePage = cp;
    FTables.Fonts[e.Num] = std::move(f);
    ++FTables.Version;
}

void TRtfParser::CommitColor() {
    if (FTables.Colors.size() < size_t(kRtfMaxColors))
        FTables.Colors.push_back(FColorSet ? QColor(FRed, FGreen, FBlue) : QColor());
    FRed = FGreen = FBlue = 0;
    FColorSet = false;
    ++FTables.Version;
}

int TRtfParser::EntryCodePage() const {
    return FEntry.Cpg > 0 ? FEntry.Cpg : CodePageOfCharset(FEntry.Charset, FAnsiCpg);
}

TFontName* TRtfParser::EntryName() {
    return G().Dest == TDest::FontAltName ? &FEntry.AltName : &FEntry.Name;
}

int TRtfParser::CodePageOf(int32_t Font) const {
    TCodePageMemo& m = FCpMemo;
    if (m.CodePage >= 0 && m.Font == Font && m.Deff == FTables.Deff && m.AnsiCpg == FAnsiCpg &&
        m.Version == FTables.Version)
        return m.CodePage;
    const TRtfFont* f = FTables.FontOf(Font);
    m = {Font, FTables.Deff, FAnsiCpg, FTables.Version, f ? f->CodePage : FAnsiCpg};
    return m.CodePage;
}

} // namespace

void ParseRtf(QByteArrayView Data, TRtfSink& Sink) {
    TRtfParser parser(Data, Sink);
    parser.Run();
}
