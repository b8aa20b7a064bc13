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
// Windows-1252, so no byte is dropped. In a double-byte code page a lead byte
// without its trail gives U+FFFD and never takes the byte after it.
QString DecodeCodePage(int CodePage, std::string_view Bytes);

// Double-byte code pages: whether C may begin a two-byte character, and
// whether it may end one. Both are false in any other code page.
bool IsLeadByte(int CodePage, char C);
bool IsTrailByte(int CodePage, char C);
// Whether Bytes end in a lead byte still waiting for its trail.
bool EndsInLeadByte(int CodePage, std::string_view Bytes);
