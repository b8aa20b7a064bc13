#include "vault/PageFixtures.h"
#include "vmr_utils.h"

#include <QtTest>
#include <functional>
#include <random>

namespace {
class TCountedPage : public TPage {
public:
    KEL_DECLARE_CLASS(TCountedPage)
    TCountedPage() { ++Live; }
    ~TCountedPage() override { --Live; }
    static inline int Live = 0;
};
KEL_DEFINE_CLASS(TCountedPage, TPage)

TPage* Page(const QString& title) {
    auto* p = KelNewCreated<TCountedPage>();
    p->SetTitle(title);
    return p;
}

QStringList Titles(const TPageList& list) {
    QStringList titles;
    for (int i = 0; i < list.Count(); ++i)
        titles << list.GetPages(i)->Title();
    return titles;
}

bool InOrder(const TPageList& list) {
    for (int i = 1; i < list.Count(); ++i)
        if (ComparePageTitles(list.GetItems(i - 1), list.GetItems(i)) > 0)
            return false;
    return true;
}

QString RandomTitle(std::mt19937& rng) {
    static const QString letters = QStringLiteral("aAbB_Zz9 \u00c9\u00e9");
    QString t;
    for (int n = int(rng() % 5); n > 0; --n)
        t += letters[qsizetype(rng() % letters.size())];
    return t;
}

} // namespace

class TestPageList : public QObject {
    Q_OBJECT
private slots:
    void init() { TCountedPage::Live = 0; }
    void cleanup() { QCOMPARE(TCountedPage::Live, 0); }

