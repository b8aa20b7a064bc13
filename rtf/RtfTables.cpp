#include "RtfTables.h"

#include <algorithm>

void TRtfTableGrid::AddRow(std::vector<TCell> Cells, const TRtfRowDef& Def) {
    const size_t n = std::min(std::max(Cells.size(), Def.Cells.size()), size_t(kRtfMaxColumns));
    Cells.resize(n);
    for (size_t i = 0; i < n && i < Def.Cells.size(); ++i) {
        Cells[i].HMerge = Def.Cells[i].HMerge;
        Cells[i].VMerge = Def.Cells[i].VMerge;
    }
    if (Def.Cells.size() > FWidest.Cells.size())
        FWidest = Def;
    FColumns = std::max(FColumns, int(n));
    FRows.push_back(std::move(Cells));
}

const TRtfTableGrid::TCell& TRtfTableGrid::Cell(int Row, int Column) const {
    static const TCell kPadding;
    const std::vector<TCell>& r = FRows[size_t(Row)];
    return size_t(Column) < r.size() ? r[size_t(Column)] : kPadding;
}

std::vector<int32_t> TRtfTableGrid::Widths() const {
    std::vector<int32_t> w(size_t(FColumns), 0);
    int32_t left = FWidest.Left;
    for (size_t i = 0; i < FWidest.Cells.size() && i < w.size(); ++i) {
        const int32_t right = FWidest.Cells[i].Right;
        w[i] = right > left ? right - left : 0;
        left = std::max(left, right);
    }
    return w;
}

std::vector<TRtfTableGrid::TSpan> TRtfTableGrid::Spans() const {
    const int rows = Rows(), cols = FColumns;
    // The width of the horizontal span that starts at each cell: 0 where a
    // span covers the cell.
    std::vector<int> width(size_t(rows) * size_t(cols), 1);
    const auto at = [&](int r, int c) { return size_t(r) * size_t(cols) + size_t(c); };
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (Cell(r, c).HMerge != mgFirst)
                continue;
            int n = 1;
            while (c + n < cols && Cell(r, c + n).HMerge == mgNext && Cell(r, c + n).Empty)
                width[at(r, c + n++)] = 0;
            width[at(r, c)] = n;
            c += n - 1;
        }
    }
    std::vector<int> height(width.size(), 1);
    for (int c = 0; c < cols; ++c) {
        for (int r = 0; r < rows; ++r) {
            const int w = width[at(r, c)];
            if (w == 0 || Cell(r, c).VMerge != mgFirst)
                continue;
            int n = 1;
            while (r + n < rows && width[at(r + n, c)] == w && Cell(r + n, c).VMerge == mgNext &&
                   Cell(r + n, c).Empty)
                height[at(r + n++, c)] = 0;
            height[at(r, c)] = n;
            r += n - 1;
        }
    }
    std::vector<TSpan> spans;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const int w = width[at(r, c)], h = height[at(r, c)];
            if (w > 0 && h > 0 && (w > 1 || h > 1))
                spans.push_back({r, c, h, w});
        }
    return spans;
}

std::vector<bool> TRtfTableGrid::Covered() const {
    std::vector<bool> covered(size_t(Rows()) * size_t(FColumns), false);
    for (const TSpan& s : Spans())
        for (int r = s.Row; r < s.Row + s.Rows; ++r)
            for (int c = s.Column; c < s.Column + s.Columns; ++c)
                if (r != s.Row || c != s.Column)
                    covered[size_t(r) * size_t(FColumns) + size_t(c)] = true;
    return covered;
}
