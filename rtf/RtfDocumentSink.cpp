#include "RtfDocumentSink.h"

#include "RtfNotes.h"
#include "RtfPictures.h"
#include "TextFormats.h"
#include "TextObjects.h"

#include <QTextDocument>
#include <QTextTable>

TRtfDocumentSink::TRtfDocumentSink(QTextDocument& Doc) : TRtfSink(FText), FCur(&Doc) {
    FCur.beginEditBlock();
}

void TRtfDocumentSink::EndRun(const TRtfCharState& State) {
    if (FText.IsEmpty())
        return;
    FCur.insertText(FText.View().toString(), FormatOf(State));
    FText.Clear();
}

void TRtfDocumentSink::BeginBlock(const TRtfParaState& Para, const TRtfCharState& Char) {
    FCur.insertBlock(BlockFormatOf(Para), FormatOf(Char));
    FBlockPara = Para;
    FBlockParaKnown = true;
    FBlockList = nullptr;
}

void TRtfDocumentSink::FinishBlock(const TRtfParaState& Para, const TRtfCharState& Char,
                                   bool Empty) {
    if (!FBlockParaKnown || !(Para == FBlockPara)) {
        FCur.setBlockFormat(BlockFormatOf(Para));
        FBlockPara = Para;
        FBlockParaKnown = true;
        FBlockList = nullptr; // the new format belongs to no list
    }
    if (QTextList* list = ListOf(Para); list != FBlockList) {
        if (list)
            list->add(FCur.block());
        else
            FBlockList->remove(FCur.block());
        FBlockList = list;
    }
    if (Empty)
        FCur.setBlockCharFormat(FormatOf(Char));
}

void TRtfDocumentSink::Picture(const TRtfPicture& P, QByteArrayView Group) {
    FCur.insertImage(PictureFormat(P, Group, FCur.document()));
}

void TRtfDocumentSink::Kept(TRtfNoteKind Kind, int Number, QByteArrayView Group,
                            const QString& Words) {
    FCur.insertImage(NoteFormat(Kind, Number, Group, Words, FCur.document()));
}

// The next block is a new one, whose format is not known yet.
void TRtfDocumentSink::ForgetBlock() {
    FBlockParaKnown = false;
    FBlockList = nullptr;
}

TRtfTableSink* TRtfDocumentSink::BeginTable() {
    FBuilder.Cur = &FCur;
    FBuilder.Table = nullptr;
    return &FBuilder;
}

void TRtfDocumentSink::EnterCell(int Row, int Column) {
    ForgetBlock();
    if (FBuilder.Table)
        FCur = FBuilder.Table->cellAt(Row, Column).lastCursorPosition();
}

int TRtfDocumentSink::CellEmpty() {
    if (!FBuilder.Table)
        return -1;
    const QTextTableCell cell = FBuilder.Table->cellAt(FCur.position());
    return cell.firstPosition() == cell.lastPosition();
}

void TRtfDocumentSink::EndTable(const TRtfTableGrid& Grid, int64_t) {
    ForgetBlock();
    QTextTable* table = FBuilder.Table;
    if (!table)
        return;
    for (const TRtfTableGrid::TSpan& s : Grid.Spans())
        table->mergeCells(s.Row, s.Column, s.Rows, s.Columns);
    QList<QTextLength> widths;
    for (const int32_t w : Grid.Widths())
        widths.append(w > 0 ? QTextLength(QTextLength::FixedLength, w / TextObjects::kTwipsPerPixel)
                            : QTextLength());
    QTextTableFormat f = table->format();
    f.setColumnWidthConstraints(widths);
    table->setFormat(f);
    FCur = QTextCursor(table->document());
    FCur.setPosition(table->lastPosition() + 1);
    FBuilder.Table = nullptr;
}

void TRtfDocumentSink::End() {
    FCur.endEditBlock();
}

void TRtfDocumentSink::TTableBuilder::AppendRow(int Columns) {
    if (Table) {
        Table->appendRows(1);
        return;
    }
    QTextTableFormat f;
    f.setBorder(1);
    f.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    f.setBorderCollapse(true);
    f.setCellSpacing(0);
    f.setCellPadding(4);
    Table = Cur->insertTable(1, Columns, f);
}

void TRtfDocumentSink::TTableBuilder::InsertColumn(int Column) {
    if (!Table)
        return;
    if (Column >= Table->columns())
        Table->appendColumns(1);
    else
        Table->insertColumns(Column, 1);
}

