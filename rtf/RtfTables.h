#pragma once
// Tables in RTF: rows of cells, each row defined by \trowd and \cellxN (the
// cells' right edges), its paragraphs marked \intbl and its cells ended by
// \cell. Rows of one table may cut it at different edges: the grid's columns
// are all the edges of its rows, and a cell spans the columns between its
// edges. The grid is kept as the rows come, and tells the document builder
// each change to make to its table; the text-only reader reads the cells'
// text out of it at the end. So both agree on the table's text.

#include <cstdint>
#include <vector>

// A table has at most this many columns; a cell with no room left joins the
// cell before it.
constexpr int kRtfMaxColumns = 63;

enum TRtfMerge : uint8_t { mgNone, mgFirst, mgNext };

// One \cellx of a row's definition, with the merges given before it.
struct TRtfCellDef {
    int32_t Right = 0; // the cell's right edge, in twips
    TRtfMerge HMerge = mgNone;
    TRtfMerge VMerge = mgNone;
};

// A row's definition: \trowd, then a TRtfCellDef per \cellx.
struct TRtfRowDef {
    int32_t Left = 0; // \trleft
    std::vector<TRtfCellDef> Cells;
    TRtfCellDef Next; // the merges of the \cellx still to come
};

// What the document builder does to its table as the rows come. Cells are
// merged once the table has ended (see Spans): Qt's tables do not take
// columns inserted among merged cells well.
class TRtfTableSink {
public:
    virtual ~TRtfTableSink() = default;
    // A row is added, with Columns columns when it is the first.
    virtual void AppendRow(int Columns) = 0;
    // A column is added before Column (at the end when it is the count).
    virtual void InsertColumn(int Column) = 0;
};

class TRtfTableGrid {
public:
    explicit TRtfTableGrid(TRtfTableSink* Sink = nullptr) : FSink(Sink) {}

    // A row begins, laid out by Def.
    void BeginRow(const TRtfRowDef& Def);
    // The row's cell K begins: the column where its content goes, or -1
    // when it has none of its own and its content joins the cell before.
    int EnterCell(int K, int64_t Begin);
    // The row's cell K ends: End is where its text ends in the text-only
    // reader's buffer; Empty says whether the table's cell that holds it is
    // empty, -1 to tell by its text.
    void EndCell(int K, int64_t End, int Empty = -1);
    // The row ends: empty cells merged into the one before or above are.
    void EndRow();

    int Rows() const { return int(FSlots.size()); }
    int Columns() const { return int(FEdges.size()); }
    // The columns' widths in twips, 0 where none is known.
    std::vector<int32_t> Widths() const;

    // The cells that span more than one row or column, to merge.
    struct TSpan {
        int Row, Column, Rows, Columns;
    };
    std::vector<TSpan> Spans() const;

    // The cells in the table's order, each as its text's place in the
    // text-only reader's buffer; an empty range for a cell without text.
    struct TRange {
        int64_t Begin = 0, End = 0;
    };
    std::vector<TRange> CellTexts() const;

private:
    struct TCell {
        int Row = 0, Col = 0, Rows = 1, Cols = 1;
        TRtfMerge HMerge = mgNone, VMerge = mgNone;
        bool Empty = true, Dead = false;
        int64_t Begin = 0, End = 0;
    };
    void InsertEdge(int32_t X);
    int ColumnOfEdge(int32_t X) const;

    TRtfTableSink* FSink;
    std::vector<int32_t> FEdges; // the columns' right edges, ascending
    int32_t FLeft = 0;
    std::vector<std::vector<int>> FSlots; // per row and column: a cell, or -1
    std::vector<TCell> FCells;
    // The current row: each RTF cell's range of columns, and its cell.
    std::vector<std::pair<int, int>> FLayout;
    std::vector<TRtfCellDef> FDefs;
    std::vector<int> FRowCells;
};
