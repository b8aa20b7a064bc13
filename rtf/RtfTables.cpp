#include "RtfTables.h"

#include <algorithm>

void TRtfTableGrid::InsertEdge(int32_t X) {
    const auto at = std::lower_bound(FEdges.begin(), FEdges.end(), X);
    if (at != FEdges.end() && *at == X)
        return;
    if (Columns() >= kRtfMaxColumns)
        return;
    const int j = int(at - FEdges.begin());
    FEdges.insert(at, X);
    if (j == Columns() - 1 || FSlots.empty()) {
        // A column beyond the others: padding in the rows before.
        if (FSink && !FSlots.empty())
            FSink->InsertColumn(j);
        for (std::vector<int>& row : FSlots)
            row.push_back(-1);
        return;
    }
    // Column j is cut in two: the new column j + 1 is its right part, and a
    // cell over column j spans both.
    if (FSink)
        FSink->InsertColumn(j + 1);
    std::vector<bool> seen(FCells.size(), false);
    for (std::vector<int>& row : FSlots) {
        const int id = row[size_t(j)];
        row.insert(row.begin() + j + 1, id);
        if (id < 0 || seen[size_t(id)])
            continue;
        seen[size_t(id)] = true;
        TCell& c = FCells[size_t(id)];
        ++c.Cols;
    }
    for (TCell& c : FCells)
        if (c.Col > j)
            ++c.Col;
}

// The column whose right edge is X, or the first beyond it, or the last.
int TRtfTableGrid::ColumnOfEdge(int32_t X) const {
    const auto at = std::lower_bound(FEdges.begin(), FEdges.end(), X);
    return at == FEdges.end() ? Columns() - 1 : int(at - FEdges.begin());
}

void TRtfTableGrid::BeginRow(const TRtfRowDef& Def) {
    // Edges go left to right; a damaged definition is made to.
    std::vector<int32_t> edges;
    int32_t last = Def.Left;
    for (const TRtfCellDef& d : Def.Cells) {
        last = d.Right > last ? d.Right : last + 1;
        edges.push_back(last);
    }
    if (FSlots.empty())
        FLeft = Def.Left;
    for (const int32_t x : edges)
        InsertEdge(x);
    if (FEdges.empty())
        FEdges.push_back(1); // a row without a definition has a column all the same
    FSlots.emplace_back(size_t(Columns()), -1);
    if (FSink)
        FSink->AppendRow(Columns());
    FDefs = Def.Cells;
    FLayout.clear();
    FRowCells.clear();
    int from = 0;
    for (const int32_t x : edges) {
        const int to = ColumnOfEdge(x);
        FLayout.emplace_back(from, to);
        from = std::max(from, to + 1);
    }
}

int TRtfTableGrid::EnterCell(int K, int64_t Begin) {
    const int row = Rows() - 1;
    while (FLayout.size() <= size_t(K)) {
        // A cell that the definition does not name takes the next column.
        const int from = FLayout.empty() ? 0 : FLayout.back().second + 1;
        if (from >= Columns())
            InsertEdge(FEdges.back() + 1);
        FLayout.emplace_back(from, std::min(from, Columns() - 1));
    }
    while (FRowCells.size() <= size_t(K))
        FRowCells.push_back(-1);
    const auto [from, to] = FLayout[size_t(K)];
    if (from > to || from >= Columns() || FSlots[size_t(row)][size_t(from)] >= 0) {
        // No room: the content joins the cell before, if there is one.
        int before = -1;
        for (int k = K - 1; k >= 0 && before < 0; --k)
            before = FRowCells[size_t(k)];
        FRowCells[size_t(K)] = before;
        return -1;
    }
    TCell c;
    c.Row = row;
    c.Col = from;
    c.Cols = to - from + 1;
    c.Begin = c.End = Begin;
    if (size_t(K) < FDefs.size()) {
        c.HMerge = FDefs[size_t(K)].HMerge;
        c.VMerge = FDefs[size_t(K)].VMerge;
    }
    const int id = int(FCells.size());
    FCells.push_back(c);
    for (int i = from; i <= to; ++i)
        FSlots[size_t(row)][size_t(i)] = id;
    FRowCells[size_t(K)] = id;
    return from;
}

void TRtfTableGrid::EndCell(int K, int64_t End, int Empty) {
    if (size_t(K) >= FRowCells.size() || FRowCells[size_t(K)] < 0)
        return;
    TCell& c = FCells[size_t(FRowCells[size_t(K)])];
    c.End = End;
    c.Empty = Empty < 0 ? End == c.Begin : Empty != 0;
}

void TRtfTableGrid::EndRow() {
    const int row = Rows() - 1;
    if (row < 0)
        return;
    std::vector<int> ids;
    for (const int id : FRowCells)
        if (id >= 0 && (ids.empty() || ids.back() != id))
            ids.push_back(id);
    // Into the cell before: the merged cell's columns are its.
    for (size_t i = 1; i < ids.size(); ++i) {
        TCell& c = FCells[size_t(ids[i])];
        int p = int(i) - 1;
        while (p >= 0 && FCells[size_t(ids[size_t(p)])].Dead)
            --p;
        if (p < 0 || c.HMerge != mgNext || !c.Empty)
            continue;
        TCell& before = FCells[size_t(ids[size_t(p)])];
        if (before.Rows != 1 || before.Col + before.Cols != c.Col)
            continue;
        before.Cols += c.Cols;
        for (int k = c.Col; k < c.Col + c.Cols; ++k)
            FSlots[size_t(row)][size_t(k)] = ids[size_t(p)];
        c.Dead = true;
    }
    // Into the cell above, when it begins or continues a vertical merge of
    // the same columns.
    if (row == 0)
        return;
    for (const int id : ids) {
        TCell& c = FCells[size_t(id)];
        if (c.Dead || c.VMerge != mgNext || !c.Empty)
            continue;
        const int aboveId = FSlots[size_t(row - 1)][size_t(c.Col)];
        if (aboveId < 0)
            continue;
        TCell& above = FCells[size_t(aboveId)];
        if (above.VMerge != mgFirst || above.Col != c.Col || above.Cols != c.Cols ||
            above.Row + above.Rows != row)
            continue;
        ++above.Rows;
        for (int k = c.Col; k < c.Col + c.Cols; ++k)
            FSlots[size_t(row)][size_t(k)] = aboveId;
        c.Dead = true;
    }
}

std::vector<int32_t> TRtfTableGrid::Widths() const {
    std::vector<int32_t> w;
    int32_t left = FLeft;
    for (const int32_t e : FEdges) {
        // Columns made up for cells without a definition have no width.
        w.push_back(e - left >= 15 ? e - left : 0);
        left = e;
    }
    return w;
}

std::vector<TRtfTableGrid::TSpan> TRtfTableGrid::Spans() const {
    std::vector<TSpan> spans;
    for (const TCell& c : FCells)
        if (!c.Dead && (c.Rows > 1 || c.Cols > 1))
            spans.push_back({c.Row, c.Col, c.Rows, c.Cols});
    return spans;
}

std::vector<TRtfTableGrid::TRange> TRtfTableGrid::CellTexts() const {
    std::vector<TRange> out;
    for (int r = 0; r < Rows(); ++r)
        for (int c = 0; c < Columns(); ++c) {
            const int id = FSlots[size_t(r)][size_t(c)];
            if (id < 0) {
                out.push_back({});
                continue;
            }
            const TCell& cell = FCells[size_t(id)];
            if (cell.Row == r && cell.Col == c)
                out.push_back(cell.Empty ? TRange{} : TRange{cell.Begin, cell.End});
        }
    return out;
}
