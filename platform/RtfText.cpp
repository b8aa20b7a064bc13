#include "RtfText.h"

#include "AnsiCodePage.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <algorithm>

void TRtfText::Grow(qsizetype N) {
    const qsizetype wanted = FSize + N + kSpare;
    FBuf.resize(std::max({wanted, FCapacity * 2, qsizetype(64)}));
    FData = reinterpret_cast<char16_t*>(FBuf.data());
    FCapacity = FBuf.size();
}

void TRtfText::Append(QStringView S) {
    Reserve(S.size());
    std::copy_n(S.utf16(), S.size(), FData + FSize);
    FSize += S.size();
}

void TRtfText::AppendAnsi(std::string_view S) {
    Reserve(qsizetype(S.size()));
    SetEnd(WidenAnsi(S.data(), S.data() + S.size(), End()));
}

QString TRtfText::Take() {
    FBuf.resize(FSize);
    QString text = std::move(FBuf);
    FBuf = QString();
    FData = nullptr;
    FSize = FCapacity = 0;
    return text;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(c | 0x20);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

const char* ReadAnsiText(const char* P, const char* const End, TRtfText& Out) {
    // Every byte read gives at most one unit.
    Out.Reserve(End - P);
    char16_t* d = Out.End();
    while (P < End) {
#ifdef __SSE2__
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i open = _mm_set1_epi8('{');
        const __m128i close = _mm_set1_epi8('}');
        const __m128i below = _mm_set1_epi8(0x1F);
        const __m128i top3 = _mm_set1_epi8(char(0xE0));
        const __m128i c1 = _mm_set1_epi8(char(0x80));
        const __m128i zero = _mm_setzero_si128();
        // Sixteen at a time, stored whole (the buffer has room past the
        // end); only what comes before the first mark counts.
        while (End - P >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
            const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, below), v);
            const __m128i markup =
                _mm_or_si128(_mm_cmpeq_epi8(v, backslash),
                             _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
            const unsigned stop = unsigned(_mm_movemask_epi8(_mm_or_si128(control, markup)));
            const int n = stop ? __builtin_ctz(stop) : 16;
            // Bytes 0x80..0x9F are not Latin-1.
            unsigned mend =
                unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, top3), c1))) &
                ((1u << n) - 1);
            for (; mend; mend &= mend - 1) {
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
        while (P < End) {
            const auto b = static_cast<unsigned char>(*P);
            if (b < 0x20 || b == '\\' || b == '{' || b == '}')
                break;
            *d++ = UnicodeOfAnsiByte(char(b));
            ++P;
        }
        if (P == End)
            break;
        const char c = *P;
        if (c == '\t') {
            *d++ = u'\t';
            ++P;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            ++P;
        } else if (c == '\\' && End - P >= 4 && P[1] == '\'' && HexDigit(P[2]) >= 0 &&
                   HexDigit(P[3]) >= 0 && HexDigit(P[2]) * 16 + HexDigit(P[3]) >= 0x20) {
            *d++ = UnicodeOfAnsiByte(char(HexDigit(P[2]) * 16 + HexDigit(P[3])));
            P += 4;
        } else {
            break;
        }
    }
    Out.SetEnd(d);
    return P;
}
