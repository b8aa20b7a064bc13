#include "FormScale.h"
#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "kel_confirm.h"

#include <QLabel>
#include <QPushButton>

namespace {
QStringList LeftToRight(const TConfirmBox& Box) {
    std::vector<QPushButton*> b = Box.Buttons();
    std::sort(b.begin(), b.end(), [](auto* x, auto* y) { return x->x() < y->x(); });
    QStringList captions;
    for (QPushButton* p : b)
        captions << p->text();
    return captions;
}

QPushButton* ButtonOf(const TConfirmBox* Box, const QString& Caption) {
    for (QPushButton* b : Box->Buttons())
        if (b->text() == Caption)
            return b;
    return nullptr;
}
} // namespace

class TestConfirmBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (ScreenPpi() != 96)
            QSKIP("the geometry below is given at 96 pixels per inch");
    }

    void design() {
        TConfirmBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("Confirm"));
        QCOMPARE(box.size(), QSize(309, 88));
        QCOMPARE(box.lText->pos(), QPoint(16, 16));
        QCOMPARE(box.Text(), QStringLiteral("Text to confirm"));
        QCOMPARE(box.font().pixelSize(), 11);
        QCOMPARE(box.Answer(), 0);
    }

    void buttonRow_data() {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QStringList>("leftToRight");
        QTest::addColumn<QString>("defaultButton");
        QTest::newRow("yes no") << (cfYes | cfNo) << QStringList{"Yes", "No"} << "Yes";
        QTest::newRow("yes no cancel")
            << (cfYes | cfNo | cfCancel) << QStringList{"Yes", "No", "Cancel"} << "Yes";
        QTest::newRow("all six") << (cfOK | cfYes | cfYesToAll | cfNo | cfNoToAll | cfCancel)
                                 << QStringList{"OK", "Yes",       "Yes to All",
                                                "No", "No to All", "Cancel"}
                                 << "OK";
        QTest::newRow("ok") << int(cfOK) << QStringList{"OK"} << "OK";
        QTest::newRow("none") << 0 << QStringList() << "";
        QTest::newRow("other bits ignored") << (0x10 | 0x400 | cfNo) << QStringList{"No"} << "";
    }
    void buttonRow() {
        QFETCH(int, flags);
        QFETCH(QStringList, leftToRight);
        QFETCH(QString, defaultButton);
        TConfirmBox box;
        box.SetTitle(QString());
        box.SetText(QStringLiteral("Question?"));
        box.SetFlags(flags);
        QCOMPARE(box.Flags(), flags);
        QCOMPARE(LeftToRight(box), leftToRight);
        const auto& made = box.Buttons();
        for (size_t i = 0; i < made.size(); ++i) {
            const QRect g = made[i]->geometry();
            QCOMPARE(g.size(), QSize(75, 25));
            QCOMPARE(g.bottom() + 1, box.height() - 12);
            // Made right to left, 8 pixels apart, the first 8 from the edge.
            const int right = i == 0 ? box.width() - 8 : made[i - 1]->x() - 8;
            QCOMPARE(g.right() + 1, right);
            QCOMPARE(made[i]->isDefault(), made[i]->text() == defaultButton);
        }
        if (made.size() == 6) // wider than the box: it widened to fit them
            QCOMPARE(made.back()->x(), 12);
    }

    void growsWithTextAndTitle() {
        TConfirmBox box;
        const QFontMetrics fm = box.fontMetrics();
        box.SetTitle(QString());
        QCOMPARE(box.windowTitle(), QStringLiteral("Confirm"));
        QCOMPARE(box.size(), QSize(309, 134)); // no lines: 134 high
        box.SetText(QStringLiteral("one\r\ntwo\nthree\n"));
        QCOMPARE(box.height(), 3 * fm.height() + 134);
        QCOMPARE(box.width(), 309);
        const QString longLine(80, QLatin1Char('W'));
        box.SetText(longLine);
        QCOMPARE(box.width(), fm.horizontalAdvance(longLine) + 48);
        QCOMPARE(box.height(), 3 * fm.height() + 134); // only grows
        const QString longTitle(120, QLatin1Char('M'));
        box.SetTitle(longTitle);
        QCOMPARE(box.width(), fm.horizontalAdvance(longTitle) + 20);
    }

    // A page title in a question is shown as typed, never as markup.
    void textIsPlain() {
        TConfirmBox box;
        const QString title = QStringLiteral("Remove '<b>Bank</b> &amp; co'?");
        box.SetText(title);
        QCOMPARE(box.Text(), title);
        QVERIFY(box.lText->sizeHint().width() >= box.fontMetrics().horizontalAdvance(title));
    }

    void buttonsKeepToTheCornerWhenTheBoxGrows() {
        TConfirmBox box;
        box.SetFlags(cfYes | cfNo);
        box.SetText(QStringLiteral("a\nb\nc\nd\n") + QString(90, QLatin1Char('x')));
        QVERIFY(box.width() > 309);
        QPushButton* no = ButtonOf(&box, QStringLiteral("No"));
        QCOMPARE(no->geometry().right() + 1, box.width() - 8);
        QCOMPARE(no->geometry().bottom() + 1, box.height() - 12);
        // A user's resize too.
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QSize larger = box.size() + QSize(30, 10);
        box.resize(larger);
        QTRY_COMPARE(box.size(), larger);
        QCOMPARE(no->geometry().right() + 1, box.width() - 8);
        QCOMPARE(no->geometry().bottom() + 1, box.height() - 12);
    }

    void image() {
        TConfirmBox plain;
        plain.SetText(QStringLiteral("Question?"));
        plain.SetImage(nullptr);
        QVERIFY(!plain.findChild<QWidget*>(QStringLiteral("ConfirmImage")));
        QCOMPARE(plain.size(), QSize(309, plain.fontMetrics().height() + 134));

        QPixmap picture(40, 160);
        picture.fill(Qt::blue);
        TConfirmBox box;
        const QString text(40, QLatin1Char('x'));
        const int textW = box.fontMetrics().horizontalAdvance(text);
        box.SetText(text);
        box.SetImage(&picture);
        auto* shown = box.findChild<QWidget*>(QStringLiteral("ConfirmImage"));
        QVERIFY(shown);
        QCOMPARE(shown->size(), QSize(40, 160));
        QVERIFY(textW + 48 + 48 + 40 > 309);
        QCOMPARE(box.width(), textW + 48 + 48 + 40); // room for the text and the picture
        QCOMPARE(box.height(), 160 + 134);           // the picture is taller than the text
        QCOMPARE(shown->geometry(), QRect(box.width() - 24 - 40, 16, 40, 160));
        QVERIFY(box.Image());
        QCOMPARE(box.Image()->size(), QSize(40, 160));
    }

    void hookAnswersWithoutAWindow() {
        QList<TConfirmBoxCall> calls;
        SetConfirmBoxHook([&](const TConfirmBoxCall& c) {
            calls << c;
            return 7;
        });
        QCOMPARE(ShowConfirmBox(nullptr, QStringLiteral("Save changes?"), QStringLiteral("Confirm"),
                                cfYes | cfNo | cfCancel),
                 7);
        SetConfirmBoxHook({});
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].Text, QStringLiteral("Save changes?"));
        QCOMPARE(calls[0].Title, QStringLiteral("Confirm"));
        QCOMPARE(calls[0].Flags, cfYes | cfNo | cfCancel);
        QVERIFY(!QApplication::activeModalWidget());
    }

    // The real modal box, answered each way a user can answer it.
    void modalAnswers_data() {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        QTest::newRow("click Yes") << (cfYes | cfNo) << "click Yes" << 6;
        QTest::newRow("click No") << (cfYes | cfNo) << "click No" << 7;
        QTest::newRow("click Cancel") << (cfYes | cfNo | cfCancel) << "click Cancel" << 2;
        QTest::newRow("click OK") << int(cfOK) << "click OK" << 1;
        QTest::newRow("click Yes to All") << (cfYesToAll | cfNoToAll) << "click Yes to All" << 14;
        QTest::newRow("click No to All") << (cfYesToAll | cfNoToAll) << "click No to All" << 13;
        QTest::newRow("Enter on the focused button") << (cfYes | cfNo) << "enter" << 7;
        QTest::newRow("Tab then Enter") << (cfYes | cfNo) << "tab enter" << 6;
        QTest::newRow("Esc with Cancel") << (cfYes | cfNo | cfCancel) << "esc" << 2;
        QTest::newRow("Esc, Cancel before No to All")
            << (cfNoToAll | cfCancel | cfNo) << "esc" << 2;
        QTest::newRow("Esc with No to All") << (cfNoToAll | cfNo) << "esc" << 13;
        QTest::newRow("Esc without a cancel button does nothing")
            << (cfYes | cfNo) << "esc close" << 0;
        QTest::newRow("close box") << (cfYes | cfNo | cfCancel) << "close" << 0;
        QTest::newRow("no buttons") << 0 << "close" << 0;
    }
    void modalAnswers() {
        QFETCH(int, flags);
        QFETCH(QString, action);
        QFETCH(int, answer);
        QString focused;
        bool openAfterEsc = false;
        WhenModal([&](QWidget* m) {
            auto* box = qobject_cast<TConfirmBox*>(m);
            if (!box)
                return;
            if (auto* f = qobject_cast<QPushButton*>(box->focusWidget()))
                focused = f->text();
            QWidget* target = box->focusWidget() ? box->focusWidget() : box;
            if (action.startsWith(QStringLiteral("click ")))
                QTest::mouseClick(ButtonOf(box, action.mid(6)), Qt::LeftButton);
            else if (action == QStringLiteral("enter"))
                QTest::keyClick(target, Qt::Key_Return);
            else if (action == QStringLiteral("tab enter")) {
                QTest::keyClick(target, Qt::Key_Tab);
                QTest::keyClick(box->focusWidget(), Qt::Key_Return);
            } else if (action.startsWith(QStringLiteral("esc"))) {
                QTest::keyClick(target, Qt::Key_Escape);
                openAfterEsc = box->isVisible();
            }
            if (action.endsWith(QStringLiteral("close")))
                box->close();
        });
        TModalGuard guard;
        const int result =
            ShowConfirmBox(nullptr, QStringLiteral("Delete?"), QStringLiteral("Confirm"), flags);
        QVERIFY(!guard.Fired);
        QCOMPARE(result, answer);
        if (flags == (cfYes | cfNo))
            QCOMPARE(focused, QStringLiteral("No")); // the rightmost button
        if (action == QStringLiteral("esc close"))
            QVERIFY(openAfterEsc);
    }
};

VMR_TEST_MAIN(TestConfirmBox)
#include "tst_ConfirmBox.moc"
