#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "vault/PageFixtures.h"
#include "vmr_pagelist.h"

#include <QScrollBar>
#include <memory>

class TestPageListBox : public QObject {
    Q_OBJECT
    std::unique_ptr<QWidget> form;
    TPageListBox* box = nullptr;
    std::unique_ptr<TOwnedPages> pages;
    int clicks = 0;
    QList<QPair<int, Qt::KeyboardModifiers>> keys;

    void Click(int Row) {
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                          box->visualItemRect(box->item(Row)).center());
    }

private slots:
    void init() {
        form = std::make_unique<QWidget>();
        box = new TPageListBox(form.get());
        box->setGeometry(0, 0, 200, 200);
        box->SetItemHeight(16);
        form->resize(220, 220);
        pages = std::make_unique<TOwnedPages>();
        for (const char* t : {"alpha", "beta", "gamma"})
            pages->Add(QString::fromLatin1(t));
        box->MirrorPages(*pages->List);
        clicks = 0;
        keys.clear();
        box->OnClick = [this] { ++clicks; };
        box->OnKeyUp = [this](int& Key, Qt::KeyboardModifiers Shift) { keys.append({Key, Shift}); };
        ShowActive(form.get());
        box->setFocus();
    }
    void cleanup() {
        form.reset();
        pages.reset();
    }

    void onlyTheUserRaisesClick() {
        box->SetItemIndex(1);
        box->InsertPage(0, pages->List->GetPages(2));
        box->RemovePage(0);
        box->MirrorPages(*pages->List);
        QCOMPARE(clicks, 0);
        QCOMPARE(box->ItemIndex(), 1);
        Click(2);
        QCOMPARE(clicks, 1);
        QCOMPARE(box->ItemIndex(), 2);
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(clicks, 2);
        QCOMPARE(box->ItemIndex(), 1);
        box->SetItemIndex(7);
        QCOMPARE(box->ItemIndex(), -1);
        QCOMPARE(clicks, 2);
    }

    // As in a plain list box, no click takes the selection away.
    void selectionStaysOnClicksBesideOrOnIt() {
        Click(1);
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, QPoint(100, 180));
        QCOMPARE(box->ItemIndex(), 1);
        QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          box->visualItemRect(box->item(1)).center());
        QCOMPARE(box->ItemIndex(), 1);
        QTest::keyClick(box, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(box->ItemIndex(), 1);
    }

    void keysReportTheirVirtualCodeOnRelease_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("vk");
        QTest::newRow("Return") << int(Qt::Key_Return) << 13;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 13;
        QTest::newRow("Insert") << int(Qt::Key_Insert) << 45;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << 46;
    }
    void keysReportTheirVirtualCodeOnRelease() {
        QFETCH(int, key);
        QFETCH(int, vk);
        QTest::keyPress(box, Qt::Key(key), Qt::ShiftModifier);
        QVERIFY(keys.isEmpty());
        QTest::keyRelease(box, Qt::Key(key), Qt::ShiftModifier);
        QCOMPARE(keys.size(), 1);
        QCOMPARE(keys[0].first, vk);
        QCOMPARE(keys[0].second, Qt::ShiftModifier);
    }

    // A release whose press went to another window (the Enter that closed a
    // dialog), or a repeat of a held key, is no key of the list's.
    void strayAndRepeatedReleasesAreIgnored() {
        QTest::keyRelease(box, Qt::Key_Return);
        QVERIFY(keys.isEmpty());
        QTest::keyPress(box, Qt::Key_Insert);
        QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Insert, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(box, &repeat);
        QVERIFY(keys.isEmpty());
        QTest::keyRelease(box, Qt::Key_Insert);
        QTest::keyRelease(box, Qt::Key_Insert);
        QCOMPARE(keys.size(), 1);
        // A press followed by the loss of the focus.
        QTest::keyPress(box, Qt::Key_Delete);
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(box, &out);
        QTest::keyRelease(box, Qt::Key_Delete);
        QCOMPARE(keys.size(), 1);
    }

    void mirrorFollowsThePageList() {
        TPageList& list = *pages->List;
        list.Exchange(0, 2);
        list.GetPages(1)->SetTitle(QStringLiteral("BETA"));
        QVERIFY(ListMirrorDifference(*box, list).contains(QLatin1String("item 0")));
        box->MirrorPages(list);
        QCOMPARE(ListMirrorDifference(*box, list), QString());
        QCOMPARE(box->ItemText(1), QStringLiteral("BETA"));
        QCOMPARE(box->PageAt(0), list.GetPages(0));
        pages->Add(QStringLiteral("delta"));
        QVERIFY(ListMirrorDifference(*box, list).contains(QLatin1String("3 items for 4 pages")));
        box->MirrorPages(list);
        QCOMPARE(box->count(), 4);
        // The list holds references only: the pages taken out are freed here.
        const std::unique_ptr<TPage> first(list.GetPages(0)), second(list.GetPages(1));
        list.Delete(0);
        list.Delete(0);
        box->MirrorPages(list);
        QCOMPARE(ListMirrorDifference(*box, list), QString());
        QCOMPARE(box->PageAt(2), nullptr);
        QCOMPARE(box->PageAt(-1), nullptr);
    }

    void scrollWidthIsTheBoxsOwn() {
        const int wide = box->TextWidth(QString(60, u'W'));
        QVERIFY(wide > 200);
        box->SetHorizontalExtent(wide);
        QApplication::processEvents();
        QVERIFY(box->horizontalScrollBar()->maximum() > 0);
        // Removing every item keeps the width the box was given.
        box->Clear();
        box->InsertPage(0, pages->List->GetPages(0));
        QApplication::processEvents();
        QCOMPARE(box->HorizontalExtent(), wide);
        QVERIFY(box->horizontalScrollBar()->maximum() > 0);
    }
};

VMR_TEST_MAIN(TestPageListBox)
#include "tst_PageListBox.moc"
