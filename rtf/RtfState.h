#pragma once
// What the RTF reader's state machine knows while it reads: the character
// and paragraph properties in force, and the document's tables of fonts,
// colours, links and lists, which its sinks read.

#include "RtfLists.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <unordered_map>
#include <vector>

enum TRtfAlign : uint8_t { alLeft, alCenter, alRight, alJustify };
enum TRtfVAlign : uint8_t { vaNone, vaSuper, vaSub };

constexpr int32_t kRtfDefaultHalfPoints = 24;

struct TRtfCharState {
    int32_t Font = -1; // -1: the document's default font
    int32_t HalfPoints = kRtfDefaultHalfPoints;
    int32_t Fg = 0;
    int32_t Bg = 0;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    TRtfVAlign VAlign = vaNone;
    bool Hidden = false;
    int32_t Link = -1; // the hyperlink target's index, in a field's result
    bool operator==(const TRtfCharState&) const = default;
};

struct TRtfParaState {
    TRtfAlign Align = alLeft;
    int32_t Li = 0, Ri = 0, Fi = 0, Sb = 0, Sa = 0; // twips
    // The rich-edit form of a list item: the QTextListFormat::Style, 0 for
    // none; \pnlvlcont: inside an item, without a number of its own.
    int8_t Pn = 0;
    bool PnCont = false;
    int8_t PnLevel = -1; // \pnlvlN, less one
    char16_t PnBefore = 0, PnAfter = 0;
    int32_t PnStart = 1;
    // The word-processor form: \lsN (0 for none) and \ilvlN.
    int32_t Ls = 0;
    int8_t Ilvl = -1;
    int8_t Itap = 0; // table nesting; 0 outside tables
    bool HasList() const { return Pn != 0 || Ls > 0; }
    bool operator==(const TRtfParaState&) const = default;
};

struct TRtfFont {
    QString Name;
    int CodePage = 0;
};

// The tables a document defines before its text uses them.
struct TRtfDocTables {
    int32_t Deff = 0;
    std::unordered_map<int32_t, TRtfFont> Fonts;
    std::vector<QColor> Colors;
    std::vector<QString> Links;
    TRtfListTable Lists;
    // Counts changes to fonts and colours, so that formats made of them are
    // made again.
    uint32_t Version = 0;

    const TRtfFont* FontOf(int32_t Font) const {
        const auto it = Fonts.find(Font >= 0 ? Font : Deff);
        return it == Fonts.end() ? nullptr : &it->second;
    }
};
