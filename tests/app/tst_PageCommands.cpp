#include "MainFixture.h"

class TestPageCommands : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

    TTPagesMain* OpenWith(const TSeenPages& Pages) { return fx->OpenWith(Pages); }
    void CheckMirror() {
        QCOMPARE(ListMirrorDifference(*fx->W->ePages, *fx->W->Pages), QString());
        QCOMPARE(fx->W->ePages->ItemIndex(), fx->W->CurPageIx());
    }

private slots:
    void init() { fx = std::make_unique<TMainFixture>(); }
    void cleanup() { fx.reset(); }

    void renamingAnEditedPageMovesItWithItsText() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" edited"));
        fx->TypeTitle(QStringLiteral("Boat"));
        // One keystroke at a time: 'B' sorted it after Bank, "Bo" keeps it there.
        QCOMPARE(w->CurPageIx(), 1);
        QCOMPARE(fx->Seen(),
                 (TSeenPages{ThreePages[1],
                             {QStringLiteral("Boat"), QStringLiteral("first text edited")},
                             ThreePages[2]}));
        fx->ClickItem(0);
        QCOMPARE(fx->Stored()[1].Text, QStringLiteral("first text edited"));
        QVERIFY(w->IsChanged());
        CheckMirror();
    }

    // Clearing the title, or typing the hint itself, leaves the title "".
    void emptyTitlesGoToTheTop_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("cleared") << QString();
        QTest::newRow("the hint typed") << QStringLiteral("Fill in the title of the page");
    }
    void emptyTitlesGoToTheTop() {
        QFETCH(QString, typed);
        TTPagesMain* w = OpenWith(ThreePages);
        fx->ClickItem(2);
        fx->TypeTitle(typed);
        if (typed.isEmpty())
            QTest::keyClick(w->eTitle, Qt::Key_Backspace);
        QCOMPARE(w->CurPageIx(), 0);
        QCOMPARE(w->CurPage()->Title(), QString());
        QCOMPARE(w->eText->Text(), QStringLiteral("third text"));
        QVERIFY(w->eTitle->IsEmpty());
        QVERIFY(w->IsChanged());
        CheckMirror();
    }

    void addingBeforeAnEditedPage() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->ClickItem(1);
        fx->TypeInText(QStringLiteral(" edited"));
        WhenPageForm([](TPageForm* f) {
            FillPageForm(f, QStringLiteral("Aardvark"), QStringLiteral("new"));
        });
        QTest::mouseClick(w->bAddPage, Qt::LeftButton);
        QCOMPARE(w->CurPageIx(), 0);
        QCOMPARE(w->eText->Text(), QStringLiteral("new"));
        QCOMPARE(fx->Stored(),
                 (TSeenPages{{QStringLiteral("Aardvark"), QStringLiteral("new")},
                             ThreePages[0],
                             {QStringLiteral("Bank"), QStringLiteral("second text edited")},
                             ThreePages[2]}));
        CheckMirror();
    }

    void newPageWithoutEditsIsEmptyAtTheTopAndChangesNothing() {
        TTPagesMain* w = OpenWith(ThreePages);
        WhenPageForm([](TPageForm* f) { QTest::mouseClick(f->bOk, Qt::LeftButton); });
        fx->Key(Qt::Key_Insert);
        QCOMPARE(w->Pages->Count(), 4);
        QCOMPARE(w->CurPageIx(), 0);
        QCOMPARE(w->CurPage()->Title(), QString());
        QCOMPARE(w->CurPage()->Text(), QByteArray());
        QVERIFY(!w->IsChanged());
        WhenPageForm([](TPageForm* f) { QTest::mouseClick(f->bCancel, Qt::LeftButton); });
        fx->Key(Qt::Key_Insert);
        QCOMPARE(w->Pages->Count(), 4);
        CheckMirror();
    }

    void editingTheLastPageMovesItByItsNewTitle() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->ClickItem(2);
        WhenPageForm([](TPageForm* f) { FillPageForm(f, QStringLiteral("Apple"), QString()); });
        fx->Key(Qt::Key_Return);
        QCOMPARE(w->Pages->GetPages(1)->Title(), QStringLiteral("Apple"));
        QCOMPARE(w->CurPageIx(), 1);
        QCOMPARE(w->eTitle->Text(), QStringLiteral("Apple"));
        QVERIFY(w->IsChanged());
        CheckMirror();
    }

    void deletingAnEditedPageGivesTheEditToNoOne() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->ClickItem(1);
        fx->TypeInText(QStringLiteral(" edited"));
        TConfirmRecorder confirm;
        confirm.Answers = {6};
        QTest::mouseClick(w->bDelPage, Qt::LeftButton);
        QCOMPARE(confirm.Calls.size(), 1);
        QCOMPARE(confirm.Calls[0].Text,
                 QStringLiteral("Do you really want to remove page: 'Bank'?"));
        QCOMPARE(confirm.Calls[0].Title, QStringLiteral("Confirm"));
        QCOMPARE(confirm.Calls[0].Flags, cfYes + cfNo);
        QCOMPARE(fx->Seen(), (TSeenPages{ThreePages[0], ThreePages[2]}));
        // A page made later, wherever it lies in memory, gets nothing either.
        for (int i = 0; i < 3; ++i) {
            WhenPageForm([](TPageForm* f) { FillPageForm(f, QStringLiteral("New"), QString()); });
            QTest::mouseClick(w->bAddPage, Qt::LeftButton);
            fx->ClickItem(0);
        }
        const TSeenPage fresh{QStringLiteral("New"), QString()};
        QCOMPARE(fx->Stored(), (TSeenPages{ThreePages[0], ThreePages[2], fresh, fresh, fresh}));
        CheckMirror();
    }

    void deleteMakesTheNextItemCurrent_data() {
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("current");
        QTest::newRow("middle") << 3 << 1 << 1;
        QTest::newRow("first") << 3 << 0 << 0;
        QTest::newRow("last") << 3 << 2 << 1;
        QTest::newRow("only") << 1 << 0 << -1;
    }
    void deleteMakesTheNextItemCurrent() {
        QFETCH(int, pages);
        QFETCH(int, deleted);
        QFETCH(int, current);
        TTPagesMain* w = OpenWith(ThreePages.mid(0, pages));
        fx->ClickItem(deleted);
        TConfirmRecorder confirm;
        confirm.Answers = {6};
        fx->Key(Qt::Key_Delete);
        TSeenPages expect = ThreePages.mid(0, pages);
        expect.removeAt(deleted);
        QCOMPARE(fx->Stored(), expect);
        QCOMPARE(w->CurPageIx(), current);
        QVERIFY(w->IsChanged());
        CheckMirror();
        if (current >= 0) {
            QCOMPARE(w->eTitle->Text(), expect[current].Title);
            QCOMPARE(w->eText->Text(), expect[current].Text);
            return;
        }
        // Nothing is current: empty and disabled, but pages can be added.
        QCOMPARE(w->eTitle->Text(), QString());
        QCOMPARE(w->eText->Text(), QString());
        QVERIFY(!w->eTitle->isEnabled() && !w->eText->isEnabled());
        QVERIFY(!w->aBold->isEnabled() && !w->aItalic->isEnabled() && !w->aUnderline->isEnabled());
        QVERIFY(!w->bBold->isEnabled());
        QVERIFY(w->bAddPage->isEnabled() && w->aSave->isEnabled());
        // Delete with no selection does nothing; Enter opens a new page.
        fx->Key(Qt::Key_Delete);
        QCOMPARE(confirm.Calls.size(), 1);
        WhenPageForm([](TPageForm* f) {
            QVERIFY(f->eTitle->IsEmpty());
            FillPageForm(f, QStringLiteral("Fresh"), QStringLiteral("start"));
        });
        fx->Key(Qt::Key_Return);
        QCOMPARE(w->CurPageIx(), 0);
        QVERIFY(w->eTitle->isEnabled() && w->eText->isEnabled() && w->aBold->isEnabled());
        QCOMPARE(fx->Seen(), (TSeenPages{{QStringLiteral("Fresh"), QStringLiteral("start")}}));
    }

    void deleteAnsweredOtherThanYesKeepsThePage_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("No") << 7;
        QTest::newRow("closed") << 0;
    }
    void deleteAnsweredOtherThanYesKeepsThePage() {
        QFETCH(int, answer);
        TTPagesMain* w = OpenWith(ThreePages);
        TConfirmRecorder confirm;
        confirm.Answers = {answer};
        fx->Key(Qt::Key_Delete);
        QCOMPARE(confirm.Calls.size(), 1);
        QCOMPARE(fx->Stored(), ThreePages);
        QVERIFY(!w->IsChanged());
    }

    void listKeysWithModifiersDoNothing_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mods");
        for (auto [kname, key] :
             {std::pair{"Insert", Qt::Key_Insert}, std::pair{"Delete", Qt::Key_Delete},
              std::pair{"Enter", Qt::Key_Return}})
            for (auto [mname, mod] :
                 {std::pair{"Shift", Qt::ShiftModifier}, std::pair{"Ctrl", Qt::ControlModifier},
                  std::pair{"Alt", Qt::AltModifier}})
                QTest::addRow("%s+%s", mname, kname) << int(key) << int(mod);
    }
    void listKeysWithModifiersDoNothing() {
        QFETCH(int, key);
        QFETCH(int, mods);
        TTPagesMain* w = OpenWith(ThreePages);
        TConfirmRecorder confirm;
        confirm.Answers = {6};
        QTimer probe; // fails when any modal window opens
        bool modal = false;
        connect(&probe, &QTimer::timeout, [&] {
            if (QWidget* m = QApplication::activeModalWidget()) {
                modal = true;
                m->close();
            }
        });
        probe.start(10);
        fx->Key(key, Qt::KeyboardModifiers(mods));
        QTest::qWait(50);
        QVERIFY(!modal);
        QVERIFY(confirm.Calls.isEmpty());
        QCOMPARE(fx->Stored(), ThreePages);
        QCOMPARE(w->CurPageIx(), 0);
    }

    // The Enter that closes the page editor is released over the list; it
    // must not open the editor again.
    void enterThatClosedTheEditorOpensNothing() {
        TTPagesMain* w = OpenWith(ThreePages);
        int opened = 0;
        QTimer driver; // drives every page editor that opens
        connect(&driver, &QTimer::timeout, [&] {
            auto* f = qobject_cast<TPageForm*>(QApplication::activeModalWidget());
            if (!f)
                return;
            if (++opened > 1) {
                f->close();
                return;
            }
            f->bOk->setFocus();
            QTest::keyPress(f->bOk, Qt::Key_Return);
            QVERIFY(!f->isVisible());
            QTest::keyRelease(w->ePages, Qt::Key_Return);
        });
        driver.start(10);
        fx->Key(Qt::Key_Return);
        QTest::qWait(50);
        QCOMPARE(opened, 1);
    }

    void closing_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("saves");
        QTest::newRow("Yes") << 6 << true << true;
        QTest::newRow("No") << 7 << true << false;
        QTest::newRow("Cancel") << 2 << false << false;
        QTest::newRow("box closed") << 0 << true << false;
    }
    void closing() {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, saves);
        TTPagesMain* w = OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" edited"));
        TConfirmRecorder confirm;
        confirm.Answers = {answer};
        QCOMPARE(w->close(), closes);
        QCOMPARE(confirm.Calls.size(), 1);
        QCOMPARE(confirm.Calls[0].Text, QStringLiteral("Save changes?"));
        QCOMPARE(confirm.Calls[0].Flags, cfYes + cfNo + cfCancel);
        QCOMPARE(w->isVisible(), !closes);
        QCOMPARE(w->IsChanged(), !saves);
        TSeenPages expect = ThreePages;
        if (saves)
            expect[0].Text += QStringLiteral(" edited");
        QCOMPARE(SeenVault(fx->Vault()), expect);
        if (!closes)
            QCOMPARE(w->eText->Text(), QStringLiteral("first text edited"));
    }

    void closingUnchangedAsksNothing() {
        TTPagesMain* w = OpenWith(ThreePages);
        TConfirmRecorder confirm;
        QVERIFY(w->close());
        QVERIFY(confirm.Calls.isEmpty());
    }

    void okSavesWithoutAskingAndCloses() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" edited"));
        TConfirmRecorder confirm;
        QTest::mouseClick(w->bOk, Qt::LeftButton);
        QVERIFY(confirm.Calls.isEmpty());
        QVERIFY(!w->isVisible());
        QCOMPARE(SeenVault(fx->Vault())[0].Text, QStringLiteral("first text edited"));
    }
};

VMR_APP_TEST_MAIN(TestPageCommands)
#include "tst_PageCommands.moc"
