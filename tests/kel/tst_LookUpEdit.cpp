#include "Exception.h"
#include "common/MessageBoxRecorder.h"
#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "kel_edit.h"

#include <QClipboard>
#include <QLineEdit>
#include <memory>

namespace {
const QString Hint = QStringLiteral("Fill in your text");

// A window with the lookup edit and a plain edit to move the focus to.
struct TWindow {
    QWidget Form;
    TLookUpEdit* Edit;
    QLineEdit* Other;
    TWindow() {
        Edit = new TLookUpEdit(&Form);
        Other = new QLineEdit(&Form);
        Edit->setGeometry(10, 10, 280, 24);
        Other->setGeometry(10, 44, 280, 24);
        Form.resize(300, 80);
        ShowActive(&Form);
        Edit->setFocus();
    }
};

bool ShowsHint(const TLookUpEdit* E) {
    return E->font().italic() && E->palette().color(QPalette::Text) == QColor(128, 128, 128);
}
} // namespace

class TestLookUpEdit : public QObject {
    Q_OBJECT
    std::unique_ptr<TWindow> w;

    TLookUpEdit* Open(const QStringList& Matches = {}) {
        w = std::make_unique<TWindow>();
        w->Edit->SetMatchList(Matches);
        w->Edit->SetEmptyString(Hint);
        return w->Edit;
    }
    void Type(const QString& Keys) {
        for (const QChar c : Keys) {
            // keyClicks takes Latin-1 only.
            const auto key = Qt::Key(c.toUpper().unicode());
            QTest::sendKeyEvent(QTest::Press, w->Edit, key, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, w->Edit, key, QString(c), Qt::NoModifier);
        }
    }
    void Key(Qt::Key K) { QTest::keyClick(w->Edit, K); }

private slots:
    void cleanup() {
        w.reset();
        QVERIFY(!LookUpChanging);
    }

    void hintShowsOnceAssignedAndIsNeverContent() {
        TLookUpEdit e;
        QCOMPARE(e.RawText(), QString()); // construction shows no hint
        QCOMPARE(e.EmptyString(), Hint);
        e.SetEmptyString(QStringLiteral("Title"));
        QCOMPARE(e.RawText(), QStringLiteral("Title"));
        QCOMPARE(e.Text(), QString());
        QVERIFY(e.IsEmpty());
        QCOMPARE(e.TextLength(), 5);
        QVERIFY(ShowsHint(&e));
        QCOMPARE(e.cursorPosition(), 0);
    }

    void typingCompletes_data() {
        QTest::addColumn<QStringList>("matches");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        const QStringList banking{QStringLiteral("Banking"), QStringLiteral("bank")};
        QTest::newRow("first entry wins, typed letter keeps its case") << banking << "b"
                                                                       << "banking" << 1 << 6;
        QTest::newRow("typing on over the completion") << banking << "ban"
                                                       << "banking" << 3 << 4;
        QTest::newRow("typed capitals stay") << banking << "BA"
                                             << "BAnking" << 2 << 5;
        QTest::newRow("leading blanks kept") << QStringList{QStringLiteral("Bank")} << "  ba"
                                             << "  bank" << 4 << 2;
        QTest::newRow("blanks only never complete")
            << QStringList{QStringLiteral(" x"), QStringLiteral("Bank")} << "  "
            << "  " << 2 << 0;
        QTest::newRow("empty list") << QStringList() << "ban"
                                    << "ban" << 3 << 0;
        QTest::newRow("no entry begins so") << banking << "bx"
                                            << "bx" << 2 << 0;
        QTest::newRow("only A-Z fold") << QStringList{QStringLiteral("\u00c9clair")} << "\u00e9"
                                       << "\u00e9" << 1 << 0;
        QTest::newRow("whole entry typed") << banking << "BANK"
                                           << "BANKing" << 4 << 3;
    }
    void typingCompletes() {
        QFETCH(QStringList, matches);
        QFETCH(QString, typed);
        QFETCH(QString, raw);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        TLookUpEdit* e = Open(matches);
        Type(typed);
        QCOMPARE(e->RawText(), raw);
        QCOMPARE(e->Text(), raw);
        QCOMPARE(e->SelStart(), selStart);
        QCOMPARE(e->SelLength(), selLength);
        QVERIFY(!ShowsHint(e));
        QCOMPARE(e->font(), e->TextFont().Font);
    }

