#include "FormScale.h"
#include "LangComponents.h"
#include "common/MessageBoxRecorder.h"
#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "kel_finddlg.h"

#include <QLineEdit>

Q_DECLARE_METATYPE(TSearchTypes)

class TestFindDialog : public QObject {
    Q_OBJECT
private slots:
    void stringFoundIn_data() {
        QTest::addColumn<QString>("find");
        QTest::addColumn<TSearchTypes>("types");
        QTest::addColumn<QString>("s");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("expected");
        const TSearchTypes none;
        const QString mixed = QStringLiteral("my bank and BANK");
        QTest::newRow("case folded") << "Bank" << none << mixed << 1 << 4;
        QTest::newRow("from after the first hit") << "Bank" << none << mixed << 5 << 13;
        QTest::newRow("past the last hit") << "Bank" << none << mixed << 14 << 0;
        QTest::newRow("start on the hit") << "bank" << none << mixed << 4 << 4;
        QTest::newRow("match case") << "Bank" << TSearchTypes(stMatchCase) << mixed << 1 << 0;
        QTest::newRow("match case hit") << "BANK" << TSearchTypes(stMatchCase) << mixed << 1 << 13;
        QTest::newRow("only A-Z fold") << "\u00e9" << none << "\u00c9" << 1 << 0;
        QTest::newRow("accents match exactly") << "\u00e9" << none << "x\u00e9" << 1 << 2;
        const TSearchTypes whole(stWholeWord);
        QTest::newRow("whole word skips a longer word")
            << "bank" << whole << "banking bank" << 1 << 9;
        QTest::newRow("whole word alone") << "bank" << whole << "bank" << 1 << 1;
        QTest::newRow("comma belongs to the word") << "bank" << whole << "bank," << 1 << 0;
        QTest::newRow("space before") << "bank" << whole << "a bank" << 1 << 3;
        QTest::newRow("letter after") << "bank" << whole << "a bankx" << 1 << 0;
        QTest::newRow("tab is no separator") << "bank" << whole << "a\tbank" << 1 << 0;
        QTest::newRow("find text with a leading space") << " bank" << whole << "x  bank" << 1 << 3;
        QTest::newRow("whole word and case")
            << "Bank" << (stWholeWord | stMatchCase) << "bank Banks Bank" << 1 << 12;
        QTest::newRow("start 0") << "bank" << none << "bank" << 0 << 0;
        QTest::newRow("negative start") << "bank" << none << "bank" << -3 << 0;
        QTest::newRow("start past the end") << "k" << none << "bank" << 5 << 0;
        QTest::newRow("start far past the end") << "k" << none << "bank" << 1000 << 0;
        QTest::newRow("empty find text") << "" << none << "bank" << 1 << 0;
        QTest::newRow("empty string") << "bank" << none << "" << 1 << 0;
        QTest::newRow("longer than the string") << "banking" << none << "bank" << 1 << 0;
    }
    void stringFoundIn() {
        QFETCH(QString, find);
        QFETCH(TSearchTypes, types);
        QFETCH(QString, s);
        QFETCH(int, start);
        QFETCH(int, expected);
        QCOMPARE(StringFoundIn(find, types, s, start), expected);
        // The dialog searches with its own text and options.
        Tfdlg d;
        d.Setfindtext(find);
        d.Setsearchtypes(types);
        QCOMPARE(d.StringFoundIn(s, start), expected);
    }

    void design() {
        if (ScreenPpi() != 96)
            QSKIP("the geometry below is given at 96 pixels per inch");
        Tfdlg d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Find"));
        QCOMPARE(d.size(), QSize(422, 134));
        QCOMPARE(d.minimumSize(), d.maximumSize()); // fixed border
        QCOMPARE(d.LangLabel1->pos(), QPoint(8, 12));
        QCOMPARE(d.searchtext->geometry(), QRect(120, 8, 294, 21));
        QCOMPARE(d.docase->geometry(), QRect(120, 39, 294, 17)); // kept to the right edge
        QCOMPARE(d.wholeword->geometry(), QRect(120, 65, 294, 17));
        QCOMPARE(d.bsearch->geometry(), QRect(172, 98, 80, 28));
        QCOMPARE(d.bcancel->geometry(), QRect(253, 98, 80, 28));
        QCOMPARE(d.bhelp->geometry(), QRect(335, 98, 80, 28));
        // No strings for the controls: the design captions stay.
        QCOMPARE(d.LangLabel1->text(), QStringLiteral("Search for"));
        QCOMPARE(d.docase->text(), QStringLiteral("match case"));
        QCOMPARE(d.wholeword->text(), QStringLiteral("match whole word"));
        QCOMPARE(d.bsearch->text(), QStringLiteral("search"));
        QCOMPARE(d.bcancel->text(), QStringLiteral("cancel"));
        QCOMPARE(d.bhelp->text(), QStringLiteral("help"));
        QCOMPARE(d.LangLabel1->ResourceID(), -1);
        QCOMPARE(d.bsearch->ResourceID(), -1);
        QVERIFY(d.bsearch->isDefault());
        QVERIFY(!d.bsearch->CatchAllKeys());
        const QList<QWidget*> order{d.searchtext, d.docase,  d.wholeword,
                                    d.bsearch,    d.bcancel, d.bhelp};
        for (int i = 0; i + 1 < order.size(); ++i)
            QCOMPARE(order[i]->nextInFocusChain(), order[i + 1]);
    }

