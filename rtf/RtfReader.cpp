#include "RtfReader.h"

#include "RtfDocumentSink.h"
#include "RtfNotes.h"
#include "RtfParser.h"
#include "RtfPlainSink.h"
#include "RtfText.h"

#include <QTextDocument>

bool IsRtf(QByteArrayView Data) {
    return Data.startsWith("{\\rtf");
}

bool ReadRtf(QByteArrayView Data, QTextDocument& Doc) {
    if (!IsRtf(Data))
        return false;
    const bool undo = Doc.isUndoRedoEnabled();
    Doc.setUndoRedoEnabled(false);
    Doc.clear();
    {
        TRtfDocumentSink sink(Doc);
        ParseRtf(Data, sink);
    }
    Doc.setUndoRedoEnabled(undo);
    return true;
}

void BreaksAsNewlines(QString& Text) {
    for (QChar& c : Text)
        if (c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1)
            c = u'\n';
}

QString DocumentText(const QTextDocument& Doc) {
    QString s = Doc.toRawText();
    BreaksAsNewlines(s);
    return s;
}

QString SearchText(const QTextDocument& Doc) {
    return DocumentText(Doc) + NoteWordsText(Doc);
}

QString RtfPlainText(QByteArrayView Data) {
    TRtfText text;
    RtfPlainText(Data, text);
    return text.Take();
}

void RtfPlainText(QByteArrayView Data, TRtfText& Out) {
    Out.Clear();
    if (!IsRtf(Data))
        return;
    TRtfPlainSink sink(Out, Data.size());
    ParseRtf(Data, sink);
}
