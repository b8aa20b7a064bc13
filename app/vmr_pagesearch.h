#pragma once
// Find next over the pages, without a window: titles before texts, page by
// page from a given page, with the search positions the main window keeps
// between presses. Texts are searched as the editor would show them, taken
// straight from the stored bodies.

#include "RtfText.h"
#include "SearchTypes.h"

#include <QPoint>
#include <QString>
#include <QStringView>
#include <functional>

class TPage;

struct TFindQuery {
    QString Text; // "" finds nothing
    TSearchTypes Types;
};

// Where the search stands. Pos.X: 0 before the title of the page at hand, the
// 1-based position of the last match in it, or past its length once the text
// is searched. Pos.Y: the page the search last moved on to. TextPos: the
// 0-based position in the text where the next text search starts.
struct TFindPos {
    QPoint Pos;
    int TextPos = 0;
};

struct TFindHit {
    int Page = -1; // -1: no match on any page
    bool InTitle = false;
    int SelStart = 0; // 0-based, in the title or in the text
    int SelLength = 0;
};

// Looks for Q in the title T from Pos.X (from 1 when it is 0). A hit sets
// Pos.X to its 1-based position; otherwise Pos.X moves past the title.
bool FindNextInTitle(const TFindQuery& Q, const QString& T, TFindPos& P);

// Looks for Q in Text from TextPos on. A hit selects it in Hit and sets
// TextPos one past its start, so that matches may overlap; otherwise TextPos
// stays.
bool FindNextInText(const TFindQuery& Q, QStringView Text, TFindPos& P, TFindHit& Hit);

// One find next over Count pages starting at page From, each page's title
// before its text. Pages without a match reset the positions for the next
// one; after Count pages without a match the positions stand at 0 on page
// From again. TextOf is asked only for pages whose text is searched; what it
// returns need only last until it is asked again.
TFindHit FindNextInPages(const TFindQuery& Q, int Count, int From,
                         const std::function<QString(int)>& TitleOf,
                         const std::function<QStringView(int)>& TextOf, TFindPos& P);

// The plain text of page bodies during one search, read straight from their
// bytes into one buffer: each text is searched and left behind, so a search
// over a large notebook neither builds documents nor keeps a copy of it.
class TPageTextReader {
public:
    // The text of Page's body, valid until the next call.
    QStringView Of(const TPage* Page);

private:
    TRtfText FBuffer;
};
