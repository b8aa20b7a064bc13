// A long random run of user commands in the main window, checked after every
// step against a plain model of the notebook: which page holds which title
// and text, and whether the vault counts as changed.

#include "MainFixture.h"

#include <QRandomGenerator>
#include <algorithm>

namespace {
struct TModelPage {
    const TPage* Page;
    QString Title;
    QString Text;
};

// Titles that collide, differ only in case, complete one another and sort
// before the letters.
const QStringList TitleWords = {
    QStringLiteral("ab"),  QStringLiteral("Ab"),    QStringLiteral("b"),     QStringLiteral("ba"),
    QStringLiteral("car"), QStringLiteral("Cargo"), QStringLiteral(" lead"), QStringLiteral("_x"),
    QStringLiteral("zz"),  QStringLiteral("a b")};

TSeenPages Sorted(TSeenPages Pages) {
    std::sort(Pages.begin(), Pages.end(), [](const TSeenPage& a, const TSeenPage& b) {
        return std::pair(a.Title, a.Text) < std::pair(b.Title, b.Text);
    });
    return Pages;
}
} // namespace

class TestPagesModel : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;
    QList<TModelPage> model;
    bool modelChanged = false;
    TSeenPages saved;
    QRandomGenerator rnd;
    QString step;

    TTPagesMain* W() { return fx->W.get(); }
    int Pick(int N) { return int(rnd.bounded(N)); }
    QString Word(int MaxLength = 4) {
        QString w;
        const int n = 1 + Pick(MaxLength);
        for (int i = 0; i < n; ++i)
            w += QChar(u"abcxyz ABZ"[Pick(10)]);
        return w;
    }
    TModelPage* ModelOf(const TPage* Page) {
        for (TModelPage& m : model)
            if (m.Page == Page)
                return &m;
        return nullptr;
    }
    TSeenPages ModelSeen() const {
        TSeenPages seen;
        for (const TModelPage& m : model)
            seen.append({m.Title, m.Text});
        return seen;
    }
    // Takes the window's pages into the model after they were all replaced.
    void AdoptPages() {
        model.clear();
        for (int i = 0; i < W()->Pages->Count(); ++i) {
            const TPage* p = W()->Pages->GetPages(i);
            model.append({p, p->Title(), PlainOf(p->Text())});
        }
    }

    void Verify() {
        TTPagesMain* w = W();
        const TPageList& pages = *w->Pages;
        for (int i = 0; i + 1 < pages.Count(); ++i)
            QVERIFY2(ComparePageTitles(pages.GetPages(i), pages.GetPages(i + 1)) <= 0,
                     qPrintable(step + QStringLiteral(": pages out of order at %1").arg(i)));
        const QString mirror = ListMirrorDifference(*w->ePages, pages);
        QVERIFY2(mirror.isEmpty(), qPrintable(step + QStringLiteral(": ") + mirror));
        QCOMPARE(w->ePages->ItemIndex(), w->CurPageIx());
        QCOMPARE(pages.Count(), model.size());
        for (const TModelPage& m : model) {
            const int ix = pages.IndexOf(m.Page);
            QVERIFY2(ix >= 0, qPrintable(step + QStringLiteral(": a page is gone")));
            const bool current = ix == w->CurPageIx();
            const QString title = current ? w->eTitle->Text() : m.Page->Title();
            const QString text = current ? w->eText->Text() : PlainOf(m.Page->Text());
            QVERIFY2(
                title == m.Title && text == m.Text,
                qPrintable(step + QStringLiteral(": a page holds '%1', '%2' instead of '%3', '%4'")
                                      .arg(title, text, m.Title, m.Text)));
            if (current)
                QCOMPARE(m.Page->Title(), title);
        }
        QCOMPARE(w->IsChanged(), modelChanged);
        QCOMPARE(w->bSave->isEnabled(), modelChanged);
        QCOMPARE(w->eText->isEnabled(), w->CurPageIx() >= 0);
    }

    TModelPage* Current() { return W()->CurPage() ? ModelOf(W()->CurPage()) : nullptr; }

    void Select() {
        if (model.isEmpty())
            return;
        const int i = Pick(model.size());
        step = QStringLiteral("select %1").arg(i);
        if (Pick(3) == 0 && W()->CurPageIx() >= 0) {
            fx->Key(Pick(2) ? Qt::Key_Down : Qt::Key_Up);
            return;
        }
        fx->ClickItem(i);
    }

    void TypeText() {
        TModelPage* m = Current();
        if (!m)
            return;
        const QString word = Word();
        step = QStringLiteral("type '%1' in the text of '%2'").arg(word, m->Title);
        fx->TypeInText(word);
        m->Text += word;
        modelChanged = true;
    }

    void TypeTitle() {
        TModelPage* m = Current();
        if (!m)
            return;
        const QString typed = Pick(8) == 0 ? QString() : TitleWords[Pick(TitleWords.size())];
        step = QStringLiteral("type the title '%1' over '%2'").arg(typed, m->Title);
        QString completed;
        int index;
        const bool completes = W()->eTitle->FindMatch(typed, completed, index);
        fx->TypeTitle(typed);
        if (typed.isEmpty())
            QTest::keyClick(W()->eTitle, Qt::Key_Backspace);
        // The typed part keeps its letter case; only the tail comes from the entry.
        m->Title = completes ? typed + completed.mid(typed.size()) : typed;
        modelChanged = true;
    }

    // Opens the page editor through ways the user has, on the current page
    // (or a new one when Add is set or nothing is selected).
    void PageEditor(bool Add) {
        const bool ok = Pick(5) != 0;
        const QString title = Add || Pick(2) ? Word() : QString();
        const QString text = Pick(2) ? Word() : QString();
        TModelPage* m = Add ? nullptr : Current();
        const bool isNew = Add || !m;
        step = QStringLiteral("%1 page editor, title +'%2', text +'%3', %4")
                   .arg(isNew ? "new" : "edit", title, text, ok ? "Ok" : "Cancel");
        WhenPageForm([=](TPageForm* f) {
            QTest::keyClick(f->eTitle, Qt::Key_End);
            QTest::keyClicks(f->eTitle, title);
            f->eText->setFocus();
            QTest::keyClick(f->eText, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(f->eText, text);
            QTest::mouseClick(ok ? f->bOk : f->bCancel, Qt::LeftButton);
        });
        if (Add)
            Pick(2) ? QTest::mouseClick(W()->bAddPage, Qt::LeftButton) : fx->Key(Qt::Key_Insert);
        else if (Pick(2) || !m)
            fx->Key(Qt::Key_Return);
        else
            QTest::mouseDClick(
                W()->ePages->viewport(), Qt::LeftButton, {},
                W()->ePages->visualItemRect(W()->ePages->item(W()->CurPageIx())).center());
        if (!ok)
            return;
        const bool changed = !title.isEmpty() || !text.isEmpty();
        if (isNew) {
            model.append({W()->CurPage(), title, text});
        } else {
            m->Title += title;
            m->Text += text;
        }
        modelChanged = modelChanged || changed;
    }

    void Delete() {
        TModelPage* m = Current();
        const bool yes = Pick(4) != 0;
        step = QStringLiteral("delete '%1', %2").arg(m ? m->Title : QString(), yes ? "Yes" : "No");
        TConfirmRecorder confirm;
        confirm.Answers = {yes ? 6 : 7};
        Pick(2) ? QTest::mouseClick(W()->bDelPage, Qt::LeftButton) : fx->Key(Qt::Key_Delete);
        QCOMPARE(confirm.Calls.size(), m ? 1 : 0);
        if (!m || !yes)
            return;
        model.removeAt(int(m - model.data()));
        modelChanged = true;
    }

    void Save() {
        step = QStringLiteral("save");
        if (!modelChanged)
            return;
        if (Pick(2))
            fx->CtrlS();
        else
            QTest::mouseClick(W()->bSave, Qt::LeftButton);
        modelChanged = false;
        saved = ModelSeen();
        QCOMPARE(Sorted(SeenVault(fx->Vault())), Sorted(saved));
        QCOMPARE(SeenVault(fx->Vault()), fx->Stored());
    }

    void Reload() {
        step = QStringLiteral("reload");
        W()->LoadPages();
        QCOMPARE(Sorted(fx->Stored()), Sorted(saved));
        AdoptPages();
        modelChanged = false;
    }

private slots:
    void init() { fx = std::make_unique<TMainFixture>(); }
    void cleanup() { fx.reset(); }

    void randomCommands_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u})
            QTest::addRow("seed %u", seed) << seed;
    }
    void randomCommands() {
        QFETCH(quint32, seed);
        rnd.seed(seed);
        fx->WriteVault({{QStringLiteral("ab"), QStringLiteral("one")},
                        {QStringLiteral("car"), QStringLiteral("two")},
                        {QStringLiteral("Ab"), QStringLiteral("three")}});
        fx->Open();
        AdoptPages();
        saved = ModelSeen();
        modelChanged = false;
        Verify();
        for (int i = 0; i < 400; ++i) {
            switch (Pick(16)) {
            case 0:
            case 1:
            case 2:
                Select();
                break;
            case 3:
            case 4:
            case 5:
                TypeText();
                break;
            case 6:
            case 7:
                TypeTitle();
                break;
            case 8:
            case 9:
                PageEditor(true);
                break;
            case 10:
            case 11:
                PageEditor(false);
                break;
            case 12:
                Delete();
                break;
            case 13:
            case 14:
                Save();
                break;
            default:
                Reload();
                break;
            }
            Verify();
            if (QTest::currentTestFailed())
                return;
        }
        if (modelChanged)
            Save();
        QCOMPARE(Sorted(SeenVault(fx->Vault())), Sorted(ModelSeen()));
    }
};

VMR_APP_TEST_MAIN(TestPagesModel)
#include "tst_PagesModel.moc"
