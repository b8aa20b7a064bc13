#include "MainFixture.h"

namespace {
// Hand-written RTF that the editor reads but would write differently.
const QByteArray ForeignRtf =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Hello {\\b world}\\par}";

struct TPageHolder {
    std::unique_ptr<TPage> Page{KelNewCreated<TPage>()};
    TPageHolder(const QString& Title, const QByteArray& Text) {
        Page->SetTitle(Title);
        Page->SetText(Text);
    }
};
} // namespace

class TestPageForm : public QObject {
    Q_OBJECT

    // Opens the editor on Page, lets Action work in it, and returns the result.
    int Run(TPage* Page, std::function<void(TPageForm*)> Action, bool* Changed = nullptr) {
        TModalGuard guard;
        TPageForm form;
        form.SetPage(Page);
        WhenPageForm(Action);
        const int result = form.ShowModal();
        if (Changed)
            *Changed = form.IsChanged();
        return result;
    }

private slots:
    void layout() {
        TPageForm f;
        f.show();
        QCOMPARE(f.windowTitle(), QStringLiteral("PageForm"));
        QCOMPARE(f.size(), QSize(526, 496));
        QCOMPARE(f.eTitle->geometry(), QRect(48, 8, 470, 21));
        QCOMPARE(f.eText->geometry(), QRect(8, 56, 510, 404));
        QCOMPARE(f.bOk->geometry(), QRect(363, 470, 75, 25));
        QCOMPARE(f.bCancel->geometry(), QRect(443, 470, 75, 25));
        QCOMPARE(f.bBold->text(), QStringLiteral("B"));
        QVERIFY(f.bBold->font().bold());
        QCOMPARE(f.aFindNext->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
        QCOMPARE(f.eTitle->EmptyString(), QStringLiteral("Fill in the title of the page"));
        // The title and the editor follow the window's right and bottom edges.
        f.resize(626, 546);
        QCOMPARE(f.eTitle->geometry(), QRect(48, 8, 570, 21));
        QCOMPARE(f.eText->geometry(), QRect(8, 56, 610, 454));
        QCOMPARE(f.bOk->geometry(), QRect(363, 470, 75, 25));
    }

    // Ok without a change writes nothing, even where the editor would write
    // the bytes differently.
    void okWithoutChangeKeepsExactBytes_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("foreign RTF") << ForeignRtf;
        QTest::newRow("plain text") << QByteArray("<text>");
        QTest::newRow("empty") << QByteArray();
    }
    void okWithoutChangeKeepsExactBytes() {
        QFETCH(QByteArray, text);
        TPageHolder h(QStringLiteral("Notes"), text);
        bool changed = true;
        QCOMPARE(Run(
                     h.Page.get(), [](TPageForm* f) { QTest::mouseClick(f->bOk, Qt::LeftButton); },
                     &changed),
                 1);
        QVERIFY(!changed);
        QCOMPARE(h.Page->Title(), QStringLiteral("Notes"));
        QCOMPARE(h.Page->Text(), text);
    }

    void titleChangeWritesTitleAndText() {
        TPageHolder h(QStringLiteral("Notes"), ForeignRtf);
        bool changed = false;
        Run(
            h.Page.get(),
            [](TPageForm* f) {
                QCOMPARE(f->eTitle->Text(), QStringLiteral("Notes"));
                QCOMPARE(f->eText->Text(), QStringLiteral("Hello world"));
                // The title opens selected, as a dialog's first edit does.
                QCOMPARE(f->eTitle->selectedText(), QStringLiteral("Notes"));
                QTest::keyClick(f->eTitle, Qt::Key_End);
                QTest::keyClicks(f->eTitle, QStringLiteral(" 2"));
                QTest::mouseClick(f->bOk, Qt::LeftButton);
            },
            &changed);
        QVERIFY(changed);
        QCOMPARE(h.Page->Title(), QStringLiteral("Notes 2"));
        QVERIFY(h.Page->Text() != ForeignRtf); // streamed out again
        QCOMPARE(PlainOf(h.Page->Text()), QStringLiteral("Hello world"));
    }

