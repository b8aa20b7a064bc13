#pragma once
// What the RTF reader's state machine makes of a document, told to one of two
// sinks: the document builder, or the text-only reader that search uses.
// Both see the same text at the same places, so that a position in one is
// a position in the other.

#include "RtfNotes.h"
#include "RtfState.h"
#include "RtfText.h"

#include <QByteArrayView>

#include <cstdint>

struct TRtfPicture;
class TRtfTableGrid;
class TRtfTableSink;

class TRtfSink {
public:
    virtual ~TRtfSink() = default;

    // Decoded text is added here; a run of it ends with EndRun.
    TRtfText& Run() { return *FRun; }
    // The document's tables, as far as they have been read.
    const TRtfDocTables& Tables() const { return *FTables; }
    void Attach(const TRtfDocTables& Tables) { FTables = &Tables; }
    // Text came that was decoded from more than Windows-1252 bytes: it may
    // hold any character.
    void NoteDecoded() { FDecoded = true; }
    // The run so far has State's format.
    virtual void EndRun(const TRtfCharState& State) = 0;
    // A paragraph begins, in these properties.
    virtual void BeginBlock(const TRtfParaState& Para, const TRtfCharState& Char) = 0;
    // The current paragraph's properties are known: those it ends with.
    virtual void FinishBlock(const TRtfParaState& Para, const TRtfCharState& Char, bool Empty) = 0;
    // A picture stands here; Group is its whole {\pict ...} group.
    virtual void Picture(const TRtfPicture& P, QByteArrayView Group) = 0;

    // A kept group stands here (see RtfNotes.h): Group is its bytes, Words
    // its text.
    virtual void Kept(TRtfNoteKind Kind, int Number, QByteArrayView Group,
                      const QString& Words) = 0;

    // A table begins; the grid reports its changes to the sink returned.
    virtual TRtfTableSink* BeginTable() = 0;
    // The content that comes goes into the cell at Row and Column.
    virtual void EnterCell(int Row, int Column) = 0;
    // Whether the current cell is empty, or -1 to tell by its text.
    virtual int CellEmpty() = 0;
    // The table has ended; its text began at TextStart in the run.
    virtual void EndTable(const TRtfTableGrid& Grid, int64_t TextStart) = 0;

    // The input has ended.
    virtual void End() = 0;

protected:
    explicit TRtfSink(TRtfText& Run) : FRun(&Run) {}
    bool Decoded() const { return FDecoded; }

private:
    TRtfText* FRun;
    const TRtfDocTables* FTables = nullptr;
    bool FDecoded = false;
};
