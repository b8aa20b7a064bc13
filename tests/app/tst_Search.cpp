#include "LangComponents.h"
#include "MainFixture.h"
#include "kel_finddlg.h"

#include <QLineEdit>

namespace {

// Answers the find dialog with Text and the search button once it is open.
void WhenFindDialog(const QString& Text) {
    WhenModal([Text](QWidget* m) {
        auto* d = qobject_cast<Tfdlg*>(m);
        QVERIFY2(d, "the find dialog did not open");
        QTest::keyClicks(d->searchtext, Text);
        QTest::mouseClick(d->bsearch, Qt::LeftButton);
    });
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

    TTPagesMain* W() { return fx->W.get(); }
    void CtrlF(const QString& Text) {
        ShowActive(W());
        TModalGuard guard;
        WhenFindDialog(Text);
        QTest::keyClick(W(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(!guard.Fired);
    }
    void CtrlL() {
        ShowActive(W());
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : W(), Qt::Key_L,
                        Qt::ControlModifier);
    }
    QString TitleSelection() { return W()->eTitle->selectedText(); }
    QPair<int, int> TextSelection() { return {W()->eText->SelStart(), W()->eText->SelLength()}; }

private slots:
    void init() {
        fx = std::make_unique<TMainFixture>();
        StoredCryptString = DefaultCryptString;
    }
    void cleanup() { fx.reset(); }

    void titleTwiceThenIntoTheText() {
        fx->OpenWith({{QStringLiteral("bank and Bank"), QStringLiteral("my bank")},
                      {QStringLiteral("other"), QStringLiteral("none")}});
        CtrlF(QStringLiteral("bank"));
        QCOMPARE(W()->CurPageIx(), 0);
        QVERIFY(W()->focusWidget() == W()->eTitle);
        QCOMPARE(W()->eTitle->SelStart(), 0);
        QCOMPARE(TitleSelection(), QStringLiteral("bank"));
        CtrlL();
        QCOMPARE(W()->eTitle->SelStart(), 9);
        QCOMPARE(TitleSelection(), QStringLiteral("Bank"));
        CtrlL();
        QVERIFY(W()->focusWidget() == W()->eText);
        QCOMPARE(TextSelection(), qMakePair(3, 4));
        // Nothing more anywhere: nothing happens; then it starts over.
        TMessageBoxRecorder boxes;
        CtrlL();
        QCOMPARE(TextSelection(), qMakePair(3, 4));
        CtrlL();
        QVERIFY(W()->focusWidget() == W()->eTitle);
        QCOMPARE(W()->eTitle->SelStart(), 0);
        QVERIFY(boxes.Calls.isEmpty());
        QVERIFY(!W()->IsChanged());
    }

    void laterPagesTitleAndTextThenTypingReplacesTheMatch() {
        fx->OpenWith({{QStringLiteral("Alpha"), QStringLiteral("first")},
                      {QStringLiteral("Bank"), QStringLiteral("the word here")},
                      {QStringLiteral("Cars word"), QStringLiteral("third")}});
        CtrlF(QStringLiteral("word"));
        QCOMPARE(W()->CurPageIx(), 1);
        QCOMPARE(TextSelection(), qMakePair(4, 4));
        CtrlL();
        QCOMPARE(W()->CurPageIx(), 2);
        QCOMPARE(TitleSelection(), QStringLiteral("word"));
        // Back on the text match, typing replaces it.
        CtrlL();
        QCOMPARE(W()->CurPageIx(), 1);
        QTest::keyClicks(W()->eText, QStringLiteral("line"));
        QCOMPARE(W()->eText->Text(), QStringLiteral("the line here"));
        QVERIFY(W()->IsChanged());
    }

    // A word that stands only in a footnote or a comment is found, and the
    // note's mark is selected; then the search goes on past it.
    void wordsOfNotesAreFound() {
        fx->WriteBodies({{QStringLiteral("First"), RtfOf(QStringLiteral("nothing here"))},
                         {QStringLiteral("Noted"),
                          "{\\rtf1\\ansi{\\header head}Body{\\footnote\\pard A quince note}"
                          " text{\\*\\atnauthor Jo}\\chatn{\\*\\annotation quince again}.\\par}"}});
        fx->Open();
        CtrlF(QStringLiteral("quince"));
        QCOMPARE(W()->CurPageIx(), 1);
        QVERIFY(W()->focusWidget() == W()->eText);
        QCOMPARE(W()->eText->Text(), QString::fromUtf16(u"\uFFFCBody\uFFFC text\uFFFC."));
        QCOMPARE(TextSelection(), qMakePair(5, 1));
        CtrlL();
        QCOMPARE(TextSelection(), qMakePair(11, 1));
        QVERIFY(!W()->IsChanged());
    }

    void emptyTitleSearchesTheTextAtOnce() {
        fx->OpenWith({{QString(), QStringLiteral("key in text")}});
        CtrlF(QStringLiteral("key"));
        QVERIFY(W()->focusWidget() == W()->eText);
        QCOMPARE(TextSelection(), qMakePair(0, 3));
    }

    void clickIntoTheEditorSkipsTheTitle() {
        fx->OpenWith({{QStringLiteral("key title"), QStringLiteral("a key and a key")}});
        CtrlF(QStringLiteral("key"));
        QCOMPARE(TitleSelection(), QStringLiteral("key"));
        QTest::mouseClick(W()->eText->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        CtrlL();
        QCOMPARE(TextSelection(), qMakePair(2, 3));
        CtrlL();
        QCOMPARE(TextSelection(), qMakePair(12, 3));
    }

    void nothingSearchedYetSaysTextNotFound() {
        fx->OpenWith(ThreePages);
        TMessageBoxRecorder boxes;
        CtrlL();
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, QStringLiteral("Text not found"));
        QCOMPARE(boxes.Calls[0].Caption, QStringLiteral("Warning"));
        QVERIFY(boxes.Calls[0].Flags & MB_ICONWARNING);
    }

    void emptyPageListFindsNothing() {
        fx->OpenWith({{QStringLiteral("only"), QStringLiteral("key")}});
        CtrlF(QStringLiteral("key"));
        {
            TConfirmRecorder confirm;
            confirm.Answers = {6};
            W()->DeletePage(0);
        }
        QCOMPARE(W()->Pages->Count(), 0);
        TMessageBoxRecorder boxes;
        CtrlL();
        QCOMPARE(W()->CurPageIx(), -1);
        QVERIFY(boxes.Calls.isEmpty());
    }

    void unsavedTypingSurvivesASearch() {
        fx->OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" typed"));
        CtrlF(QStringLiteral("third"));
        QCOMPARE(W()->CurPageIx(), 2);
        QCOMPARE(fx->Stored()[0].Text, QStringLiteral("first text typed"));
        fx->CtrlS();
        QCOMPARE(SeenVault(fx->Vault())[0].Text, QStringLiteral("first text typed"));
    }