    void backspaceTakesCompletionAndLastLetter() {
        TLookUpEdit* e = Open({QStringLiteral("Banking"), QStringLiteral("bank")});
        Type(QStringLiteral("ba"));
        QCOMPARE(e->RawText(), QStringLiteral("banking"));
        Key(Qt::Key_Backspace); // 'b' remains, and completes again
        QCOMPARE(e->RawText(), QStringLiteral("banking"));
        QCOMPARE(e->SelStart(), 1);
        QCOMPARE(e->SelLength(), 6);
        Key(Qt::Key_Backspace); // nothing remains
        QCOMPARE(e->RawText(), Hint);
        QCOMPARE(e->Text(), QString());
        QVERIFY(ShowsHint(e));
        QCOMPARE(e->cursorPosition(), 0);
    }

    void backspaceWithoutSelectionTakesOneLetter() {
        TLookUpEdit* e = Open({QStringLiteral("Bank")});
        Type(QStringLiteral("xyz"));
        Key(Qt::Key_Left);
        Key(Qt::Key_Backspace);
        QCOMPARE(e->RawText(), QStringLiteral("xz"));
        QCOMPARE(e->cursorPosition(), 1);
    }

    void deleteLeavesTheTypedText() {
        TLookUpEdit* e = Open({QStringLiteral("Banking")});
        Type(QStringLiteral("ba"));
        Key(Qt::Key_Delete);
        QCOMPARE(e->RawText(), QStringLiteral("ba"));
        QCOMPARE(e->cursorPosition(), 2);
        Type(QStringLiteral("n")); // the next key completes again
        QCOMPARE(e->RawText(), QStringLiteral("banking"));
        QCOMPARE(e->SelStart(), 3);
        // A Delete at the end deletes nothing and holds nothing back.
        e->SetSel(e->TextLength(), 0);
        Key(Qt::Key_Delete);
        e->SetText(QStringLiteral("b"));
        QCOMPARE(e->RawText(), QStringLiteral("banking"));
    }

    void deletingTheLastCharacterBringsBackTheHint() {
        TLookUpEdit* e = Open();
        Type(QStringLiteral("ab"));
        Key(Qt::Key_Home);
        Key(Qt::Key_Delete);
        QCOMPARE(e->RawText(), QStringLiteral("b"));
        Key(Qt::Key_Delete);
        QCOMPARE(e->RawText(), Hint);
        QVERIFY(ShowsHint(e));
        QCOMPARE(e->cursorPosition(), 0);
        Type(QStringLiteral("q")); // the hint is replaced, not typed into
        QCOMPARE(e->RawText(), QStringLiteral("q"));
        QVERIFY(!ShowsHint(e));
    }

    void typingExactlyTheHintCountsAsEmpty() {
        TLookUpEdit* e = Open();
        Type(Hint);
        QCOMPARE(e->RawText(), Hint);
        QVERIFY(e->IsEmpty());
        QCOMPARE(e->Text(), QString());
        QVERIFY(ShowsHint(e));
        QCOMPARE(e->cursorPosition(), 0);
    }

    void assignedTextCompletesToo() {
        TLookUpEdit* e = Open({QStringLiteral("Bank account")});
        e->SetText(QStringLiteral("Bank"));
        QCOMPARE(e->RawText(), QStringLiteral("Bank account"));
        QCOMPARE(e->SelStart(), 4);
        QCOMPARE(e->SelLength(), 8);
        QCOMPARE(e->Text(), QStringLiteral("Bank account"));
        e->SetText(QString());
        QCOMPARE(e->RawText(), Hint);
        QVERIFY(ShowsHint(e));
    }

    void pastingReplacesTheHint() {
        TLookUpEdit* e = Open({QStringLiteral("Bank account")});
        QGuiApplication::clipboard()->setText(QStringLiteral("Bank"));
        QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(e->RawText(), QStringLiteral("Bank account"));
        QCOMPARE(e->SelStart(), 4);
    }

    void sameTextKeepsCaretAndSelection() {
        TLookUpEdit* e = Open();
        int changes = 0;
        e->OnChange = [&] { ++changes; };
        e->SetText(QStringLiteral("Hello world"));
        QCOMPARE(changes, 1);
        e->setCursorPosition(3);
        e->SetText(QStringLiteral("Hello world"));
        QCOMPARE(e->cursorPosition(), 3);
        e->SetSel(2, 4);
        e->SetText(QStringLiteral("Hello world"));
        QCOMPARE(e->SelStart(), 2);
        QCOMPARE(e->SelLength(), 4);
        QCOMPARE(changes, 1);
        // Rewriting the field after every keystroke keeps typing in the middle.
        e->OnChange = [&] { e->SetText(e->Text()); };
        e->setCursorPosition(5);
        Type(QStringLiteral("XY"));
        QCOMPARE(e->RawText(), QStringLiteral("HelloXY world"));
        QCOMPARE(e->cursorPosition(), 7);
    }

