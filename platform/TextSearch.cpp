#include "TextSearch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

constexpr uint8_t kNoAscii = 0x80;

// For every UTF-16 code unit, the ASCII character Qt's case folding turns it
// into, or kNoAscii. Taken from Qt's own folding, so that the few letters
// outside ASCII that fold into it (the Kelvin sign, the long s) match as Qt
// matches them.
struct TAsciiFolding {
    std::unique_ptr<uint8_t[]> Of{new uint8_t[0x10000]};
    // The code units that fold to each ASCII character.
    std::array<std::vector<char16_t>, 128> Units;

    TAsciiFolding() {
        for (char32_t u = 0; u < 0x10000; ++u) {
            const char32_t f = QChar::toCaseFolded(u);
            Of[u] = f < 0x80 ? uint8_t(f) : kNoAscii;
            if (f < 0x80)
                Units[f].push_back(char16_t(u));
        }
    }
};

const TAsciiFolding& AsciiFolding() {
    static const TAsciiFolding folding;
    return folding;
}

// The first position from At on, below End, whose unit is one of Units; -1
// when there is none.
qsizetype NextOf(const char16_t* Hay, qsizetype At, qsizetype End,
                 const std::vector<char16_t>& Units) {
#ifdef __SSE2__
    if (Units.size() <= 4) {
        __m128i probe[4];
        for (size_t k = 0; k < 4; ++k)
            probe[k] = _mm_set1_epi16(short(Units[std::min(k, Units.size() - 1)]));
        for (; At + 8 <= End; At += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Hay + At));
            const __m128i hit = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi16(v, probe[0]), _mm_cmpeq_epi16(v, probe[1])),
                _mm_or_si128(_mm_cmpeq_epi16(v, probe[2]), _mm_cmpeq_epi16(v, probe[3])));
            if (const int mask = _mm_movemask_epi8(hit))
                return At + __builtin_ctz(unsigned(mask)) / 2;
        }
    }
#endif
    for (; At < End; ++At)
        if (std::find(Units.begin(), Units.end(), Hay[At]) != Units.end())
            return At;
    return -1;
}

// Needle holds folded ASCII characters. Matching them needs no look at
// surrogate pairs: a unit of a pair never folds into ASCII, whatever its
// neighbour.
qsizetype IndexOfAsciiIgnoringCase(QStringView Haystack, const std::vector<uint8_t>& Needle,
                                   qsizetype From) {
    const TAsciiFolding& folding = AsciiFolding();
    const auto* hay = reinterpret_cast<const char16_t*>(Haystack.utf16());
    const qsizetype n = qsizetype(Needle.size());
    const qsizetype last = Haystack.size() - n; // the last start a match may have
    const std::vector<char16_t>& first = folding.Units[Needle[0]];
    for (qsizetype at = From; at <= last; ++at) {
        at = NextOf(hay, at, last + 1, first);
        if (at < 0)
            return -1;
        qsizetype i = 1;
        while (i < n && folding.Of[hay[at + i]] == Needle[size_t(i)])
            ++i;
        if (i == n)
            return at;
    }
    return -1;
}

} // namespace

qsizetype IndexOfText(QStringView Haystack, QStringView Needle, qsizetype From,
                      Qt::CaseSensitivity Cs) {
    if (Cs == Qt::CaseSensitive || Needle.isEmpty() || From < 0 || From > Haystack.size())
        return Haystack.indexOf(Needle, From, Cs);
    std::vector<uint8_t> folded(size_t(Needle.size()));
    for (qsizetype i = 0; i < Needle.size(); ++i) {
        const char16_t c = Needle[i].unicode();
        if (c >= 0x80)
            return Haystack.indexOf(Needle, From, Cs);
        folded[size_t(i)] = AsciiFolding().Of[c];
    }
    return IndexOfAsciiIgnoringCase(Haystack, folded, From);
}

int FindInText(QStringView Text, const QString& SearchStr, int StartPos, int Length,
               TSearchTypes Options) {
    QString needle = SearchStr;
    needle.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    needle.replace(u'\r', u'\n');
    if (needle.isEmpty())
        return -1;
    const qsizetype size = Text.size();
    const qsizetype from = std::clamp<qsizetype>(StartPos, 0, size);
    const qsizetype to =
        Length < 0 ? size : std::clamp<qsizetype>(qsizetype(StartPos) + Length, from, size);
    const Qt::CaseSensitivity cs =
        Options.testFlag(stMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QStringView range = Text.left(to);
    for (qsizetype at = IndexOfText(range, needle, from, cs); at >= 0 && at + needle.size() <= to;
         at = IndexOfText(range, needle, at + 1, cs)) {
        if (Options.testFlag(stWholeWord)) {
            const qsizetype end = at + needle.size();
            if ((at > 0 && IsWordChar(Text[at - 1])) || (end < size && IsWordChar(Text[end])))
                continue;
        }
        return int(at);
    }
    return -1;
}
