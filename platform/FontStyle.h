#pragma once
// Font styles as a set, the way the editor's selection attributes and the font
// dialog exchange them.

#include <QFlags>
#include <QFont>
#include <QTextCharFormat>

enum TFontStyle {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)

// Bold is any weight from demi-bold up.
inline TFontStyles FontStyles(int Weight, bool Italic, bool Underline, bool StrikeOut) {
    TFontStyles s;
    s.setFlag(fsBold, Weight >= QFont::DemiBold);
    s.setFlag(fsItalic, Italic);
    s.setFlag(fsUnderline, Underline);
    s.setFlag(fsStrikeOut, StrikeOut);
    return s;
}

inline TFontStyles FontStylesOf(const QFont& F) {
    return FontStyles(F.weight(), F.italic(), F.underline(), F.strikeOut());
}

inline TFontStyles FontStylesOf(const QTextCharFormat& F) {
    return FontStyles(F.fontWeight(), F.fontItalic(), F.fontUnderline(), F.fontStrikeOut());
}