    void cancelOrCloseBoxKeepsThePage_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("Esc, then Cancel") << "esc";
    }
    void cancelOrCloseBoxKeepsThePage() {
        QFETCH(QString, how);
        TPageHolder h(QStringLiteral("Notes"), QByteArray("<text>"));
        const int result = Run(h.Page.get(), [how](TPageForm* f) {
            QTest::keyClicks(f->eTitle, QStringLiteral("xyz"));
            f->eText->setFocus();
            QTest::keyClicks(f->eText, QStringLiteral("more"));
            if (how == QLatin1String("close")) {
                f->close();
                return;
            }
            if (how == QLatin1String("esc")) {
                // Esc is no way out: the form has no cancel button.
                QTest::keyClick(f->eText, Qt::Key_Escape);
                QVERIFY(f->isVisible());
                QCOMPARE(f->ModalResult(), 0);
            }
            QTest::mouseClick(f->bCancel, Qt::LeftButton);
        });
        QCOMPARE(result, 2);
        QCOMPARE(h.Page->Title(), QStringLiteral("Notes"));
        QCOMPARE(h.Page->Text(), QByteArray("<text>"));
    }

    void newEmptyPageShowsHintAndStaysEmpty() {
        TPageHolder h{QString(), QByteArray()};
        Run(h.Page.get(), [](TPageForm* f) {
            QVERIFY(f->eTitle->IsEmpty());
            QCOMPARE(f->eTitle->RawText(), QStringLiteral("Fill in the title of the page"));
            QCOMPARE(f->eText->Text(), QString());
            QVERIFY(!f->IsChanged());
            QTest::mouseClick(f->bOk, Qt::LeftButton);
        });
        QCOMPARE(h.Page->Title(), QString());
        QCOMPARE(h.Page->Text(), QByteArray());
    }

    void plainTextPageIsStoredAsRtfAfterAChange() {
        TPageHolder h(QStringLiteral("<empty page>"), QByteArray("<text>"));
        Run(h.Page.get(), [](TPageForm* f) {
            QCOMPARE(f->eText->Text(), QStringLiteral("<text>"));
            f->eText->setFocus();
            QTest::keyClick(f->eText, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(f->eText, QStringLiteral(" and more"));
            QTest::mouseClick(f->bOk, Qt::LeftButton);
        });
        QVERIFY(h.Page->Text().startsWith("{\\rtf"));
        QCOMPARE(PlainOf(h.Page->Text()), QStringLiteral("<text> and more"));
    }

    // Enter clicks the focused button only; in the title field it does nothing.
    void enterClicksOnlyAFocusedButton() {
        TPageHolder h(QStringLiteral("Notes"), QByteArray());
        const int result = Run(h.Page.get(), [](TPageForm* f) {
            QTest::keyClick(f->eTitle, Qt::Key_Return);
            QCOMPARE(f->ModalResult(), 0);
            f->bCancel->setFocus();
            QTest::keyClick(f->bCancel, Qt::Key_Return);
        });
        QCOMPARE(result, 2);
    }

    void boldShortcutFormatsTheSelectionAndCountsAsChange() {
        TPageHolder h(QStringLiteral("Notes"), RtfOf(QStringLiteral("plain words")));
        Run(h.Page.get(), [](TPageForm* f) {
            f->eText->setFocus();
            f->eText->SetSelStart(0);
            f->eText->SetSelLength(5);
            QTest::keyClick(f->eText, Qt::Key_B, Qt::ControlModifier);
            QVERIFY(f->eText->SelAttributes.Style().testFlag(fsBold));
            QVERIFY(f->IsChanged());
            QTest::mouseClick(f->bOk, Qt::LeftButton);
        });
        QVERIFY(h.Page->Text().contains("\\b"));
        QCOMPARE(PlainOf(h.Page->Text()), QStringLiteral("plain words"));
    }
};

VMR_APP_TEST_MAIN(TestPageForm)
#include "tst_PageForm.moc"