    void pageEditorFindsInItsText() {
        fx->OpenWith({{QStringLiteral("page"), QStringLiteral("aaa aaa")}});
        TModalGuard guard;
        QList<QPair<int, int>> sels;
        int notFound = 0;
        WhenPageForm([&](TPageForm* f) {
            SetMessageBoxHook([&](const TMessageBoxCall& c) {
                notFound += c.Text == QLatin1String("Text not found");
                return IDOK;
            });
            WhenFindDialog(QStringLiteral("aa"));
            QTest::keyClick(f, Qt::Key_F, Qt::ControlModifier);
            QCOMPARE(f->focusWidget(), f->eText);
            sels << qMakePair(f->eText->SelStart(), f->eText->SelLength());
            ShowActive(f);
            QTest::keyClick(f, Qt::Key_L, Qt::ControlModifier);
            sels << qMakePair(f->eText->SelStart(), f->eText->SelLength());
            QTest::keyClick(f, Qt::Key_L, Qt::ControlModifier);
            sels << qMakePair(f->eText->SelStart(), f->eText->SelLength());
            // A text the page does not hold: the box each time.
            WhenFindDialog(QStringLiteral("zz"));
            QTest::keyClick(f, Qt::Key_F, Qt::ControlModifier);
            ShowActive(f);
            QTest::keyClick(f, Qt::Key_L, Qt::ControlModifier);
            SetMessageBoxHook({});
            QTest::mouseClick(f->bCancel, Qt::LeftButton);
        });
        W()->EditPage(0);
        QVERIFY(!guard.Fired);
        // Matches do not overlap: each find next goes on after the last one.
        QCOMPARE(sels, (QList<QPair<int, int>>{{0, 2}, {4, 2}, {4, 2}}));
        QCOMPARE(notFound, 3);
    }

    void pageEditorWithoutFindDialogShowsNothing() {
        QVERIFY(!fdlg);
        TOwnedPages pages;
        TPage* p = pages.Add(QStringLiteral("t"), RtfOf(QStringLiteral("text")));
        TPageForm f;
        f.SetPage(p);
        ShowActive(&f);
        TMessageBoxRecorder boxes;
        QTest::keyClick(&f, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(&f, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(boxes.Calls.isEmpty());
    }
};

VMR_APP_TEST_MAIN(TestSearch)
#include "tst_Search.moc"
