#pragma once
// Hex digits as RTF writes them: in \'hh escapes and in picture data.

// The value of one hex digit, or -1.
inline int RtfHexValue(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}
