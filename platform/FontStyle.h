#pragma once
// Font styles as a set, the way the editor's selection attributes and the font
// dialog exchange them.

#include <QFlags>
#include <QFont>

enum TFontStyle {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)

inline TFontStyles FontStylesOf(const QFont& F) {
    TFontStyles s;
    s.setFlag(fsBold, F.weight() >= QFont::DemiBold);
    s.setFlag(fsItalic, F.italic());
    s.setFlag(fsUnderline, F.underline());
    s.setFlag(fsStrikeOut, F.strikeOut());
    return s;
}
