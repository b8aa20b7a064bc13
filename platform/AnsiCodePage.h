#pragma once
// The system's ANSI code page: Windows-1252. Every place where a password or a
// crypt string crosses between 8-bit and UTF-16 text goes through this pair.

#include <QString>
#include <string>
#include <string_view>

// UTF-16 to Windows-1252. A character the code page lacks becomes '?'.
std::string AnsiFromUnicode(const QString& s);
// Windows-1252 to UTF-16, one character per byte. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the
// same number, as the Windows conversion does, so every byte round-trips.
QString UnicodeFromAnsi(std::string_view s);
// The same, appended to Out.
void AppendUnicodeFromAnsi(QString& Out, std::string_view s);

// The Windows-1252 byte of one UTF-16 unit, or -1 when the code page lacks it.
int AnsiByteOf(char16_t c);
