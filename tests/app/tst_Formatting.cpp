#include "MainFixture.h"
#include "RichEditActions.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLineEdit>

namespace {

// "small " at 10 points, "big" at 16 points (bold), " tail" at 10 points.
const QByteArray MixedBody = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}"
                             "\\f0\\fs20 small \\b\\fs32 big\\b0\\fs20  tail\\par}";

} // namespace

class TestFormatting : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

    TTPagesMain* OpenMixed() {
        fx->WriteBodies({{QStringLiteral("Mixed"), MixedBody},
                         {QStringLiteral("Other"), RtfOf(QStringLiteral("other"))}});
        return fx->Open();
    }
    // Selects [Start, Start + Length) in the editor as the keyboard does.
    void Select(int Start, int Length) {
        TRichEdit* e = fx->W->eText;
        e->SetFocus();
        e->SetSelStart(Start);
        for (int i = 0; i < Length; ++i)
            QTest::keyClick(e, Qt::Key_Right, Qt::ShiftModifier);
    }
    TFontStyles StyleAt(int Pos) {
        TRichEdit* e = fx->W->eText;
        e->SetSelStart(Pos);
        e->SetSelLength(1);
        return e->SelAttributes.Style();
    }
    int SizeAt(int Pos) {
        TRichEdit* e = fx->W->eText;
        e->SetSelStart(Pos);
        e->SetSelLength(1);
        return e->SelAttributes.Size();
    }

