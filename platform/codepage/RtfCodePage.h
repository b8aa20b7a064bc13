#pragma once
// Code pages of RTF text: which one a font's \fcharset selects, and decoding
// runs of bytes in it.

#include <QString>
#include <string_view>

enum : int {
    CP_WINDOWS_1252 = 1252,
    CP_SYMBOL = 42, // symbol fonts: bytes are glyph numbers, not letters
    CP_UTF8 = 65001,
};

// The code page a font of the given \fcharset uses. Charset 1 (default) and
// an unknown or missing charset fall back to the document's \ansicpg.
int CodePageOfCharset(int Charset, int AnsiCodePage);

// Decodes Bytes in CodePage. A code page the system cannot decode is read as
// Windows-1252, so no byte is dropped.
QString DecodeCodePage(int CodePage, std::string_view Bytes);
