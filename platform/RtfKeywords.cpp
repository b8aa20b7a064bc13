#include "RtfKeywords.h"

#include <unordered_map>

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
    {"row", {K::Row}}, {"nestrow", {K::Row}},
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
    "aftncn", "aftnsep", "aftnsepc", "annotation", "atnauthor", "atndate", "atnicn", "atnid",
    "atnparent", "atnref", "atntime", "author", "bkmkend", "bkmkstart", "buptim", "category",
    "colorschememapping", "comment", "company", "creatim", "datafield", "datastore", "docvar",
    "doccomm", "fldinst", "filetbl", "fontemb", "fontfile", "footer", "footerf", "footerl",
    "footerr", "footnote", "ftncn", "ftnsep", "ftnsepc", "generator", "header", "headerf",
    "headerl", "headerr", "info", "keywords", "latentstyles", "listoverridetable",
    "listpicture", "listtable", "manager", "mmathPr", "nonshppict", "objalias", "objclass",
    "objdata", "objname", "objsect", "objtime", "operator", "passwordhash", "pgdsctbl", "pict",
    "pn", "pnseclvl", "printim", "private", "protusertbl", "revtbl", "revtim", "rsidtbl", "rxe",
    "shpinst", "sn", "sp", "stylesheet", "subject", "sv", "tc", "template", "themedata", "title",
    "txe", "userprops", "wgrffmtfilter", "xe", "xmlnstbl",
};
// clang-format on

const std::unordered_map<std::string_view, TRtfKeyword>& Table() {
    static const auto table = [] {
        std::unordered_map<std::string_view, TRtfKeyword> t;
        for (const TEntry& e : kEntries)
            t.emplace(e.Word, e.Keyword);
        for (std::string_view w : kSkipped)
            t.emplace(w, TRtfKeyword{K::SkipDest});
        return t;
    }();
    return table;
}

} // namespace

TRtfKeyword LookupRtfKeyword(std::string_view Word) {
    const auto& t = Table();
    const auto it = t.find(Word);
    return it == t.end() ? TRtfKeyword{} : it->second;
}
