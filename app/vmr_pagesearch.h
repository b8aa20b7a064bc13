#pragma once
// Find next over the pages, without a window: titles before texts, page by
// page from a given page, with the search positions the main window keeps
// between presses. Texts are searched as the editor would show them, taken
// straight from the stored bodies.

#include "SearchTypes.h"

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <functional>
#include <unordered_map>

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
bool FindNextInText(const TFindQuery& Q, const QString& Text, TFindPos& P, TFindHit& Hit);

// One find next over Count pages starting at page From, each page's title
// before its text. Pages without a match reset the positions for the next
// one; after Count pages without a match the positions stand at 0 on page
// From again. TextOf is asked only for pages whose text is searched.
TFindHit FindNextInPages(const TFindQuery& Q, int Count, int From,
                         const std::function<QString(int)>& TitleOf,
                         const std::function<QString(int)>& TextOf, TFindPos& P);

// The plain text of each page's stored body, kept from one search to the
// next: pressing find next again need not read every body anew. An entry
// holds on to the body it was taken from and serves only while the page still
// stores that very body; a body is never changed in place while shared, so the
// text is always the body's own.
class TPlainTextCache {
public:
    QString Of(const TPage* Page);
    // Drops the entry of a page that is about to be freed.
    void Forget(const TPage* Page) { FEntries.erase(Page); }
    void Clear() { FEntries.clear(); }

private:
    struct TEntry {
        QByteArray Body;
        QString Plain;
    };
    std::unordered_map<const TPage*, TEntry> FEntries;
};