    void compareTitles_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        QTest::newRow("A to Z as lower case") << "Notes"
                                              << "notes" << 0;
        QTest::newRow("underscore before letters") << "_notes"
                                                   << "Zeta" << -1;
        QTest::newRow("bracket before letters") << "[x]"
                                                << "a" << -1;
        QTest::newRow("grave accent before letters") << "`"
                                                     << "A" << -1;
        QTest::newRow("digits before letters") << "9 lives"
                                               << "a" << -1;
        QTest::newRow("non-ASCII after ASCII") << "zebra"
                                               << "\u00c9clair" << -1;
        QTest::newRow("non-ASCII keeps its case") << "\u00c9clair"
                                                  << "\u00e9clair" << -1;
        QTest::newRow("prefix first") << "abc"
                                      << "ABCD" << -1;
        QTest::newRow("empty first") << ""
                                     << "!" << -1;
        QTest::newRow("both empty") << ""
                                    << "" << 0;
        QTest::newRow("by code unit, not code point") << "\U0001F600"
                                                      << "\uFFFF" << -1;
    }
    void compareTitles() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        TPage pa, pb;
        pa.SetTitle(a);
        pb.SetTitle(b);
        QCOMPARE(ComparePageTitles(&pa, &pb), expected);
        QCOMPARE(ComparePageTitles(&pb, &pa), -expected);
    }

    void entriesThatAreNotPagesCompareAsEmptyTitles() {
        TPage p;
        p.SetTitle("a");
        TPage empty;
        TKelObj other;
        QCOMPARE(ComparePageTitles(nullptr, &p), -1);
        QCOMPARE(ComparePageTitles(&other, &empty), 0);
    }

    void addPageReturnsTheNewIndex() {
        TOwnedPages pages;
        QCOMPARE(pages.List->AddPage(Page("beta")), 0);
        QCOMPARE(pages.List->AddPage(Page("Alpha")), 0);
        QCOMPARE(pages.List->AddPage(Page("alpha2")), 1);
        QCOMPARE(Titles(*pages.List), QStringList({"Alpha", "alpha2", "beta"}));
        QCOMPARE(pages.List->AddPage(Page("")), 0);
        QCOMPARE(pages.List->AddPage(Page("\u00c9clair")), 4);
        QCOMPARE(pages.List->AddPage(Page("_notes")), 1);
        TPage* lower = Page("notes");
        TPage* upper = Page("Notes");
        pages.List->AddPage(lower);
        pages.List->AddPage(upper);
        QCOMPARE(pages.List->Count(), 8);
        QVERIFY(pages.List->IndexOf(lower) >= 0);
        QVERIFY(pages.List->IndexOf(upper) >= 0);
        QVERIFY(InOrder(*pages.List));
    }

    // Whatever was done to the list since, AddPage leaves it in order and
    // returns the index of p's first entry.
    void addPageKeepsTheListInOrder() {
        TOwnedPages pages;
        TPageList& list = *pages.List;
        std::mt19937 rng(11);
        const std::vector<std::function<void()>> meddle = {
            [&] { list.GetPages(int(rng() % list.Count()))->SetTitle(RandomTitle(rng)); },
            [&] { list.Exchange(0, list.Count() - 1); },
            [&] { list.SetItems(0, list.GetItems(list.Count() - 1)); },
            [&] { list.Add(list.GetItems(0)); },
            [&] {
                TPage* p = list.GetPages(0);
                list.Delete(0);
                p->SetTitle(RandomTitle(rng)); // out of the list: no harm
                list.AddPage(p);
            },
        };
        std::vector<TPage*> made;
        for (int i = 0; i < 600; ++i) {
            TPage* p = Page(RandomTitle(rng));
            made.push_back(p);
            if (i > 0 && rng() % 7 == 0)
                meddle[rng() % meddle.size()]();
            const int at = list.AddPage(p);
            QCOMPARE(list.GetPages(at), p);
            QCOMPARE(list.IndexOf(p), at);
            QVERIFY(InOrder(list));
        }
        // Entries were duplicated and overwritten above: free each page once.
        list.Clear();
        for (TPage* p : made)
            delete p;
    }

    void addingAPageTwiceReturnsItsFirstEntry() {
        TOwnedPages pages;
        TPage* p = Page("same");
        pages.List->AddPage(Page("same"));
        pages.List->AddPage(p);
        pages.List->AddPage(Page("same"));
        const int again = pages.List->AddPage(p);
        QCOMPARE(again, pages.List->IndexOf(p));
        pages.List->Delete(pages.List->IndexOf(p)); // keep one reference to free
    }

    void settingATitleMovesNothingUntilSorted() {
        TOwnedPages pages;
        TPage* a = Page("a");
        pages.List->AddPage(a);
        pages.List->AddPage(Page("b"));
        pages.List->AddPage(Page("c"));
        a->SetTitle("z");
        QCOMPARE(Titles(*pages.List), QStringList({"z", "b", "c"}));
        pages.List->SortList();
        QCOMPARE(Titles(*pages.List), QStringList({"b", "c", "z"}));
    }

    void getPagesOutOfRange() {
        TOwnedPages pages;
        pages.List->AddPage(Page("x"));
        pages.List->AddPage(Page("y"));
        for (int ix : {2, -1}) {
            try {
                pages.List->GetPages(ix);
                QFAIL("no error raised");
            } catch (const EListError& e) {
                QCOMPARE(QString::fromStdString(e.Message()),
                         QStringLiteral("List index out of bounds (%1)").arg(ix));
            }
        }
        QCOMPARE(pages.List->Count(), 2);
    }

    void pagesAreCreatedEmptyAndFreedOnlyOnRequest() {
        std::unique_ptr<TObject> made(TPage::StaticClass()->Create());
        auto* page = static_cast<TPage*>(made.get());
        QVERIFY(page->Title().isEmpty());
        QVERIFY(page->Text().isEmpty());
        QCOMPARE(QString(page->ClassName()), QString("TPage"));
        QCOMPARE(QString(TPageList::StaticClass()->Name), QString("TPageList"));
        QVERIFY(!GetClass("TPage"));
        QVERIFY(!GetClass("TPageList"));
        // TPage copies nothing through AssignTo: a duplicate is a new, empty page.
        page->SetTitle("t");
        page->SetText("x");
        std::unique_ptr<TKelObj> copy(page->duplicate());
        QCOMPARE(copy->ClassType(), TPage::StaticClass());
        QVERIFY(static_cast<TPage*>(copy.get())->Title().isEmpty());

        auto* list = KelNewCreated<TPageList>();
        TPage* kept = Page("kept");
        list->AddPage(kept);
        list->AddPage(Page("freed"));
        list->Delete(list->IndexOf(kept));
        list->ClearAll();
        QCOMPARE(TCountedPage::Live, 1);
        QCOMPARE(list->Count(), 0);
        list->AddPage(Page("again"));
        TKelList::FreeAll(list);
        QCOMPARE(TCountedPage::Live, 1);
        delete kept;
    }
};

QTEST_GUILESS_MAIN(TestPageList)
#include "tst_PageList.moc"
