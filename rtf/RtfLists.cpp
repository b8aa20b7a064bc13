#include "RtfLists.h"

#include "TextFormats.h"

#include <algorithm>
#include <charconv>
#include <string>

void TRtfListTable::BeginList() {
    FInLevel = false;
    if (FLists.size() < size_t(kRtfMaxLists))
        FLists.emplace_back();
    else
        FLists.back() = TList{}; // the last slot is reused and stays harmless
}

void TRtfListTable::BeginLevel() {
    FInLevel = false;
    if (FLists.empty())
        return;
    std::vector<TRtfListLevel>& levels = FLists.back().Levels;
    if (levels.size() <= size_t(kRtfMaxListLevel)) {
        levels.emplace_back();
        FInLevel = true;
    }
}

void TRtfListTable::SetNfc(int32_t Nfc) {
    if (!FInLevel)
        return;
    TRtfListLevel& l = FLists.back().Levels.back();
    l.Numbered = Nfc != 255;
    l.Style = StyleOfLevelNfc(Nfc);
}

void TRtfListTable::SetStartAt(int32_t N) {
    if (FInLevel)
        FLists.back().Levels.back().Start = std::max<int32_t>(N, 0);
}

void TRtfListTable::SetListId(int32_t Id) {
    FInLevel = false;
    if (!FLists.empty())
        FLists.back().Id = Id;
}

void TRtfListTable::BeginOverride() {
    if (FOverrides.size() < size_t(kRtfMaxLists))
        FOverrides.emplace_back();
    else
        FOverrides.back() = TOverride{};
}

void TRtfListTable::SetOverrideListId(int32_t Id) {
    if (!FOverrides.empty())
        FOverrides.back().ListId = Id;
}

void TRtfListTable::SetOverrideLs(int32_t Ls) {
    if (!FOverrides.empty())
        FOverrides.back().Ls = Ls;
}

const TRtfListLevel* TRtfListTable::Level(int32_t Ls, int Ilvl) const {
    const auto o = std::find_if(FOverrides.begin(), FOverrides.end(),
                                [&](const TOverride& x) { return x.Ls == Ls; });
    if (o == FOverrides.end())
        return nullptr;
    const auto l = std::find_if(FLists.begin(), FLists.end(),
                                [&](const TList& x) { return x.Id == o->ListId; });
    if (l == FLists.end() || l->Levels.empty())
        return nullptr;
    const size_t i = size_t(std::clamp(Ilvl, 0, kRtfMaxListLevel));
    return &l->Levels[std::min(i, l->Levels.size() - 1)];
}

QTextListFormat::Style StyleOfLevelNfc(int32_t Nfc) {
    switch (Nfc) {
    case 1:
        return QTextListFormat::ListUpperRoman;
    case 2:
        return QTextListFormat::ListLowerRoman;
    case 3:
        return QTextListFormat::ListUpperAlpha;
    case 4:
        return QTextListFormat::ListLowerAlpha;
    case 23:
    case 255:
        return QTextListFormat::ListDisc;
    default: // decimal and its variants (ordinals, leading zeros, ...)
        return QTextListFormat::ListDecimal;
    }
}

int32_t ListIndentOfLevel(int Level) {
    return 720 * (std::clamp(Level, 0, kRtfMaxListLevel) + 1);
}

int LevelOfListIndent(int32_t Li) {
    return std::clamp((Li + 360) / 720 - 1, 0, kRtfMaxListLevel);
}

namespace {

// The groups are built in a std::string, whose small appends cost less.
void AppendNumber(std::string& Out, int N) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, N);
    Out.append(buf, size_t(r.ptr - buf));
}

QByteArray ToBytes(const std::string& S) {
    return QByteArray(S.data(), qsizetype(S.size()));
}

// Text in a group: ASCII as it is, the rest as \uN.
void AppendText(std::string& Out, QStringView S) {
    for (const QChar c : S) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != '\\' && u != '{' && u != '}') {
            Out += char(u);
        } else {
            Out += "\\u";
            AppendNumber(Out, u > 0x7FFF ? int(u) - 65536 : int(u));
            Out += '?';
        }
    }
}

} // namespace

int ListStart(const QTextListFormat& List) {
    return List.hasProperty(TextFormats::kListStart) ? List.intProperty(TextFormats::kListStart)
                                                     : 1;
}

