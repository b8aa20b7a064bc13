#pragma once
// Reading text and formatting back out of a QTextDocument in tests.

#include "FontStyle.h"
#include "RtfReader.h"

#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// The document's text as search reads it: one '\n' per paragraph break, then
// the words of its kept groups.
inline QString PlainTextOf(const QTextDocument& Doc) {
    return SearchText(Doc);
}

// The image objects of a document, in order.
inline QList<QTextImageFormat> ImageObjects(const QTextDocument& Doc) {
    QList<QTextImageFormat> out;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                for (int i = 0; i < it.fragment().length(); ++i)
                    out << it.fragment().charFormat().toImageFormat();
    return out;
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
    return FontStylesOf(F);
}

// Every RTF fixture, by path below the test data folder.
inline const char* const kRtfFixtures[] = {
    "richedit/richedit8.rtf",          "richedit/richedit41.rtf",
    "richedit/richedit20.rtf",         "richedit/richedit_objects.rtf",
    "libreoffice/lo_formats.rtf",      "libreoffice/lo_structure.rtf",
    "richedit/richedit_png.rtf",       "richedit/richedit_jpeg.rtf",
    "richedit/richedit_wmf_dib.rtf",   "richedit/richedit_bullets.rtf",
    "richedit/richedit_numbers.rtf",   "richedit/richedit_table.rtf",
    "richedit/richedit_link.rtf",      "richedit/richedit_all.rtf",
    "libreoffice/lo_lists_tables.rtf", "word/word_notes.rtf",
    "libreoffice/lo_notes.rtf",
};

inline Qt::Alignment AlignmentAt(const QTextDocument& Doc, int Pos) {
    return Doc.findBlock(Pos).blockFormat().alignment() & Qt::AlignHorizontal_Mask;
}

inline QByteArray ReadFileBytes(const QString& Path) {
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
