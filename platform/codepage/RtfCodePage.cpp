#include "RtfCodePage.h"

#include "AnsiCodePage.h"

#include <QHash>
#include <QTextCodec>

#include <string_view>

namespace {

struct TCharsetCodePage {
    int Charset;
    int CodePage;
};

// Each \fcharset number that RTF writers use, and the code page it stands for.
constexpr TCharsetCodePage kCharsets[] = {
    {0, 1252},   {2, CP_SYMBOL}, {77, 10000}, {78, 10001}, {79, 10003}, {80, 10008}, {81, 10002},
    {82, 1361},  {83, 10005},    {84, 10004}, {85, 10006}, {86, 10081}, {87, 10021}, {88, 10029},
    {89, 10007}, {128, 932},     {129, 949},  {130, 1361}, {134, 936},  {136, 950},  {161, 1253},
    {162, 1254}, {163, 1258},    {177, 1255}, {178, 1256}, {179, 1256}, {180, 1256}, {181, 1255},
    {186, 1257}, {204, 1251},    {222, 874},  {238, 1250}, {254, 437},  {255, 437},
};

struct TCodecName {
    int CodePage;
    const char* Name;
};

// Names as the system's codecs know them. The Mac double-byte pages are read
// with the Windows page each is built on; their few single bytes of their own
// are mapped in MacSingle.
constexpr TCodecName kCodecs[] = {
    {437, "IBM437"},
    {775, "IBM775"},
    {850, "IBM850"},
    {852, "IBM852"},
    {855, "IBM855"},
    {857, "IBM857"},
    {858, "IBM00858"},
    {860, "IBM860"},
    {861, "IBM861"},
    {862, "IBM862"},
    {863, "IBM863"},
    {864, "IBM864"},
    {865, "IBM865"},
    {866, "IBM866"},
    {869, "IBM869"},
    {874, "windows-874"},
    {932, "Shift_JIS"},
    {936, "GBK"},
    {949, "windows-949"},
    {950, "Big5"},
    {10000, "macintosh"},
    {10001, "Shift_JIS"},
    {10002, "Big5"},
    {10003, "windows-949"},
    {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"},
    {10008, "GBK"},
    {10017, "x-MacUkraine"},
    {10029, "x-mac-centraleurroman"},
    {10081, "x-mac-turkish"},
    {20127, "US-ASCII"},
    {20866, "KOI8-R"},
    {20932, "EUC-JP"},
    {20936, "GBK"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"},
    {51932, "EUC-JP"},
    {51936, "GBK"},
    {51949, "windows-949"},
    {54936, "GB18030"},
};

// The byte ranges of a double-byte code page: lead bytes in [L1, H1] or
// [L2, H2]; trail bytes in any of the three trail ranges.
struct TDbcs {
    int CodePage;
    unsigned char L1, H1, L2, H2;
    unsigned char T[3][2];
};

constexpr TDbcs kDbcs[] = {
    {932, 0x81, 0x9F, 0xE0, 0xFC, {{0x40, 0x7E}, {0x80, 0xFC}, {0, 0}}},
    {936, 0x81, 0xFE, 0, 0, {{0x40, 0x7E}, {0x80, 0xFE}, {0, 0}}},
    {949, 0x81, 0xFE, 0, 0, {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}}},
    {950, 0x81, 0xFE, 0, 0, {{0x40, 0x7E}, {0xA1, 0xFE}, {0, 0}}},
    {1361, 0x84, 0xD3, 0xD8, 0xF9, {{0x31, 0x7E}, {0x81, 0xFE}, {0, 0}}},
    {10001, 0x81, 0x9F, 0xE0, 0xFC, {{0x40, 0x7E}, {0x80, 0xFC}, {0, 0}}},
    {10002, 0xA1, 0xFC, 0, 0, {{0x40, 0x7E}, {0xA1, 0xFE}, {0, 0}}},
    {10003, 0xA1, 0xFD, 0, 0, {{0xA1, 0xFE}, {0, 0}, {0, 0}}},
    {10008, 0xA1, 0xFC, 0, 0, {{0xA1, 0xFE}, {0, 0}, {0, 0}}},
};

const TDbcs* DbcsOf(int CodePage) {
    for (const TDbcs& d : kDbcs)
        if (d.CodePage == CodePage)
            return &d;
    return nullptr;
}

bool IsLead(const TDbcs& D, unsigned char B) {
    return (B >= D.L1 && B <= D.H1) || (D.L2 && B >= D.L2 && B <= D.H2);
}

bool IsTrail(const TDbcs& D, unsigned char B) {
    for (const auto& r : D.T)
        if (r[0] && B >= r[0] && B <= r[1])
            return true;
    return false;
}

// Single bytes the Mac double-byte pages add to the page they are built on.
char16_t MacSingle(int CodePage, unsigned char B) {
    if (CodePage < 10001 || CodePage > 10008)
        return 0;
    switch (B) {
    case 0x80:
        return CodePage == 10001 ? u'\\' : 0;
    case 0xA0:
        return 0x00A0;
    case 0xFD:
        return CodePage == 10003 ? 0 : 0x00A9;
    case 0xFE:
        return CodePage == 10003 ? 0 : 0x2122;
    case 0xFF:
        return CodePage == 10003 ? 0 : 0x2026;
    default:
        return 0;
    }
}

QTextCodec* CodecOf(int CodePage) {
    // Looked up once per code page and thread; the codecs live as long as the
    // process.
    thread_local QHash<int, QTextCodec*> cache;
    const auto it = cache.constFind(CodePage);
    if (it != cache.constEnd())
        return *it;
    QTextCodec* codec = nullptr;
    for (const TCodecName& e : kCodecs)
        if (e.CodePage == CodePage)
            codec = QTextCodec::codecForName(e.Name);
    if (!codec && CodePage >= 1250 && CodePage <= 1258)
        codec = QTextCodec::codecForName(QByteArray("windows-") + QByteArray::number(CodePage));
    cache.insert(CodePage, codec);
    return codec;
}

// Single-byte pages that no system codec reads but that differ from one it
// does in a few bytes only.
struct TVariant {
    int CodePage;
    int Base;
    unsigned char From;        // the first byte of Units
    std::u16string_view Units; // what bytes From.. stand for
};

constexpr TVariant kVariants[] = {
    // DOS Greek: letters over the upper half of 437, whose box drawing stays.
    {737, 437, 0x80, u"ΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩαβγδεζηθικλμνξοπρσςτυφχψ"},
    {737, 437, 0xE0, u"ωάέήϊίόύϋώΆΈΉΊΌΎΏ±≥≤ΪΫ÷≈°∙·√ⁿ²■\u00A0"},
    // Mac Romanian and Mac Icelandic: Mac Roman with their own letters.
    {10010, 10000, 0xAE, u"ĂȘ"},
    {10010, 10000, 0xBE, u"ăș"},
    {10010, 10000, 0xDE, u"Țț"},
    {10079, 10000, 0xA0, u"Ý"},
    {10079, 10000, 0xDC, u"ÐðÞþý"},
};

int VariantBase(int CodePage) {
    for (const TVariant& v : kVariants)
        if (v.CodePage == CodePage)
            return v.Base;
    return 0;
}

QString DecodeVariant(int CodePage, QTextCodec* Base, std::string_view Bytes) {
    QString s = Base->toUnicode(Bytes.data(), int(Bytes.size()));
    if (s.size() != qsizetype(Bytes.size()))
        return s;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(Bytes[size_t(i)]);
        for (const TVariant& v : kVariants)
            if (v.CodePage == CodePage && b >= v.From && b - v.From < int(v.Units.size()))
                s[i] = QChar(v.Units[b - v.From]);
    }
    return s;
}

// Double-byte text, split so that the codec is only handed whole characters:
// a lead byte without its trail becomes U+FFFD on its own, and the byte after
// it is read afresh.
QString DecodeDbcs(const TDbcs& D, QTextCodec* Codec, std::string_view Bytes) {
    QString out;
    out.reserve(qsizetype(Bytes.size()));
    const size_t n = Bytes.size();
    size_t from = 0;
    size_t i = 0;
    const auto flush = [&](size_t To) {
        if (To > from)
            out += Codec->toUnicode(Bytes.data() + from, int(To - from));
    };
    while (i < n) {
        const auto b = static_cast<unsigned char>(Bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        const char16_t mac = MacSingle(D.CodePage, b);
        if (!mac && IsLead(D, b) && i + 1 < n &&
            IsTrail(D, static_cast<unsigned char>(Bytes[i + 1]))) {
            i += 2;
            continue;
        }
        if (!mac && !IsLead(D, b)) {
            ++i; // a single byte of the base page, such as half-width kana
            continue;
        }
        flush(i);
        out += QChar(mac ? mac : char16_t(0xFFFD));
        from = ++i;
    }
    flush(n);
    return out;
}

// Johab, which no system codec reads. Its Hangul syllables are built from
// three 5-bit jamo numbers; its symbols and Hanja are the KS X 1001 rows of
// Windows-949, two rows to a lead byte.
char16_t JohabHangul(unsigned Code) {
    const unsigned l = (Code >> 10) & 31, v = (Code >> 5) & 31, t = Code & 31;
    const int li = l >= 2 && l <= 20 ? int(l) - 2 : l == 1 ? -1 : -2;
    int vi = -2;
    if (v == 2)
        vi = -1;
    else if (v >= 3 && v <= 7)
        vi = int(v) - 3;
    else if (v >= 10 && v <= 15)
        vi = int(v) - 5;
    else if (v >= 18 && v <= 23)
        vi = int(v) - 7;
    else if (v >= 26 && v <= 29)
        vi = int(v) - 9;
    int ti = -2;
    if (t == 1)
        ti = 0;
    else if (t >= 2 && t <= 17)
        ti = int(t) - 1;
    else if (t >= 19 && t <= 29)
        ti = int(t) - 2;
    if (li == -2 || vi == -2 || ti == -2)
        return 0xFFFD;
    if (li >= 0 && vi >= 0)
        return char16_t(0xAC00 + (li * 21 + vi) * 28 + ti);
    // A lone jamo: the compatibility letters.
    static constexpr char16_t kInitials[19] = {
        0x3131, 0x3132, 0x3134, 0x3137, 0x3138, 0x3139, 0x3141, 0x3142, 0x3143, 0x3145,
        0x3146, 0x3147, 0x3148, 0x3149, 0x314A, 0x314B, 0x314C, 0x314D, 0x314E};
    if (li >= 0 && ti == 0)
        return kInitials[li];
    if (vi >= 0 && li == -1 && ti == 0)
        return char16_t(0x314F + vi);
    return 0xFFFD;
}

QString JohabSymbol(unsigned char Lead, unsigned char Trail) {
    int row;
    if (Lead >= 0xD9 && Lead <= 0xDE)
        row = 0xA1 + 2 * (Lead - 0xD9);
    else if (Lead >= 0xE0 && Lead <= 0xF9)
        row = 0xCA + 2 * (Lead - 0xE0);
    else
        return QString(QChar(0xFFFD));
    int col;
    if (Trail >= 0xA1) {
        ++row;
        col = Trail;
    } else if (Trail >= 0x31 && Trail <= 0x7E) {
        col = 0xA1 + (Trail - 0x31);
    } else if (Trail >= 0x91) {
        col = 0xA1 + 78 + (Trail - 0x91);
    } else {
        return QString(QChar(0xFFFD));
    }
    QTextCodec* ks = CodecOf(949);
    if (!ks)
        return QString(QChar(0xFFFD));
    const char pair[2] = {char(row), char(col)};
    return ks->toUnicode(pair, 2);
}

QString DecodeJohab(const TDbcs& D, std::string_view Bytes) {
    QString out;
    out.reserve(qsizetype(Bytes.size()));
    for (size_t i = 0; i < Bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(Bytes[i]);
        if (b < 0x80) {
            out += QChar(char16_t(b));
            continue;
        }
        if (!IsLead(D, b) || i + 1 == Bytes.size() ||
            !IsTrail(D, static_cast<unsigned char>(Bytes[i + 1]))) {
            out += QChar(0xFFFD);
            continue;
        }
        const auto t = static_cast<unsigned char>(Bytes[++i]);
        if (b <= 0xD3)
            out += QChar(JohabHangul(unsigned(b) << 8 | t));
        else
            out += JohabSymbol(b, t);
    }
    return out;
}

// Symbol fonts place their bullets where Windows-1252 has other characters.
QString DecodeSymbol(std::string_view Bytes) {
    QString s = UnicodeFromAnsi(Bytes);
    for (QChar& c : s) {
        if (c.unicode() == 0xB7)
            c = QChar(0x2022);
        else if (c.unicode() == 0xA7)
            c = QChar(0x25AA);
    }
    return s;
}

} // namespace

int CodePageOfCharset(int Charset, int AnsiCodePage) {
    for (const TCharsetCodePage& e : kCharsets)
        if (e.Charset == Charset)
            return e.CodePage;
    return AnsiCodePage;
}

QString DecodeCodePage(int CodePage, std::string_view Bytes) {
    switch (CodePage) {
    case CP_WINDOWS_1252:
        return UnicodeFromAnsi(Bytes);
    case CP_SYMBOL:
        return DecodeSymbol(Bytes);
    case CP_UTF8:
        return QString::fromUtf8(Bytes.data(), qsizetype(Bytes.size()));
    default:
        break;
    }
    if (CodePage == 1361)
        return DecodeJohab(*DbcsOf(CodePage), Bytes);
    if (const int base = VariantBase(CodePage)) {
        if (QTextCodec* codec = CodecOf(base))
            return DecodeVariant(CodePage, codec, Bytes);
    }
    if (QTextCodec* codec = CodecOf(CodePage)) {
        if (const TDbcs* d = DbcsOf(CodePage))
            return DecodeDbcs(*d, codec, Bytes);
        return codec->toUnicode(Bytes.data(), int(Bytes.size()));
    }
    return UnicodeFromAnsi(Bytes);
}

bool IsLeadByte(int CodePage, char C) {
    const TDbcs* d = DbcsOf(CodePage);
    return d && !MacSingle(CodePage, static_cast<unsigned char>(C)) &&
           IsLead(*d, static_cast<unsigned char>(C));
}

bool IsTrailByte(int CodePage, char C) {
    const TDbcs* d = DbcsOf(CodePage);
    return d && IsTrail(*d, static_cast<unsigned char>(C));
}

bool EndsInLeadByte(int CodePage, std::string_view Bytes) {
    if (Bytes.empty() || !IsLeadByte(CodePage, Bytes.back()))
        return false;
    // Trail bytes may look like leads, so the pairs are counted from the start.
    size_t i = 0;
    while (i + 1 < Bytes.size())
        i += IsLeadByte(CodePage, Bytes[i]) && IsTrailByte(CodePage, Bytes[i + 1]) ? 2 : 1;
    return i + 1 == Bytes.size();
}
