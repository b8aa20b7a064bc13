// The main window's find and find next over page titles and texts.

#include "MessageBox.h"
#include "RichEdit.h"
#include "RtfNotes.h"
#include "kel_edit.h"
#include "kel_finddlg.h"
#include "vmr_main.h"
#include "vmr_pagelist.h"
#include "vmr_pagesearch.h"
#include "vmr_utils.h"

#include <algorithm>

void TTPagesMain::aFindExecute() {
    if (!fdlg)
        fdlg = new Tfdlg(this);
    fdlg->Setfindtext(QString());
    FSPos = QPoint(0, 0);
    FSPosRE = 0;
    eText->SetSelLength(0);
    if (fdlg->ShowModal() == 1)
        aFindNextExecute();
}

void TTPagesMain::aFindNextExecute() {
    if (!fdlg || fdlg->findtext().isEmpty()) {
        ShowMessageBox(this, QStringLiteral("Text not found"), QStringLiteral("Warning"),
                       MB_OK | MB_ICONWARNING);
        return;
    }
    const TFindQuery query{fdlg->findtext(), fdlg->searchtypes()};
    TFindPos pos{FSPos, FSPosRE};
    // Without a current page the search starts at the first one.
    const int from = std::max(FCurPageIx, 0);
    // The stored texts are searched as plain text taken straight from their
    // bytes: building a document per page would make a search over a large
    // notebook take seconds.
    TPageTextReader texts;
    const TFindHit hit = FindNextInPages(
        query, ePages->count(), from, [this](int Ix) { return LoadPage(Ix)->Title(); },
        [this, &texts](int Ix) { return texts.Of(LoadPage(Ix)); }, pos);
    FSPos = pos.Pos;
    FSPosRE = pos.TextPos;
    if (hit.Page < 0)
        return;
    SetCurPageIx(hit.Page);
    if (hit.InTitle) {
        eTitle->setFocus();
        eTitle->SetSel(hit.SelStart, hit.SelLength);
    } else {
        eText->SetFocus();
        const int length = eText->TextLength();
        if (hit.SelStart < length) {
            eText->SetSelStart(hit.SelStart);
            eText->SetSelLength(hit.SelLength);
            return;
        }
        // The words of a header, footer, note or comment follow the body's,
        // each group's after a mark of its own: its mark in the text is
        // selected.
        const QStringView text = texts.Of(LoadPage(hit.Page));
        const qsizetype group = text.sliced(std::min<qsizetype>(length, text.size()))
                                    .first(std::max<qsizetype>(
                                        0, std::min<qsizetype>(hit.SelStart, text.size()) - length))
                                    .count(QChar(kRtfNoteWordsMark));
        const int mark = eText->KeptMarkPosition(int(group) - 1);
        if (mark >= 0) {
            eText->SetSelStart(mark);
            eText->SetSelLength(1);
        }
    }
}
