#include "RtfKeywords.h"

#include <array>
#include <cstddef>

namespace {

using K = TRtfKw;

struct TEntry {
    std::string_view Word;
    TRtfKeyword Keyword;
};

// clang-format off
const TEntry kEntries[] = {
    {"ansi", {K::Ansi}}, {"mac", {K::Mac}}, {"pc", {K::Pc}}, {"pca", {K::Pca}},
    {"ansicpg", {K::AnsiCpg}}, {"deff", {K::Deff}}, {"uc", {K::Uc}}, {"u", {K::U}},
    {"bin", {K::Bin}},
    {"fonttbl", {K::FontTbl}}, {"colortbl", {K::ColorTbl}}, {"fname", {K::FName}},
    {"object", {K::Object}}, {"result", {K::Result}}, {"upr", {K::Upr}}, {"ud", {K::Ud}},
    {"field", {K::Field}}, {"fldinst", {K::FldInst}},
    {"pict", {K::Pict}}, {"shppict", {K::ShpPict}}, {"pngblip", {K::PngBlip}},
    {"jpegblip", {K::JpegBlip}}, {"emfblip", {K::OtherBlip}}, {"wmetafile", {K::OtherBlip}},
    {"dibitmap", {K::OtherBlip}}, {"wbitmap", {K::OtherBlip}}, {"macpict", {K::OtherBlip}},
    {"pmmetafile", {K::OtherBlip}}, {"picw", {K::PicW}}, {"pich", {K::PicH}},
    {"picwgoal", {K::PicWGoal}}, {"pichgoal", {K::PicHGoal}}, {"picscalex", {K::PicScaleX}},
    {"picscaley", {K::PicScaleY}},
    {"f", {K::F}}, {"fcharset", {K::FCharset}}, {"cpg", {K::Cpg}},
    {"red", {K::Red}}, {"green", {K::Green}}, {"blue", {K::Blue}},
    {"plain", {K::Plain}}, {"b", {K::B}}, {"i", {K::I}},
    {"ul", {K::Ul}}, {"uld", {K::Ul}}, {"uldash", {K::Ul}}, {"uldashd", {K::Ul}},
    {"uldashdd", {K::Ul}}, {"uldb", {K::Ul}}, {"ulhwave", {K::Ul}}, {"ulldash", {K::Ul}},
    {"ulth", {K::Ul}}, {"ulthd", {K::Ul}}, {"ulthdash", {K::Ul}}, {"ulthdashd", {K::Ul}},
    {"ulthdashdd", {K::Ul}}, {"ulthldash", {K::Ul}}, {"ululdbwave", {K::Ul}}, {"ulw", {K::Ul}},
    {"ulwave", {K::Ul}}, {"ulnone", {K::UlNone}},
    {"strike", {K::Strike}}, {"striked", {K::StrikeD}}, {"fs", {K::Fs}}, {"cf", {K::Cf}},
    {"cb", {K::Cb}}, {"chcbpat", {K::Cb}}, {"highlight", {K::Highlight}},
    {"super", {K::Super}}, {"sub", {K::Sub}}, {"nosupersub", {K::NoSuperSub}},
    {"pard", {K::Pard}}, {"ql", {K::Ql}}, {"qc", {K::Qc}}, {"qr", {K::Qr}}, {"qj", {K::Qj}},
    {"qd", {K::Qj}},
    {"par", {K::Par}}, {"page", {K::Par}}, {"sect", {K::Par}}, {"line", {K::Line}},
    {"lbr", {K::Line}}, {"tab", {K::Tab}}, {"cell", {K::Cell}}, {"nestcell", {K::Cell}},
    {"row", {K::Row}}, {"nestrow", {K::NestRow}},
    {"nesttableprops", {K::NestTableProps}},
    {"li", {K::Li}}, {"lin", {K::Li}}, {"ri", {K::Ri}}, {"rin", {K::Ri}}, {"fi", {K::Fi}},
    {"sb", {K::Sb}}, {"sa", {K::Sa}},
    {"intbl", {K::InTbl}}, {"itap", {K::Itap}}, {"trowd", {K::TRowD}}, {"trleft", {K::TrLeft}},
    {"cellx", {K::CellX}}, {"clmgf", {K::ClMgf}}, {"clmrg", {K::ClMrg}},
    {"clvmgf", {K::ClVmgf}}, {"clvmrg", {K::ClVmrg}},
    {"pn", {K::Pn}}, {"pnlvlblt", {K::PnLvlBlt}}, {"pnlvlbody", {K::PnLvlBody}},
    {"pnlvl", {K::PnLvl}}, {"pnlvlcont", {K::PnLvlCont}}, {"pndec", {K::PnDec}},
    {"pnucltr", {K::PnUcLtr}}, {"pnlcltr", {K::PnLcLtr}}, {"pnucrm", {K::PnUcRm}},
    {"pnlcrm", {K::PnLcRm}}, {"pnstart", {K::PnStart}}, {"pntxtb", {K::PnTxtB}},
    {"pntxta", {K::PnTxtA}},
    {"listtable", {K::ListTable}}, {"list", {K::List}}, {"listlevel", {K::ListLevel}},
    {"levelnfc", {K::LevelNfc}}, {"levelnfcn", {K::LevelNfc}},
    {"levelstartat", {K::LevelStartAt}}, {"listid", {K::ListId}},
    {"listoverridetable", {K::ListOverrideTable}}, {"listoverride", {K::ListOverride}},
    {"ls", {K::Ls}}, {"ilvl", {K::Ilvl}},
    {"v", {K::V}},
    {"header", {K::Header}}, {"headerl", {K::Header}}, {"headerr", {K::Header}},
    {"headerf", {K::Header}}, {"footer", {K::Footer}}, {"footerl", {K::Footer}},
    {"footerr", {K::Footer}}, {"footerf", {K::Footer}}, {"footnote", {K::Footnote}},
    {"ftnalt", {K::FtnAlt}}, {"annotation", {K::Annotation}}, {"atnid", {K::NoteMeta}},
    {"atnauthor", {K::NoteMeta}}, {"atrfstart", {K::NoteMeta}}, {"atrfend", {K::NoteMeta}},
    {"atndate", {K::NoteMeta}}, {"atntime", {K::NoteMeta}}, {"atnref", {K::NoteMeta}},
    {"atnparent", {K::NoteMeta}}, {"atnicn", {K::NoteMeta}},
    {"emdash", {K::Symbol, 0x2014}}, {"endash", {K::Symbol, 0x2013}},
    {"emspace", {K::Symbol, 0x2003}}, {"enspace", {K::Symbol, 0x2002}},
    {"qmspace", {K::Symbol, 0x2005}}, {"bullet", {K::Symbol, 0x2022}},
    {"lquote", {K::Symbol, 0x2018}}, {"rquote", {K::Symbol, 0x2019}},
    {"ldblquote", {K::Symbol, 0x201C}}, {"rdblquote", {K::Symbol, 0x201D}},
    {"zwj", {K::Symbol, 0x200D}}, {"zwnj", {K::Symbol, 0x200C}},
    {"zwbo", {K::Symbol, 0x200B}}, {"ltrmark", {K::Symbol, 0x200E}},
    {"rtlmark", {K::Symbol, 0x200F}},
};

// Destinations whose content is not part of the visible text.
const std::string_view kSkipped[] = {
    "aftncn", "aftnsep", "aftnsepc", "author", "bkmkend", "bkmkstart", "buptim", "category",
    "colorschememapping", "comment", "company", "creatim", "datafield", "datastore", "docvar",
    "doccomm", "filetbl", "fontemb", "fontfile", "ftncn", "ftnsep", "ftnsepc", "generator", "info", "keywords", "latentstyles",
    "listpicture", "listtext", "manager", "mmathPr", "nonshppict", "objalias", "objclass",
    "nonesttables", "objdata", "objname", "objsect", "objtime", "operator", "passwordhash",
    "pgdsctbl", "pnseclvl", "pntext", "printim", "private", "protusertbl", "revtbl", "revtim", "rsidtbl", "rxe",
    "shpinst", "sn", "sp", "stylesheet", "subject", "sv", "tc", "template", "themedata", "title",
    "txe", "userprops", "wgrffmtfilter", "xe", "xmlnstbl",
};
// clang-format on

// Words are looked up once per control word, so the table is open-addressed
// on a hash of a few letters instead of hashing the whole word.
constexpr size_t kSlots = 512;

// Words are short: a loop beats a call to memcmp.
bool SameWord(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (A[i] != B[i])
            return false;
    return true;
}

size_t SlotOf(std::string_view W) {
    const size_t n = W.size();
    const auto c = [&](size_t i) { return size_t(static_cast<unsigned char>(W[i])); };
    return (n * 97 + c(0) * 31 + c(n - 1) * 7 + c(n / 2) * 3 + c((n - 1) / 3)) & (kSlots - 1);
}

struct TTable {
    std::array<TEntry, kSlots> Slots{}; // an empty Word marks a free slot

