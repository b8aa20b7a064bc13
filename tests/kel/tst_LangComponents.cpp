#include "LangComponents.h"
#include "StringResources.h"
#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "kel_resourcestrings.h"

#include <QDialog>
#include <QSignalSpy>

namespace {
// A translation laid over the library's texts.
const TStringTable Dutch = {
    {SFindSearchFor, QStringLiteral("Zoek naar")},
    {SFindMatchCase, QString()},
};

template <class TControl> void CheckResourceBinding() {
    TControl c;
    QCOMPARE(c.text(), QString()); // no designer mark at run time
    QCOMPARE(c.ResourceID(), -1);
    c.setText(QStringLiteral("Search for"));
    c.SetResourceID(SFindSearchFor); // no such string
    QCOMPARE(c.text(), QStringLiteral("Search for"));
    QCOMPARE(c.ResourceID(), -1);

    RegisterStringTable(&Dutch);
    c.SetResourceID(SFindSearchFor);
    QCOMPARE(c.text(), QStringLiteral("Zoek naar"));
    QCOMPARE(c.ResourceID(), int(SFindSearchFor));
    c.SetResourceID(SFindMatchCase); // an empty string changes nothing
    QCOMPARE(c.text(), QStringLiteral("Zoek naar"));
    QCOMPARE(c.ResourceID(), int(SFindSearchFor));
    c.SetResourceID(SFindCaption); // one of the library's own texts
    QCOMPARE(c.text(), QStringLiteral("Find"));
    QCOMPARE(c.ResourceID(), int(SFindCaption));
    UnregisterStringTable(&Dutch);
}

struct TDialog {
    QDialog Form;
    TLangButton* Catcher;
    QPushButton* Other;
    TDialog() {
        Catcher = new TLangButton(&Form);
        Catcher->setText(QStringLiteral("catcher"));
        Catcher->setGeometry(10, 10, 80, 28);
        Other = new QPushButton(QStringLiteral("other"), &Form);
        Other->setGeometry(100, 10, 80, 28);
        Other->setDefault(true);
        Form.resize(200, 50);
        ShowActive(&Form);
        Catcher->setFocus();
    }
};
} // namespace

class TestLangComponents : public QObject {
    Q_OBJECT
private slots:
    void resourceBinding() {
        CheckResourceBinding<TLangLabel>();
        CheckResourceBinding<TLangButton>();
        CheckResourceBinding<TLangCheckBox>();
    }

    void catchAllKeysKeepsNavigationKeys_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Tab") << int(Qt::Key_Tab);
        QTest::newRow("Backtab") << int(Qt::Key_Backtab);
        QTest::newRow("Right") << int(Qt::Key_Right);
        QTest::newRow("Down") << int(Qt::Key_Down);
        QTest::newRow("Left") << int(Qt::Key_Left);
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }
    void catchAllKeysKeepsNavigationKeys() {
        QFETCH(int, key);
        TDialog d;
        QVERIFY(!d.Catcher->CatchAllKeys());
        d.Catcher->SetCatchAllKeys(true);
        QSignalSpy catcherClicks(d.Catcher, &QPushButton::clicked);
        QSignalSpy otherClicks(d.Other, &QPushButton::clicked);
        QTest::keyClick(d.Catcher, Qt::Key(key));
        QVERIFY(d.Catcher->hasFocus());
        QVERIFY(d.Form.isVisible());
        QCOMPARE(catcherClicks.size(), 0);
        QCOMPARE(otherClicks.size(), 0);
    }

    void withoutCatchAllKeysTheFormHandlesThem() {
        TDialog d;
        QSignalSpy catcherClicks(d.Catcher, &QPushButton::clicked);
        QTest::keyClick(d.Catcher, Qt::Key_Tab);
        QVERIFY(d.Other->hasFocus());
        d.Catcher->setFocus();
        QTest::keyClick(d.Catcher, Qt::Key_Return); // the focused button
        QCOMPARE(catcherClicks.size(), 1);
        QTest::keyClick(d.Catcher, Qt::Key_Escape);
        QVERIFY(!d.Form.isVisible());
    }
};

VMR_TEST_MAIN(TestLangComponents)
#include "tst_LangComponents.moc"
