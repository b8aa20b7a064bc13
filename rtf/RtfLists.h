#pragma once
// Lists in RTF. The rich-edit control numbers paragraphs with {\*\pn ...};
// word processors define lists in a list table that paragraphs name with \ls
// and \ilvl. Both are read into QTextList styles, and items are written back
// in the control's own form.

#include <QByteArray>
#include <QTextListFormat>

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

// List levels are 0 to 8.
constexpr int kRtfMaxListLevel = 8;
// Lists and overrides kept from a list table; more are ignored.
constexpr int kRtfMaxLists = 1024;

// One level of a list-table entry.
struct TRtfListLevel {
    QTextListFormat::Style Style = QTextListFormat::ListDisc;
    int32_t Start = 1;
    bool Numbered = true; // false for \levelnfc255: no number at all
};

// The list table and the override table of a document while they are read.
class TRtfListTable {
public:
    void BeginList();
    void BeginLevel();
    void SetNfc(int32_t Nfc);
    void SetStartAt(int32_t N);
    void SetListId(int32_t Id);
    void BeginOverride();
    void SetOverrideListId(int32_t Id);
    void SetOverrideLs(int32_t Ls);

    // The level that a paragraph's \lsN \ilvlN names, or null.
    const TRtfListLevel* Level(int32_t Ls, int Ilvl) const;

private:
    struct TList {
        int32_t Id = 0;
        std::vector<TRtfListLevel> Levels;
    };
    struct TOverride {
        int32_t ListId = 0;
        int32_t Ls = 0;
    };
    std::vector<TList> FLists;
    std::vector<TOverride> FOverrides;
    bool FInLevel = false;
};

// The style of a \levelnfcN number format.
QTextListFormat::Style StyleOfLevelNfc(int32_t Nfc);

// A list's first number.
int ListStart(const QTextListFormat& List);
// The number or bullet shown before the item at Index (from 0) of List.
QString ListMarker(const QTextListFormat& List, int Index);
// The {\pntext ...}{\*\pn ...} groups that make a paragraph the item at Index
// of List for the rich-edit control.
QByteArray PnGroups(const QTextListFormat& List, int Index);
// The list table's entry of a list of nine levels, each numbered as its
// format says, under Id, as word processors read it; and the override that
// paragraphs name as \lsId.
using TRtfListLevels = std::array<QTextListFormat, kRtfMaxListLevel + 1>;
QByteArray ListTableEntry(const TRtfListLevels& Levels, int Id);
QByteArray ListOverrideEntry(int Id);
// The indent of an item at Level, in twips, as the control writes it; and
// the level that an item's left indent stands for.
int32_t ListIndentOfLevel(int Level);
int LevelOfListIndent(int32_t Li);
