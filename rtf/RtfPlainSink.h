#pragma once
// The text-only reader: what the RTF reader's state machine reads, kept as
// the text that the document builder's document would hold, with each
// paragraph break, and each mark where a table or one of its cells begins or
// ends, as '\n'. Search reads every page so; nothing else is built.

#include "RtfSink.h"

class TRtfPlainSink final : public TRtfSink {
public:
    // Text goes into Out, which is the run itself: runs never end.
    TRtfPlainSink(TRtfText& Out, qsizetype InputSize);

    void EndRun(const TRtfCharState&) override {}
    void BeginBlock(const TRtfParaState&, const TRtfCharState&) override { Run().Append(u'\n'); }
    void FinishBlock(const TRtfParaState&, const TRtfCharState&, bool) override {}
    // One object character, as the document holds it.
    void Picture(const TRtfPicture&, QByteArrayView) override { Run().Append(0xFFFC); }
    // One object character; the words follow the body.
    void Kept(TRtfNoteKind Kind, int Number, QByteArrayView Group, const QString& Words) override;
    TRtfTableSink* BeginTable() override { return nullptr; }
    void EnterCell(int, int) override {}
    int CellEmpty() override { return -1; }
    void EndTable(const TRtfTableGrid& Grid, int64_t TextStart) override;
    void End() override;

private:
    QString FNotes;
};
