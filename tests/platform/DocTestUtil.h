#pragma once
// Reading text and formatting back out of a QTextDocument in tests.

#include "FontStyle.h"

#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// The document's text with one '\n' per paragraph break.
inline QString PlainTextOf(const QTextDocument& Doc) {
    QString s = Doc.toRawText();
    s.replace(QChar::ParagraphSeparator, u'\n');
    return s;
}

// The format of the character at Pos.
inline QTextCharFormat FormatAt(const QTextDocument& Doc, int Pos) {
    QTextCursor c(const_cast<QTextDocument*>(&Doc));
    c.setPosition(Pos + 1);
    return c.charFormat();
}

inline QString FamilyOf(const QTextCharFormat& F) {
    return F.fontFamilies().toStringList().value(0);
}

inline TFontStyles StylesOf(const QTextCharFormat& F) {
    TFontStyles s;
    s.setFlag(fsBold, F.fontWeight() >= QFont::DemiBold);
    s.setFlag(fsItalic, F.fontItalic());
    s.setFlag(fsUnderline, F.fontUnderline());
    s.setFlag(fsStrikeOut, F.fontStrikeOut());
    return s;
}

inline Qt::Alignment AlignmentAt(const QTextDocument& Doc, int Pos) {
    return Doc.findBlock(Pos).blockFormat().alignment() & Qt::AlignHorizontal_Mask;
}

inline QByteArray ReadFileBytes(const QString& Path) {
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
