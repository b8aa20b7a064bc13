#pragma once
// Tables in RTF: rows of cells, each row defined by \trowd and \cellxN, its
// paragraphs marked \intbl and its cells ended by \cell. The grid below
// collects what a table's rows said and decides, once the table ends, how
// many columns it has and which cells are merged. The document builder and
// the text-only reader use it alike, so they agree on the table's text.

#include <cstdint>
#include <vector>

// A table has at most this many columns; further cells go into the last.
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

class TRtfTableGrid {
public:
    struct TCell {
        TRtfMerge HMerge = mgNone;
        TRtfMerge VMerge = mgNone;
        bool Empty = true;
        // Where the cell's text stands in the text-only reader's buffer.
        int64_t Begin = 0, End = 0;
    };
    struct TSpan {
        int Row, Column, Rows, Columns;
    };

    // A row ends: its cells, merged as Def says.
    void AddRow(std::vector<TCell> Cells, const TRtfRowDef& Def);
    int Rows() const { return int(FRows.size()); }
    int Columns() const { return FColumns; }
    // The cell at Row, Column; a padded cell when the row was shorter.
    const TCell& Cell(int Row, int Column) const;
    // The widths of the columns in twips, 0 where no definition gave one.
    std::vector<int32_t> Widths() const;

    // The merges: a cell is merged into the one before it (or above it) only
    // when it is empty, so that no text moves.
    std::vector<TSpan> Spans() const;
    // Row-major, one per cell: whether a span covers it.
    std::vector<bool> Covered() const;

private:
    std::vector<std::vector<TCell>> FRows;
    TRtfRowDef FWidest;
    int FColumns = 0;
};
