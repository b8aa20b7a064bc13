#pragma once
// Page lists for tests that free their pages however the test ends.

#include "vmr_utils.h"

#include <QString>
#include <memory>
#include <vector>

struct TOwnedPages {
    TPageList* List = KelNewCreated<TPageList>();
    TOwnedPages() = default;
    TOwnedPages(const TOwnedPages&) = delete;
    TOwnedPages& operator=(const TOwnedPages&) = delete;
    ~TOwnedPages() { TKelList::FreeAll(List); }

    // Appends in the given order, without sorting.
    TPage* Add(const QString& Title, const QByteArray& Text = {}) {
        auto page = std::make_unique<TPage>();
        page->SetTitle(Title);
        page->SetText(Text);
        List->Add(page.get());
        return page.release();
    }
};

// Pages handed over by the vault reader, in the order received.
using TReadPages = std::vector<std::unique_ptr<TPage>>;

inline auto CollectInto(TReadPages& Pages) {
    return [&Pages](TPage* p) { Pages.emplace_back(p); };
}