    TTable() {
        for (const TEntry& e : kEntries)
            Add(e);
        for (std::string_view w : kSkipped)
            Add({w, TRtfKeyword{K::SkipDest}});
    }
    void Add(const TEntry& E) {
        size_t i = SlotOf(E.Word);
        while (!Slots[i].Word.empty() && Slots[i].Word != E.Word)
            i = (i + 1) & (kSlots - 1);
        if (Slots[i].Word.empty()) // the first entry of a word wins, as in a map
            Slots[i] = E;
    }
};

const TTable& Table() {
    static const TTable table;
    return table;
}

} // namespace

TRtfKeyword LookupRtfKeyword(std::string_view Word) {
    if (Word.empty())
        return {};
    const TTable& t = Table();
    for (size_t i = SlotOf(Word);; i = (i + 1) & (kSlots - 1)) {
        const TEntry& e = t.Slots[i];
        if (e.Word.empty())
            return {};
        if (SameWord(e.Word, Word))
            return e.Keyword;
    }
}

TRtfWordClass RtfWordClass(TRtfKw Kind) {
    using C = TRtfWordClass;
    switch (Kind) {
    case K::FontTbl:
    case K::ColorTbl:
    case K::FName:
    case K::Object:
    case K::Result:
    case K::Upr:
    case K::Ud:
    case K::SkipDest:
    case K::Header:
    case K::Footer:
    case K::Footnote:
    case K::Annotation:
    case K::NoteMeta:
    case K::Field:
    case K::FldInst:
    case K::Pict:
    case K::ShpPict:
    case K::NestTableProps:
    case K::Pn:
    case K::PnTxtB:
    case K::PnTxtA:
    case K::ListTable:
    case K::List:
    case K::ListLevel:
    case K::ListOverrideTable:
    case K::ListOverride:
        return C::Destination;
    case K::Par:
    case K::Line:
    case K::Tab:
    case K::Cell:
    case K::Row:
    case K::NestCell:
    case K::NestRow:
    case K::Symbol:
        return C::Symbol;
    case K::AnsiCpg:
    case K::Deff:
    case K::Uc:
    case K::U:
    case K::Bin:
    case K::F:
    case K::FCharset:
    case K::Cpg:
    case K::Red:
    case K::Green:
    case K::Blue:
    case K::Fs:
    case K::Cf:
    case K::Cb:
    case K::Highlight:
    case K::Li:
    case K::Ri:
    case K::Fi:
    case K::Sb:
    case K::Sa:
    case K::Itap:
    case K::TrLeft:
    case K::CellX:
    case K::PicW:
    case K::PicH:
    case K::PicWGoal:
    case K::PicHGoal:
    case K::PicScaleX:
    case K::PicScaleY:
    case K::PnLvl:
    case K::PnStart:
    case K::LevelNfc:
    case K::LevelStartAt:
    case K::ListId:
    case K::Ls:
    case K::Ilvl:
        return C::Value;
    default:
        return C::Flag;
    }
}