private slots:
    void init() {
        fx = std::make_unique<TMainFixture>();
        StoredCryptString = DefaultCryptString;
    }
    void cleanup() { fx.reset(); }

    void fontListStartsEmptyThenSortedNames() {
        TTPagesMain* w = OpenMixed();
        QVERIFY(w->eFontName->count() > 1);
        QCOMPARE(w->eFontName->itemText(0), QString());
        QStringList names;
        for (int i = 1; i < w->eFontName->count(); ++i)
            names << w->eFontName->itemText(i);
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        QCOMPARE(names, sorted);
        QCOMPARE(names.size(), QFontDatabase::families().size());
        QCOMPARE(w->FontSize(), 11);
        // Writing a listed name ignores letter case; an unlisted one is ignored.
        const QString listed = names.first();
        w->SetFontName(listed.toUpper());
        QCOMPARE(w->FontName(), listed);
        w->SetFontName(QStringLiteral("No Such Font Anywhere"));
        QCOMPARE(w->FontName(), listed);
    }

    void styleShortcutsToggleOnTheSelection_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("boldAfter");
        // "small big tail": 0..5 plain, 6..8 bold.
        QTest::newRow("all bold: removes") << 6 << 3 << false;
        QTest::newRow("mixed: makes all bold") << 4 << 4 << true;
        QTest::newRow("none bold: adds") << 0 << 5 << true;
    }
    void styleShortcutsToggleOnTheSelection() {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(bool, boldAfter);
        TTPagesMain* w = OpenMixed();
        QVERIFY(!w->IsChanged());
        // Italic first, on the same selection, so that bold must leave it.
        Select(start, length);
        QTest::keyClick(w->eText, Qt::Key_I, Qt::ControlModifier);
        Select(start, length);
        QTest::keyClick(w->eText, Qt::Key_B, Qt::ControlModifier);
        for (int i = start; i < start + length; ++i) {
            QCOMPARE(StyleAt(i).testFlag(fsBold), boldAfter);
            QVERIFY(StyleAt(i).testFlag(fsItalic));
            QVERIFY(!StyleAt(i).testFlag(fsUnderline));
        }
        // Outside the selection nothing changed.
        QCOMPARE(StyleAt(start + length + 1).testFlag(fsItalic), false);
        QVERIFY(w->IsChanged());
        QVERIFY(w->bSave->isEnabled());
    }

    void underlineShortcutAndButtonsOfOneGroup() {
        TTPagesMain* w = OpenMixed();
        Select(0, 5);
        QTest::keyClick(w->eText, Qt::Key_U, Qt::ControlModifier);
        QVERIFY(StyleAt(2).testFlag(fsUnderline));
        // The buttons follow clicks only, one at a time.
        QVERIFY(!w->bUnderline->isChecked());
        Select(0, 5);
        QTest::mouseClick(w->bBold, Qt::LeftButton);
        Select(0, 5);
        QTest::mouseClick(w->bItalic, Qt::LeftButton);
        QVERIFY(!w->bBold->isChecked());
        QVERIFY(w->bItalic->isChecked());
        QCOMPARE(StyleAt(2), fsBold | fsItalic | fsUnderline);
        Select(0, 5);
        QTest::mouseClick(w->bItalic, Qt::LeftButton);
        QVERIFY(!w->bItalic->isChecked());
        QCOMPARE(StyleAt(2), fsBold | fsUnderline);
    }

    void styleKeysDoNothingWithoutCurrentPage() {
        TTPagesMain* w = OpenMixed();
        w->SetCurPageIx(-1);
        QVERIFY(!w->aBold->isEnabled());
        QVERIFY(!w->bBold->isEnabled());
        const bool changed = w->IsChanged();
        TMessageBoxRecorder boxes;
        QTest::keyClick(w->ePages, Qt::Key_B, Qt::ControlModifier);
        QTest::keyClick(w->ePages, Qt::Key_I, Qt::ControlModifier);
        QTest::mouseClick(w->bUnderline, Qt::LeftButton);
        QCOMPARE(w->IsChanged(), changed);
        QVERIFY(boxes.Calls.isEmpty());
        QCOMPARE(w->eText->Text(), QString());
    }

    void typingASizeAppliesEachValue() {
        TTPagesMain* w = OpenMixed();
        Select(0, 9);
        w->eFontSize->setFocus();
        QTest::keyClick(w->eFontSize, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(w->eFontSize, Qt::Key_1);
        QCOMPARE(SizeAt(0), 1);
        QCOMPARE(SizeAt(7), 1);
        w->eText->SetSelStart(0);
        w->eText->SetSelLength(9);
        QTest::keyClick(w->eFontSize, Qt::Key_4);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("14"));
        // Letters do not go in.
        QTest::keyClick(w->eFontSize, Qt::Key_X);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("14"));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(SizeAt(i), 14);
        QCOMPARE(SizeAt(10), 10);
    }

    void erasingTheSizeAppliesEleven() {
        TTPagesMain* w = OpenMixed();
        Select(6, 3);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("16"));
        w->eFontSize->setFocus();
        w->eFontSize->end(false);
        QTest::keyClick(w->eFontSize, Qt::Key_Backspace);
        QTest::keyClick(w->eFontSize, Qt::Key_Backspace);
        QCOMPARE(w->eFontSize->text(), QString());
        QCOMPARE(w->FontSize(), 11);
        QCOMPARE(SizeAt(7), 11);
    }

    void sizeBeyondIntegerIsAnErrorAndKeepsTheSize() {
        TTPagesMain* w = OpenMixed();
        Select(6, 3);
        TMessageBoxRecorder boxes;
        QGuiApplication::clipboard()->setText(QStringLiteral("99999999999"));
        w->eFontSize->setFocus();
        QTest::keyClick(w->eFontSize, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(w->eFontSize, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("99999999999"));
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, QStringLiteral("'99999999999' is not a valid integer value"));
        QVERIFY(boxes.Calls[0].Flags & MB_ICONERROR);
        QCOMPARE(SizeAt(7), 16);
    }

    void caretMovesShowTheSizeAndNameThere() {
        TTPagesMain* w = OpenMixed();
        const bool hasArial = w->eFontName->findText(QStringLiteral("Arial")) >= 0;
        w->eText->SetFocus();
        QTest::keyClick(w->eText, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(w->eText, Qt::Key_Right);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("10"));
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(w->eText, Qt::Key_Right);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("16"));
        if (hasArial)
            QCOMPARE(w->FontName(), QStringLiteral("Arial"));
        QCOMPARE(w->SelectionFontName(), QStringLiteral("Arial"));
        // Showing the size wrote it back to the empty selection: nothing moved.
        QCOMPARE(w->eText->SelStart(), 7);
        QCOMPARE(w->eText->SelLength(), 0);
        QCOMPARE(SizeAt(7), 16);
        QCOMPARE(SizeAt(2), 10);
    }

    void mixedSizesTakeTheReportedSize() {
        TTPagesMain* w = OpenMixed();
        // From inside "big" back into "small": once the selection reports the
        // smaller size, the whole selection takes it.
        w->eText->SetFocus();
        w->eText->SetSelStart(8);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("16"));
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(w->eText, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("10"));
        for (int i = 4; i < 8; ++i)
            QCOMPARE(SizeAt(i), 10);
        QCOMPARE(SizeAt(8), 16);
    }

    void closingTheNameListAppliesTheName() {
        TTPagesMain* w = OpenMixed();
        QVERIFY(w->eFontName->count() > 2);
        const QString chosen = w->eFontName->itemText(2);
        Select(0, 5);
        w->eFontName->setCurrentIndex(1);
        const QString shown = w->FontName();
        // Opened and closed without a choice: the shown name goes in.
        w->eFontName->showPopup();
        QTRY_VERIFY(w->eFontName->view()->isVisible());
        w->eFontName->hidePopup();
        QTRY_VERIFY(!w->eFontName->view()->isVisible());
        QCOMPARE(w->SelectionFontName(), shown);
        // A chosen item goes in.
        w->eFontName->showPopup();
        QTRY_VERIFY(w->eFontName->view()->isVisible());
        QAbstractItemView* view = w->eFontName->view();
        const QModelIndex item = view->model()->index(2, 0);
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        QTRY_VERIFY(!w->eFontName->view()->isVisible());
        QCOMPARE(w->FontName(), chosen);
        w->eText->SetSelStart(0);
        w->eText->SetSelLength(5);
        QCOMPARE(w->SelectionFontName(), chosen);
        QVERIFY(w->IsChanged());
    }

    void fontDialogAppliesNameSizeAndStyle() {
        TTPagesMain* w = OpenMixed();
        Select(0, 5);
        const QString shownName = w->FontName();
        const QString shownSize = w->eFontSize->text();
        QFont expected;
        TModalGuard guard;
        WhenModal([&](QWidget* m) {
            auto* d = qobject_cast<QFontDialog*>(m);
            QVERIFY(d);
            QFont f(QStringLiteral("DejaVu Serif"), 20);
            f.setItalic(true);
            d->setCurrentFont(f);
            expected = d->currentFont();
            d->accept();
        });
        w->aFont->trigger();
        QVERIFY(!guard.Fired);
        QCOMPARE(expected.pointSize(), 20);
        // The name box and size field wait for the next move of the selection.
        QCOMPARE(w->FontName(), shownName);
        QCOMPARE(w->eFontSize->text(), shownSize);
        QVERIFY(w->IsChanged());
        QCOMPARE(w->eText->SelAttributes.Name(), expected.family());
        QCOMPARE(w->eText->SelAttributes.Size(), 20);
        QCOMPARE(w->eText->SelAttributes.Style(), FontStylesOf(expected));
    }

    void fontDialogCancelledChangesNothing() {
        TTPagesMain* w = OpenMixed();
        // Moving the selection over uniform text is no edit.
        Select(0, 5);
        QCOMPARE(w->eFontSize->text(), QStringLiteral("10"));
        QVERIFY(!w->IsChanged());
        TModalGuard guard;
        WhenModal([](QWidget* m) { m->close(); });
        w->aFont->trigger();
        QVERIFY(!guard.Fired);
        QCOMPARE(SizeAt(1), 10);
        QVERIFY(!w->IsChanged());
    }

    void formattingIsSavedIntoTheVaultAndReadBack() {
        TTPagesMain* w = OpenMixed();
        Select(0, 5);
        QTest::keyClick(w->eText, Qt::Key_B, Qt::ControlModifier);
        Select(10, 4);
        QTest::keyClick(w->eText, Qt::Key_U, Qt::ControlModifier);
        fx->CtrlS();
        QVERIFY(!w->IsChanged());
        fx->W.reset();
        w = fx->Open();
        QCOMPARE(w->eTitle->Text(), QStringLiteral("Mixed"));
        QCOMPARE(w->eText->Text(), QStringLiteral("small big tail"));
        QVERIFY(StyleAt(0).testFlag(fsBold));
        QVERIFY(!StyleAt(0).testFlag(fsUnderline));
        QVERIFY(StyleAt(11).testFlag(fsUnderline));
        QVERIFY(!StyleAt(11).testFlag(fsBold));
        QCOMPARE(SizeAt(7), 16);
    }
};

VMR_APP_TEST_MAIN(TestFormatting)
#include "tst_Formatting.moc"
