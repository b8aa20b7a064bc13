#pragma once
// The system's ANSI code page: Windows-1252. Every place where a password or a
// crypt string crosses between 8-bit and UTF-16 text goes through this pair.

#include <QString>
#include <array>
#include <string>
#include <string_view>

// Both conversions make their result in one allocation of its final size, so
// a caller that wipes a password's or a crypt string's result (SecureZero,
// WipeOwned) leaves no copy behind.

// UTF-16 to Windows-1252. A character the code page lacks becomes '?'.
std::string AnsiFromUnicode(const QString& s);
// Windows-1252 to UTF-16, one character per byte. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the
// same number, as the Windows conversion does, so every byte round-trips.
QString UnicodeFromAnsi(std::string_view s);
// The same, appended to Out.
void AppendUnicodeFromAnsi(QString& Out, std::string_view s);
// The same, written to Out, which has room for End - P units; returns the end
// of what was written.
char16_t* WidenAnsi(const char* P, const char* End, char16_t* Out);
// Bytes 0x80..0x9F. The undefined five carry the C1 control of their own number.
inline constexpr std::array<char16_t, 32> kAnsiHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The UTF-16 unit of one Windows-1252 byte: only bytes 0x80..0x9F differ
// from Latin-1.
inline char16_t UnicodeOfAnsiByte(char b) {
    const auto u = static_cast<unsigned char>(b);
    return (u & 0xE0) == 0x80 ? kAnsiHighControls[u - 0x80] : char16_t(u);
}

// The Windows-1252 byte of one UTF-16 unit, or -1 when the code page lacks it.
int AnsiByteOf(char16_t c);