// The list that a paragraph with P is an item of, made when it is the first.
// Rich-edit lists run while their paragraphs follow each other; lists of the
// list table run through the document, as word processors number them.
QTextList* TRtfDocumentSink::ListOf(const TRtfParaState& P) {
    constexpr size_t kMaxLsLists = 4096;
    const auto make = [&](QTextListFormat::Style Style, int Level, int Start) {
        QTextListFormat f;
        f.setStyle(Style);
        f.setIndent(Level + 1);
        f.setProperty(TextFormats::kListStart, Start);
        return f;
    };
    // The rich-edit form says exactly how the number looks.
    const auto pnFormat = [&](int Level) {
        QTextListFormat f = make(QTextListFormat::Style(P.Pn), Level, P.PnStart);
        if (P.PnBefore)
            f.setNumberPrefix(QString(QChar(P.PnBefore)));
        f.setNumberSuffix(P.PnAfter ? QString(QChar(P.PnAfter)) : QString());
        return f;
    };
    if (P.Ls > 0) {
        const int level = std::max<int>(P.Ilvl, 0);
        if (const TRtfListLevel* l = Tables().Lists.Level(P.Ls, level); l && l->Numbered) {
            const int64_t key = int64_t(P.Ls) * 16 + level;
            if (const auto it = FLsLists.find(key); it != FLsLists.end() && it->second)
                return it->second;
            if (FLsLists.size() >= kMaxLsLists)
                return nullptr;
            QTextListFormat f = P.Pn ? pnFormat(level) : make(l->Style, level, l->Start);
            if (!P.Pn)
                f.setNumberSuffix(QStringLiteral("."));
            QTextList* list = FCur.createList(f);
            FLsLists[key] = list;
            return list;
        }
    }
    if (P.Pn == 0) {
        if (!P.PnCont)
            FPnLists.fill(nullptr);
        return nullptr;
    }
    const int level = P.PnLevel >= 0 ? P.PnLevel : P.Ilvl >= 0 ? P.Ilvl : LevelOfListIndent(P.Li);
    const auto style = QTextListFormat::Style(P.Pn);
    // A deeper list starts over under each item of this one.
    std::fill(FPnLists.begin() + level + 1, FPnLists.end(), nullptr);
    QPointer<QTextList>& list = FPnLists[size_t(level)];
    if (list && list->format().style() == style)
        return list;
    list = FCur.createList(pnFormat(level));
    return list;
}

const QTextCharFormat& TRtfDocumentSink::FormatOf(const TRtfCharState& S) {
    const TRtfDocTables& t = Tables();
    if (FFormatsVersion != t.Version) {
        FFormats.clear();
        FFormatsVersion = t.Version;
    }
    // Runs mostly return to a recent format, the last one most of all.
    if (FLastFormat < FFormats.size() && FFormats[FLastFormat].first == S)
        return FFormats[FLastFormat].second;
    for (size_t i = 0; i < FFormats.size(); ++i) {
        if (FFormats[i].first == S) {
            FLastFormat = i;
            return FFormats[i].second;
        }
    }
    QTextCharFormat f;
    if (const TRtfFont* font = t.FontOf(S.Font); font && !font->Name.isEmpty())
        f.setFontFamilies(QStringList{font->Name});
    f.setFontPointSize(S.HalfPoints / 2.0);
    if (S.Bold)
        f.setFontWeight(QFont::Bold);
    if (S.Italic)
        f.setFontItalic(true);
    if (S.Underline)
        f.setFontUnderline(true);
    if (S.Strike)
        f.setFontStrikeOut(true);
    if (S.Fg >= 0 && size_t(S.Fg) < t.Colors.size() && t.Colors[size_t(S.Fg)].isValid())
        f.setForeground(t.Colors[size_t(S.Fg)]);
    if (S.Bg > 0 && size_t(S.Bg) < t.Colors.size() && t.Colors[size_t(S.Bg)].isValid())
        f.setBackground(t.Colors[size_t(S.Bg)]);
    if (S.Hidden) {
        f.setProperty(TextFormats::kHidden, true);
        if (!S.Underline)
            f.setUnderlineStyle(QTextCharFormat::DotLine);
    }
    if (S.Link >= 0 && size_t(S.Link) < t.Links.size()) {
        f.setAnchor(true);
        f.setAnchorHref(t.Links[size_t(S.Link)]);
    }
    if (S.VAlign == vaSuper)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (S.VAlign == vaSub)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (FFormats.size() >= 64)
        FFormats.clear();
    FFormats.emplace_back(S, f);
    FLastFormat = FFormats.size() - 1;
    return FFormats.back().second;
}

QTextBlockFormat TRtfDocumentSink::BlockFormatOf(const TRtfParaState& P) const {
    QTextBlockFormat f;
    // A list item's indent is its list's.
    if (!P.HasList()) {
        if (P.Li)
            f.setLeftMargin(P.Li / TextObjects::kTwipsPerPixel);
        if (P.Fi)
            f.setTextIndent(P.Fi / TextObjects::kTwipsPerPixel);
    }
    if (P.Ri)
        f.setRightMargin(P.Ri / TextObjects::kTwipsPerPixel);
    if (P.Sb)
        f.setTopMargin(P.Sb / TextObjects::kTwipsPerPixel);
    if (P.Sa)
        f.setBottomMargin(P.Sa / TextObjects::kTwipsPerPixel);
    switch (P.Align) {
    case alCenter:
        f.setAlignment(Qt::AlignHCenter);
        break;
    case alRight:
        f.setAlignment(Qt::AlignRight);
        break;
    case alJustify:
        f.setAlignment(Qt::AlignJustify);
        break;
    case alLeft:
        break;
    }
    return f;
}
