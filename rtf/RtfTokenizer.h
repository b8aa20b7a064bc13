#pragma once
// The RTF tokenizer: it only tells control words from text, and hands each
// piece to a listener, as one of a few kinds:
//   GroupOpen(At) and GroupClose(After), at '{' and past '}';
//   Text(Bytes): bytes that are no markup, all printable, or one control byte;
//   or, where AnsiText() gives a buffer, text in Windows-1252 decoded into
//   it up to the next control word or group (see ReadAnsiText), as most
//   pages' text is, without a call per escaped letter;
//   Literal(Byte): a byte given as \'hh, or an escaped \ { };
//   Flag, Value, Destination and Symbol: a control word by its class (see
//   TRtfWordClass), with Optional set when \* came right before it;
//   ControlSymbol(C): any other \C;
//   Binary(Data, Size): the data of \binN, never longer than the input.
// The listener's Done() ends the reading early. The tokenizer keeps no state
// beyond the \* before a word, so the listener's state machine is the reader.

#include "AnsiCodePage.h"
#include "RtfHex.h"
#include "RtfKeywords.h"
#include "RtfText.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

// A longer control word is read to its end and ignored.
constexpr int kRtfMaxWordLength = 32;

namespace RtfTokens {

inline bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The bytes that end a run of text: markup and control bytes.
constexpr std::array<bool, 256> kEndsSpan = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c)
        t[size_t(c)] = true;
    t['\\'] = t['{'] = t['}'] = true;
    return t;
}();

inline bool EndsSpan(char C) {
    return kEndsSpan[static_cast<unsigned char>(C)];
}

#ifdef __SSE2__
// One bit for each of the sixteen bytes in V that ends a span.
inline unsigned SpanEndMask(__m128i V) {
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(V, _mm_set1_epi8(0x1F)), V);
    const __m128i markup = _mm_or_si128(
        _mm_cmpeq_epi8(V, _mm_set1_epi8('\\')),
        _mm_or_si128(_mm_cmpeq_epi8(V, _mm_set1_epi8('{')), _mm_cmpeq_epi8(V, _mm_set1_epi8('}'))));
    return unsigned(_mm_movemask_epi8(_mm_or_si128(control, markup)));
}
#endif

// The end of the run of text bytes at P: the first markup or control byte.
inline const char* SpanEnd(const char* P, const char* End) {
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
inline const char* ReadAnsiText(const char* P, const char* const End, TRtfText& Out) {
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

} // namespace RtfTokens

template <class TListener> void TokenizeRtf(const char* P, const char* const End, TListener& L) {
    using namespace RtfTokens;
    bool star = false; // "\*" came: the next word names an optional destination
    while (P < End && !L.Done()) {
        const char c = *P;
        if (c == '{') {
            star = false;
            L.GroupOpen(P++);
            continue;
        }
        if (c == '}') {
            star = false;
            L.GroupClose(++P);
            continue;
        }
        if (c != '\\') {
            star = false;
            if (static_cast<unsigned char>(c) >= 0x20) {
                if (TRtfText* out = L.AnsiText()) {
                    P = ReadAnsiText(P, End, *out);
                    continue;
                }
            }
            const char* start = P;
            P = static_cast<unsigned char>(c) < 0x20 ? P + 1 : SpanEnd(P, End);
            L.Text(std::string_view(start, size_t(P - start)));
            continue;
        }
        if (++P >= End)
            break;
        if (!IsLetter(*P)) {
            const char s = *P++;
            if (s == '*') {
                star = true;
                continue;
            }
            star = false;
            if (s == '\'') {
                const int hi = P < End ? RtfHexValue(*P) : -1;
                if (hi < 0)
                    continue;
                const int lo = P + 1 < End ? RtfHexValue(P[1]) : -1;
                if (lo < 0) {
                    ++P;
                    continue;
                }
                P += 2;
                L.Literal(char(hi * 16 + lo));
            } else if (s == '\\' || s == '{' || s == '}') {
                L.Literal(s);
            } else {
                L.ControlSymbol(s);
            }
            continue;
        }

        const char* start = P;
        while (P < End && IsLetter(*P))
            ++P;
        const size_t length = size_t(P - start);
        bool hasParam = false;
        bool negative = false;
        int64_t value = 0;
        if (P < End && *P == '-' && P + 1 < End && IsDigit(P[1])) {
            negative = true;
            ++P;
        }
        while (P < End && IsDigit(*P)) {
            hasParam = true;
            if (value <= INT32_MAX)
                value = value * 10 + (*P - '0');
            ++P;
        }
        if (negative)
            value = -value;
        const int32_t param = int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
        if (P < End && *P == ' ')
            ++P;

        const TRtfKeyword kw = length > size_t(kRtfMaxWordLength)
                                   ? TRtfKeyword{}
                                   : LookupRtfKeyword(std::string_view(start, length));
        const bool optional = star;
        star = false;
        if (kw.Kind == TRtfKw::Bin) {
            // The data is handed over in place; nothing is allocated for it.
            const int64_t n =
                std::min<int64_t>(hasParam ? std::max<int32_t>(param, 0) : 0, End - P);
            L.Binary(P, size_t(n));
            P += n;
            continue;
        }
        switch (RtfWordClass(kw.Kind)) {
        case TRtfWordClass::Flag:
            L.Flag(kw, !hasParam || param != 0, optional);
            break;
        case TRtfWordClass::Value:
            L.Value(kw, hasParam, param, optional);
            break;
        case TRtfWordClass::Destination:
            L.Destination(kw, optional);
            break;
        case TRtfWordClass::Symbol:
            L.Symbol(kw, optional);
            break;
        }
    }
}