    void textAndOptionsFollowTheControls() {
        Tfdlg d;
        d.Setfindtext(QStringLiteral("abc"));
        QCOMPARE(d.searchtext->text(), QStringLiteral("abc"));
        QTest::keyClick(d.searchtext, Qt::Key_End);
        QTest::keyClicks(d.searchtext, QStringLiteral("de"));
        QCOMPARE(d.findtext(), QStringLiteral("abcde"));
        d.Setfindtext(QString());
        QCOMPARE(d.searchtext->text(), QString());

        d.Setsearchtypes(stWholeWord);
        QVERIFY(d.wholeword->isChecked());
        QVERIFY(!d.docase->isChecked());
        QCOMPARE(d.searchtypes(), TSearchTypes(stWholeWord));
        QTest::mouseClick(d.docase, Qt::LeftButton, {}, QPoint(6, d.docase->height() / 2));
        QCOMPARE(d.searchtypes(), stWholeWord | stMatchCase);
        QTest::mouseClick(d.wholeword, Qt::LeftButton, {}, QPoint(6, d.wholeword->height() / 2));
        QCOMPARE(d.searchtypes(), TSearchTypes(stMatchCase));
        d.Setsearchtypes({});
        QVERIFY(!d.docase->isChecked());
        QCOMPARE(d.searchtypes(), TSearchTypes());
    }

    // Searching for nothing is refused and the dialog stays open; with text,
    // Enter in the edit searches.
    void searchButtonRefusesAnEmptyText() {
        TMessageBoxRecorder boxes;
        Tfdlg d;
        d.Setfindtext(QStringLiteral("old"));
        d.Setfindtext(QString());
        bool editFocused = false, openAfterRefusal = false, editFocusedAfterRefusal = false,
             openAfterHelp = false;
        WhenModal([&](QWidget*) {
            editFocused = d.searchtext->hasFocus();
            QTest::mouseClick(d.bsearch, Qt::LeftButton);
            openAfterRefusal = d.isVisible() && d.ModalResult() == 0;
            editFocusedAfterRefusal = d.searchtext->hasFocus();
            QTest::mouseClick(d.bhelp, Qt::LeftButton);
            openAfterHelp = d.isVisible();
            QTest::mouseClick(d.searchtext, Qt::LeftButton);
            QTest::keyClicks(d.searchtext, QStringLiteral("bank"));
            QTest::keyClick(d.searchtext, Qt::Key_Return);
        });
        TModalGuard guard;
        QCOMPARE(d.ShowModal(), 1);
        QVERIFY(!guard.Fired);
        QVERIFY(editFocused);
        QVERIFY(openAfterRefusal);
        QVERIFY(editFocusedAfterRefusal);
        QVERIFY(openAfterHelp);
        QCOMPARE(d.findtext(), QStringLiteral("bank"));
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, QStringLiteral("Enter the text to search for."));
        QCOMPARE(boxes.Calls[0].Caption, QStringLiteral("Find"));
        QCOMPARE(boxes.Calls[0].Flags, unsigned(MB_OK | MB_ICONINFORMATION));
    }

    void leavingWithoutSearching_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel button") << "cancel";
        QTest::newRow("Esc") << "esc";
        QTest::newRow("close box") << "close";
    }
    void leavingWithoutSearching() {
        QFETCH(QString, how);
        Tfdlg d;
        d.Setfindtext(QStringLiteral("bank"));
        WhenModal([&](QWidget*) {
            if (how == QStringLiteral("cancel"))
                QTest::mouseClick(d.bcancel, Qt::LeftButton);
            else if (how == QStringLiteral("esc"))
                QTest::keyClick(d.searchtext, Qt::Key_Escape);
            else
                d.close();
        });
        TModalGuard guard;
        QCOMPARE(d.ShowModal(), 2);
        QVERIFY(!guard.Fired);
    }

    void processWideReferenceFollowsItsOwner() {
        auto* owner = new QWidget;
        fdlg = new Tfdlg(owner);
        QVERIFY(fdlg);
        delete owner;
        QVERIFY(!fdlg);
    }
};

VMR_TEST_MAIN(TestFindDialog)
#include "tst_FindDialog.moc"
