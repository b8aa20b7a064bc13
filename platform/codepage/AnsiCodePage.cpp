#include "AnsiCodePage.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <array>
#include <cstdint>

namespace {

constexpr std::array<char16_t, 256> MakeByteToChar() {
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = (b >= 0x80 && b <= 0x9F) ? kAnsiHighControls[size_t(b - 0x80)] : char16_t(b);
    return t;
}

constexpr std::array<char16_t, 256> kByteToChar = MakeByteToChar();

// Reverse map for U+0000..U+00FF; 0 marks a character the code page lacks
// (U+0000 itself is handled before the lookup).
constexpr std::array<uint16_t, 256> MakeLatin1ToByte() {
    std::array<uint16_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const char16_t c = kByteToChar[b];
        if (c < 0x100)
            t[c] = uint16_t(b == 0 ? 0 : b);
    }
    return t;
}

constexpr std::array<uint16_t, 256> kLatin1ToByte = MakeLatin1ToByte();

// Characters above U+00FF that the code page holds, with their bytes.
struct TWide {
    char16_t Char;
    char Byte;
};

constexpr std::array<TWide, 27> MakeWideTable() {
    std::array<TWide, 27> t{};
    size_t n = 0;
    for (int b = 0x80; b <= 0x9F; ++b)
        if (kByteToChar[b] >= 0x100)
            t[n++] = {kByteToChar[b], char(b)};
    return t;
}

constexpr std::array<TWide, 27> kWide = MakeWideTable();
static_assert(kWide[26].Char != 0, "all 27 wide characters are in the table");

char WideToByte(char16_t c) {
    if (c < 0x0152 || c > 0x2122)
        return '?';
    for (const TWide& w : kWide)
        if (w.Char == c)
            return w.Byte;
    return '?';
}

} // namespace

std::string AnsiFromUnicode(const QString& s) {
    std::string out;
    out.reserve(size_t(s.size()));
    const char16_t* p = reinterpret_cast<const char16_t*>(s.utf16());
    const char16_t* const end = p + s.size();
    while (p < end) {
        const char16_t c = *p++;
        if (c == 0) {
            out.push_back('\0');
        } else if (c < 0x100) {
            const uint16_t b = kLatin1ToByte[c];
            out.push_back(b ? char(b) : '?');
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            // A pair is one character, so it yields one '?'.
            if (p < end && *p >= 0xDC00 && *p <= 0xDFFF)
                ++p;
            out.push_back('?');
        } else {
            out.push_back(WideToByte(c));
        }
    }
    return out;
}

QString UnicodeFromAnsi(std::string_view s) {
    QString out;
    AppendUnicodeFromAnsi(out, s);
    return out;
}

void AppendUnicodeFromAnsi(QString& Out, std::string_view s) {
    const qsizetype at = Out.size();
    Out.resize(at + qsizetype(s.size()));
    WidenAnsi(s.data(), s.data() + s.size(), reinterpret_cast<char16_t*>(Out.data()) + at);
}

char16_t* WidenAnsi(const char* p, const char* const end, char16_t* d) {
#ifdef __SSE2__
    // ASCII, mostly: those bytes are their own characters.
    const __m128i zero = _mm_setzero_si128();
    for (; end - p >= 16; p += 16, d += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(v) != 0) {
            // A letter beyond ASCII here and there: only these sixteen go slowly.
            for (int k = 0; k < 16; ++k)
                d[k] = kByteToChar[static_cast<unsigned char>(p[k])];
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
    }
    // Spans between markup are mostly short: take eight at a time too.
    if (end - p >= 8) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(v) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
            p += 8;
            d += 8;
        }
    }
#endif
    while (p < end)
        *d++ = kByteToChar[static_cast<unsigned char>(*p++)];
    return d;
}

int AnsiByteOf(char16_t c) {
    if (c == 0)
        return 0;
    if (c < 0x100) {
        const uint16_t b = kLatin1ToByte[c];
        return b ? int(b) : -1;
    }
    const char b = WideToByte(c);
    return b == '?' ? -1 : int(static_cast<unsigned char>(b));
}