    void onChangeRunsForEveryChangeAndCanBeDetached() {
        TLookUpEdit* e = Open({QStringLiteral("Banking")});
        QStringList seen;
        const auto handler = [&] { seen << e->Text(); };
        e->OnChange = handler;
        Type(QStringLiteral("b"));
        e->SetText(QStringLiteral("x"));
        QCOMPARE(seen, (QStringList{QStringLiteral("banking"), QStringLiteral("x")}));
        e->OnChange = nullptr;
        e->SetText(QStringLiteral("y"));
        QCOMPARE(e->RawText(), QStringLiteral("y"));
        e->OnChange = handler;
        Key(Qt::Key_Backspace);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen.last(), QString());
    }

    // While one lookup edit processes a change, changes of every lookup edit
    // are skipped, without hint, completion or change handler.
    void guardSpansAllLookUpEdits() {
        TLookUpEdit* e = Open();
        TLookUpEdit other(&w->Form);
        other.SetMatchList({QStringLiteral("Bank")});
        int otherChanges = 0;
        other.OnChange = [&] { ++otherChanges; };
        e->OnChange = [&] {
            QVERIFY(LookUpChanging);
            other.SetText(QStringLiteral("B"));
            e->SetText(e->Text() + QStringLiteral("!"));
        };
        e->SetText(QStringLiteral("a"));
        QVERIFY(!LookUpChanging);
        QCOMPARE(other.RawText(), QStringLiteral("B"));
        QCOMPARE(otherChanges, 0);
        QCOMPARE(e->RawText(), QStringLiteral("a!"));
        e->OnChange = nullptr;
        other.SetText(QStringLiteral("b"));
        QCOMPARE(other.RawText(), QStringLiteral("bank"));
        QCOMPARE(otherChanges, 1);
    }

    void failingChangeHandlerDoesNotLeaveTheGuardSet() {
        TLookUpEdit* e = Open({QStringLiteral("Bank")});
        e->OnChange = [] { throw Exception("handler failed"); };
        QVERIFY_THROWS_EXCEPTION(Exception, e->SetText(QStringLiteral("x")));
        QVERIFY(!LookUpChanging);
        {
            // Typed: the error box shows it and typing goes on.
            TMessageBoxRecorder boxes;
            Type(QStringLiteral("yz"));
            QCOMPARE(boxes.Calls.size(), 2);
            QCOMPARE(boxes.Calls[0].Text, QStringLiteral("handler failed"));
            QCOMPARE(e->RawText(), QStringLiteral("xyz"));
            QVERIFY(!LookUpChanging);
            QCOMPARE(TApplication::TakeEscapedErrors(), 0);
        }
        e->OnChange = nullptr;
        e->SetText(QStringLiteral("b"));
        QCOMPARE(e->RawText(), QStringLiteral("bank"));
    }

    void leavingAddsToTheMatchList() {
        TLookUpEdit* e = Open();
        QStringList offered;
        e->OnAddMatchItem = [&](QObject* Sender, QString& Item) {
            QCOMPARE(Sender, e);
            offered << Item;
        };
        QTest::keyClick(e, Qt::Key_Tab); // leaving while empty offers ""
        QVERIFY(w->Other->hasFocus());
        QCOMPARE(offered, QStringList{QString()});
        QVERIFY(e->MatchList().isEmpty());

        e->setFocus();
        Type(QStringLiteral(" Bank "));
        QTest::keyClick(e, Qt::Key_Tab);
        QCOMPARE(e->MatchList(), QStringList{QStringLiteral("Bank")});
        QCOMPARE(offered.last(), QStringLiteral("Bank"));

        e->setFocus();
        e->SetText(QStringLiteral("BANK"));
        QTest::keyClick(e, Qt::Key_Tab);
        QCOMPARE(e->MatchList(), QStringList{QStringLiteral("Bank")});
        QCOMPARE(offered.size(), 2);
        QCOMPARE(e->Matches(0), QStringLiteral("Bank"));
        QCOMPARE(e->Matches(-1), QString());
        QCOMPARE(e->Matches(1), QString());
    }

    void handlerMayChangeOrRefuseTheItem() {
        TLookUpEdit* e = Open();
        e->OnAddMatchItem = [](QObject*, QString& Item) {
            Item = Item == QStringLiteral("skip") ? QString() : Item.toUpper();
        };
        for (const QString& t : {QStringLiteral("skip"), QStringLiteral("keep"), QString()}) {
            e->setFocus();
            e->SetText(t);
            QTest::keyClick(e, Qt::Key_Tab);
        }
        QCOMPARE(e->MatchList(), QStringList{QStringLiteral("KEEP")});
    }

    void entryAndClickPutTheCaretBeforeTheHint() {
        TLookUpEdit* e = Open();
        int enters = 0, clicks = 0;
        e->OnEnter = [&] { ++enters; };
        e->OnClick = [&] { ++clicks; };
        w->Other->setFocus();
        QTest::keyClick(w->Other, Qt::Key_Backtab);
        QVERIFY(e->hasFocus());
        QCOMPARE(e->cursorPosition(), 0);
        QCOMPARE(e->SelLength(), 0);
        QCOMPARE(enters, 1);
        QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(e->width() - 5, e->height() / 2));
        QCOMPARE(e->cursorPosition(), 0);
        QCOMPARE(clicks, 1);
        // With text, a click places the caret where it falls.
        e->SetText(QStringLiteral("some text"));
        QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(e->width() - 5, e->height() / 2));
        QCOMPARE(e->cursorPosition(), 9);
        QCOMPARE(clicks, 2);
    }

    void fontSetters() {
        TLookUpEdit* e = Open();
        e->SetParentFont(false);
        const TEditFont big{QFont(QStringLiteral("DejaVu Sans"), 20), QColor(Qt::red)};
        e->SetTextFont(big); // not shown while the hint shows
        QVERIFY(ShowsHint(e));
        QFont hintFont(QStringLiteral("DejaVu Serif"), 9);
        hintFont.setItalic(true);
        e->SetEmptyFont({hintFont, QColor(128, 128, 128)});
        QCOMPARE(e->font(), hintFont);
        Type(QStringLiteral("x"));
        QCOMPARE(e->font(), big.Font);
        QCOMPARE(e->palette().color(QPalette::Text), QColor(Qt::red));
        e->SetEmptyFont(e->EmptyFont()); // not shown while text shows
        QCOMPARE(e->font(), big.Font);
    }

    void followsTheFormFont() {
        TLookUpEdit* e = Open();
        QFont ff(QStringLiteral("DejaVu Sans"));
        ff.setPixelSize(21);
        ff.setBold(true);
        w->Form.setFont(ff);
        Type(QStringLiteral("x")); // the form's font is taken at every change
        QCOMPARE(e->TextFont().Font, ff);
        QCOMPARE(e->font(), ff);
        QCOMPARE(e->EmptyFont().Font.pixelSize(), 21);
        QVERIFY(e->EmptyFont().Font.italic());
        QVERIFY(!e->EmptyFont().Font.bold());
        e->SetParentFont(false);
        QFont other = ff;
        other.setPixelSize(30);
        w->Form.setFont(other);
        Type(QStringLiteral("y"));
        QCOMPARE(e->TextFont().Font, ff);
        e->SetParentFont(true);
        QCOMPARE(e->TextFont().Font, other);
        // Without a form nothing changes.
        TLookUpEdit lone;
        const TEditFont before = lone.TextFont();
        lone.UpdateFromParentFont();
        QCOMPARE(lone.TextFont().Font, before.Font);
    }

    void assigningTheHint() {
        TLookUpEdit* e = Open();
        e->SetText(QStringLiteral("content"));
        e->SetEmptyString(QStringLiteral("other hint")); // text shows: it stays
        QCOMPARE(e->RawText(), QStringLiteral("content"));
        QCOMPARE(e->Text(), QStringLiteral("content"));
        e->SetEmptyString(QStringLiteral("content")); // equal text becomes the hint
        QCOMPARE(e->Text(), QString());
        QVERIFY(ShowsHint(e));
        e->SetEmptyString(QStringLiteral("new hint")); // empty: the new hint shows
        QCOMPARE(e->RawText(), QStringLiteral("new hint"));
        QVERIFY(e->IsEmpty());
    }
};

VMR_TEST_MAIN(TestLookUpEdit)
#include "tst_LookUpEdit.moc"
