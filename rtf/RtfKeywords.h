#pragma once
// The RTF control words the reader acts on. Every other word is ignored.

#include <string_view>

enum class TRtfKw : unsigned char {
    Unknown,
    // document
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    Uc,
    U,
    Bin,
    // destinations with a meaning of their own
    FontTbl,
    ColorTbl,
    FName,
    Object,
    Result,
    Upr,
    Ud,
    SkipDest, // a destination whose content is never shown
    // groups kept whole and shown as marks: their words are the user's
    Header,   // \header, \headerl, \headerr, \headerf
    Footer,   // \footer, \footerl, \footerr, \footerf
    Footnote, // \footnote; with \ftnalt, an endnote
    FtnAlt,
    Annotation, // a comment's text
    NoteMeta,   // a comment's author, id, date, and its range's ends
    // fields
    Field,
    FldInst,
    // pictures
    Pict,
    ShpPict,
    PngBlip,
    JpegBlip,
    OtherBlip, // metafiles and bitmaps, kept as they are
    PicW,
    PicH,
    PicWGoal,
    PicHGoal,
    PicScaleX,
    PicScaleY,
    // font and colour tables
    F,
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    // character formatting
    Plain,
    B,
    I,
    Ul,
    UlNone,
    Strike,
    StrikeD,
    Fs,
    Cf,
    Cb,
    Highlight,
    Super,
    Sub,
    NoSuperSub,
    // paragraph formatting and breaks
    Pard,
    Ql,
    Qc,
    Qr,
    Qj,
    Par,
    Line,
    Tab,
    Cell,
    Row,
    NestCell,
    NestRow,
    NestTableProps, // a nested row's definition: skipped, but it ends the row
    // paragraph indents and spacing, in twips
    Li,
    Ri,
    Fi,
    Sb,
    Sa,
    // tables
    InTbl,
    Itap,
    TRowD,
    TrLeft,
    CellX,
    ClMgf,
    ClMrg,
    ClVmgf,
    ClVmrg,
    // lists: the rich-edit form
    Pn,
    PnLvlBlt,
    PnLvlBody,
    PnLvl,
    PnLvlCont,
    PnDec,
    PnUcLtr,
    PnLcLtr,
    PnUcRm,
    PnLcRm,
    PnStart,
    PnTxtB,
    PnTxtA,
    // lists: the word-processor form
    ListTable,
    List,
    ListLevel,
    LevelNfc,
    LevelStartAt,
    ListId,
    ListOverrideTable,
    ListOverride,
    Ls,
    Ilvl,
    // hidden text
    V,
    // characters by name
    Symbol,
};

// How a control word acts, as the tokenizer tells it to its listener.
enum class TRtfWordClass : unsigned char {
    Flag,        // sets a property, on unless its parameter is 0 (also unknown words)
    Value,       // sets a property to its parameter
    Destination, // says what the rest of its group is
    Symbol,      // stands for a character or a break in the text
};

struct TRtfKeyword {
    TRtfKw Kind = TRtfKw::Unknown;
    char16_t Char = 0; // the character of a named symbol
};

TRtfWordClass RtfWordClass(TRtfKw Kind);

// Looks a control word up by its letters.
TRtfKeyword LookupRtfKeyword(std::string_view Word);
