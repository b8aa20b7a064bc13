#include "RtfPlainSink.h"

#include "RtfTables.h"

#include <algorithm>

TRtfPlainSink::TRtfPlainSink(TRtfText& Out, qsizetype InputSize) : TRtfSink(Out) {
    // The text is rarely longer than its markup: grow once, not by steps.
    Out.Reserve(InputSize);
}

// The text of the cells as the document holds it: a mark before each cell,
// and one at the table's end.
void TRtfPlainSink::EndTable(const TRtfTableGrid& Grid, int64_t TextStart) {
    TRtfText& run = Run();
    const QString cells = run.View().sliced(qsizetype(TextStart)).toString();
    run.SetEnd(run.Begin() + TextStart);
    for (const TRtfTableGrid::TRange& r : Grid.CellTexts()) {
        run.Append(u'\n');
        if (r.End > r.Begin)
            run.Append(QStringView(cells).sliced(qsizetype(r.Begin - TextStart),
                                                 qsizetype(r.End - r.Begin)));
    }
    run.Append(u'\n');
}

void TRtfPlainSink::Kept(TRtfNoteKind, int, QByteArrayView, const QString& Words) {
    Run().Append(0xFFFC);
    FNotes += u'\n';
    FNotes += QChar(kRtfNoteWordsMark);
    FNotes += Words;
}

void TRtfPlainSink::End() {
    // The document takes the frame marks as paragraph breaks.
    if (Decoded())
        std::replace_if(
            Run().Begin(), Run().End(), [](char16_t c) { return c == 0xFDD0 || c == 0xFDD1; },
            u'\n');
    Run().Append(FNotes);
    FNotes.clear();
}