QString ListMarker(const QTextListFormat& List, int Index) {
    const int n = ListStart(List) + Index;
    QString s;
    switch (List.style()) {
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha: {
        const char16_t a = List.style() == QTextListFormat::ListLowerAlpha ? u'a' : u'A';
        for (int k = n; k > 0; k = (k - 1) / 26)
            s.prepend(QChar(char16_t(a + (k - 1) % 26)));
        break;
    }
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman: {
        static const std::pair<int, const char*> kRoman[] = {
            {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
            {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
        int k = std::clamp(n, 1, 3999);
        for (const auto& [v, r] : kRoman)
            for (; k >= v; k -= v)
                s += QLatin1String(r);
        if (List.style() == QTextListFormat::ListUpperRoman)
            s = s.toUpper();
        break;
    }
    case QTextListFormat::ListDecimal:
        s = QString::number(n);
        break;
    default:
        return QString(QChar(0x2022));
    }
    return List.numberPrefix() + s + List.numberSuffix();
}

namespace {

bool IsBullet(QTextListFormat::Style S) {
    return S == QTextListFormat::ListDisc || S == QTextListFormat::ListCircle ||
           S == QTextListFormat::ListSquare || S == QTextListFormat::ListStyleUndefined;
}

int LevelNfcOf(QTextListFormat::Style S) {
    switch (S) {
    case QTextListFormat::ListDecimal:
        return 0;
    case QTextListFormat::ListUpperRoman:
        return 1;
    case QTextListFormat::ListLowerRoman:
        return 2;
    case QTextListFormat::ListUpperAlpha:
        return 3;
    case QTextListFormat::ListLowerAlpha:
        return 4;
    default:
        return 23;
    }
}

// A \'hh escape of a small count.
void AppendHex2(std::string& Out, int N) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const char s[4] = {'\\', '\'', kDigits[(N >> 4) & 15], kDigits[N & 15]};
    Out.append(s, 4);
}

} // namespace

QByteArray ListTableEntry(const TRtfListLevels& Levels, int Id) {
    std::string out;
    out.reserve(2048);
    out += "{\\list\\listtemplateid";
    AppendNumber(out, Id);
    out += "\\listhybrid";
    // Levels mostly repeat the one above: what a format says is read once.
    QTextListFormat::Style style = QTextListFormat::ListStyleUndefined;
    int start = 1;
    QString prefix, suffix;
    for (int level = 0; level <= kRtfMaxListLevel; ++level) {
        const QTextListFormat& List = Levels[size_t(level)];
        if (level == 0 || !(List == Levels[size_t(level - 1)])) {
            style = List.style();
            start = ListStart(List);
            prefix = List.numberPrefix();
            suffix = List.numberSuffix();
        }
        const int nfc = LevelNfcOf(style);
        out += "{\\listlevel\\levelnfc";
        AppendNumber(out, nfc);
        out += "\\levelnfcn";
        AppendNumber(out, nfc);
        out += "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat";
        AppendNumber(out, start);
        if (IsBullet(style)) {
            const char* bullet = style == QTextListFormat::ListCircle   ? "o"
                                 : style == QTextListFormat::ListSquare ? "\\u9642 ?"
                                                                        : "\\u8226 ?";
            out += "{\\leveltext\\'01";
            out += bullet;
            out += ";}{\\levelnumbers;}";
        } else {
            // The level's own number between the prefix and the suffix.
            const QStringView pre = QStringView(prefix).left(8), suf = QStringView(suffix).left(8);
            out += "{\\leveltext";
            AppendHex2(out, int(pre.size() + 1 + suf.size()));
            AppendText(out, pre);
            AppendHex2(out, level);
            AppendText(out, suf);
            out += ";}{\\levelnumbers";
            AppendHex2(out, int(pre.size()) + 1);
            out += ";}";
        }
        out += "\\fi-360\\li";
        AppendNumber(out, ListIndentOfLevel(level));
        out += '}';
    }
    out += "{\\listname ;}\\listid";
    AppendNumber(out, Id);
    out += '}';
    return ToBytes(out);
}

QByteArray ListOverrideEntry(int Id) {
    std::string out = "{\\listoverride\\listid";
    AppendNumber(out, Id);
    out += "\\listoverridecount0\\ls";
    AppendNumber(out, Id);
    out += '}';
    return ToBytes(out);
}

QByteArray PnGroups(const QTextListFormat& List, int Index) {
    std::string out;
    out.reserve(128);
    const QTextListFormat::Style style = List.style();
    if (IsBullet(style)) {
        // The bullet itself says which one it is.
        const char* bullet = style == QTextListFormat::ListCircle   ? "o"
                             : style == QTextListFormat::ListSquare ? "\\'a7"
                                                                    : "\\'b7";
        out += "{\\pntext ";
        out += bullet;
        out += "\\tab}{\\*\\pn\\pnlvlblt\\pnindent0{\\pntxtb ";
        out += bullet;
        out += "}}";
        return ToBytes(out);
    }
    const char* kind = "\\pndec";
    switch (style) {
    case QTextListFormat::ListLowerAlpha:
        kind = "\\pnlcltr";
        break;
    case QTextListFormat::ListUpperAlpha:
        kind = "\\pnucltr";
        break;
    case QTextListFormat::ListLowerRoman:
        kind = "\\pnlcrm";
        break;
    case QTextListFormat::ListUpperRoman:
        kind = "\\pnucrm";
        break;
    default:
        break;
    }
    out += "{\\pntext ";
    AppendText(out, ListMarker(List, Index));
    out += "\\tab}{\\*\\pn\\pnlvlbody\\pnindent0\\pnstart";
    AppendNumber(out, ListStart(List));
    out += kind;
    if (const QString prefix = List.numberPrefix(); !prefix.isEmpty()) {
        out += "{\\pntxtb ";
        AppendText(out, prefix);
        out += '}';
    }
    out += "{\\pntxta ";
    AppendText(out, List.numberSuffix());
    out += "}}";
    return ToBytes(out);
}
