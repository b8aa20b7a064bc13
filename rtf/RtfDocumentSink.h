#pragma once
// The document builder: what the RTF reader's state machine reads, made into
// a QTextDocument's blocks, runs, lists, tables and image objects.

#include "RtfSink.h"
#include "RtfTables.h"

#include <QPointer>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextList>

#include <array>
#include <unordered_map>
#include <utility>
#include <vector>

class QTextDocument;
class QTextTable;

class TRtfDocumentSink final : public TRtfSink {
public:
    explicit TRtfDocumentSink(QTextDocument& Doc);

    void EndRun(const TRtfCharState& State) override;
    void BeginBlock(const TRtfParaState& Para, const TRtfCharState& Char) override;
    void FinishBlock(const TRtfParaState& Para, const TRtfCharState& Char, bool Empty) override;
    void Picture(const TRtfPicture& P, QByteArrayView Group) override;
    void Kept(TRtfNoteKind Kind, int Number, QByteArrayView Group, const QString& Words) override;
    TRtfTableSink* BeginTable() override;
    void EnterCell(int Row, int Column) override;
    int CellEmpty() override;
    void EndTable(const TRtfTableGrid& Grid, int64_t TextStart) override;
    void End() override;

private:
    const QTextCharFormat& FormatOf(const TRtfCharState& S);
    QTextBlockFormat BlockFormatOf(const TRtfParaState& P) const;
    QTextList* ListOf(const TRtfParaState& P);
    void ForgetBlock();

    TRtfText FText;
    QTextCursor FCur;

    TRtfParaState FBlockPara; // what the current block's format was made of
    bool FBlockParaKnown = true;
    // Qt deletes a list whose last item leaves it: lists are held weakly.
    QPointer<QTextList> FBlockList;
    std::array<QPointer<QTextList>, kRtfMaxListLevel + 1> FPnLists; // rich-edit lists by level
    std::unordered_map<int64_t, QPointer<QTextList>> FLsLists;      // by \ls and level

    struct TTableBuilder : TRtfTableSink {
        QTextCursor* Cur = nullptr;
        QTextTable* Table = nullptr;
        void AppendRow(int Columns) override;
        void InsertColumn(int Column) override;
    };
    TTableBuilder FBuilder;

    std::vector<std::pair<TRtfCharState, QTextCharFormat>> FFormats;
    size_t FLastFormat = 0;
    uint32_t FFormatsVersion = 0; // the tables' version that FFormats were made in
};
