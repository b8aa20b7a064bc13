#include "vmr_pagesearch.h"

#include "RichTextStream.h"
#include "TextSearch.h"
#include "kel_finddlg.h"
#include "vmr_utils.h"

bool FindNextInTitle(const TFindQuery& Q, const QString& T, TFindPos& P) {
    if (Q.Text.isEmpty())
        return false;
    const int a = StringFoundIn(Q.Text, Q.Types, T, P.Pos.x() == 0 ? 1 : P.Pos.x());
    if (a >= 1) {
        P.Pos.setX(a);
        return true;
    }
    P.Pos.setX(int(T.size()) + 1);
    return false;
}

bool FindNextInText(const TFindQuery& Q, QStringView Text, TFindPos& P, TFindHit& Hit) {
    if (Q.Text.isEmpty())
        return false;
    const int a = FindInText(Text, Q.Text, P.TextPos, int(Text.size()) - P.TextPos, Q.Types);
    if (a < 0)
        return false;
    Hit.InTitle = false;
    Hit.SelStart = a;
    Hit.SelLength = int(Q.Text.size());
    P.TextPos = a + 1;
    return true;
}

TFindHit FindNextInPages(const TFindQuery& Q, int Count, int From,
                         const std::function<QString(int)>& TitleOf,
                         const std::function<QStringView(int)>& TextOf, TFindPos& P) {
    TFindHit hit;
    P.Pos.rx() += 1;
    int ix = From;
    for (int visited = 0; visited < Count; ++visited) {
        const QString title = TitleOf(ix);
        bool found;
        if (title.size() < P.Pos.x()) {
            found = FindNextInText(Q, TextOf(ix), P, hit);
        } else {
            found = FindNextInTitle(Q, title, P);
            if (found) {
                hit.InTitle = true;
                hit.SelStart = P.Pos.x() - 1;
                hit.SelLength = int(Q.Text.size());
            } else {
                found = FindNextInText(Q, TextOf(ix), P, hit);
            }
        }
        if (found) {
            hit.Page = ix;
            return hit;
        }
        ix = ix + 1 < Count ? ix + 1 : 0;
        P.TextPos = 0;
        P.Pos.setX(0);
        P.Pos.setY(ix);
    }
    return hit;
}

QStringView TPageTextReader::Of(const TPage* Page) {
    return PlainTextOfRichText(Page->Text(), FBuffer);
}
