#pragma once
// Page bodies for the benchmarks: RTF as the editor writes it, with runs of
// words in changing sizes, bold and italic, and paragraphs.

#include "RtfWriter.h"

#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>

// A formatted body of about Size bytes of RTF.
inline QByteArray Body(QRandomGenerator& Rng, qsizetype Size) {
    static const char* const words[] = {"note",   "meeting", "tomorrow", "garden", "invoice",
                                        "call",   "recipe",  "flour",    "butter", "train",
                                        "ticket", "Zürich",  "café",     "budget", "plan"};
    QTextDocument doc;
    QTextCursor c(&doc);
    qsizetype approx = 0;
    while (approx < Size) {
        QTextCharFormat f;
        f.setFontPointSize(9 + Rng.bounded(6));
        if (Rng.bounded(5) == 0)
            f.setFontWeight(QFont::Bold);
        if (Rng.bounded(9) == 0)
            f.setFontItalic(true);
        QString run;
        for (int i = 0; i < 12; ++i)
            run += QString::fromUtf8(words[Rng.bounded(15)]) + u' ';
        c.insertText(run, f);
        approx += run.size() + 24;
        if (Rng.bounded(6) == 0)
            c.insertBlock();
    }
    return WriteRtf(doc);
}
