#include "Edit.h"
#include "MainFixture.h"
#include "SettingsStore.h"
#include "kel_changepw.h"
#include "vmr_password.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {} // namespace

class TestPagesMain : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

    TTPagesMain* OpenWith(const TSeenPages& Pages) { return fx->OpenWith(Pages); }

private slots:
    void init() {
        fx = std::make_unique<TMainFixture>();
        StoredCryptString = DefaultCryptString;
    }
    void cleanup() { fx.reset(); }

    void layoutAtTheScreensResolution() {
        TTPagesMain* w = fx->Open();
        QCOMPARE(w->windowTitle(), QStringLiteral("VMR v 2.5"));
        // 240 ppi design values on a 96 ppi screen: two fifths.
        QCOMPARE(w->size(), QSize(932, 500));
        QCOMPARE(w->ePages->geometry(), QRect(8, 30, 380, 434));
        QCOMPARE(w->eTitle->geometry(), QRect(456, 12, 468, 21));
        QCOMPARE(w->eText->geometry(), QRect(416, 60, 508, 404));
        QCOMPARE(w->bOk->geometry(), QRect(849, 470, 75, 25));
        QCOMPARE(w->bSave->geometry(), QRect(768, 470, 75, 25));
        QCOMPARE(w->bChgPW->geometry(), QRect(8, 470, 143, 25));
        QCOMPARE(w->bAddPage->text(), QStringLiteral("+"));
        QCOMPARE(w->bDelPage->text(), QStringLiteral("X"));
        QCOMPARE(w->bSave->text(), QStringLiteral("Save"));
        QCOMPARE(w->eFontSize->text(), QStringLiteral("11"));
        QCOMPARE(w->eTitle->EmptyString(), QStringLiteral("Fill in the title of the page"));
        QVERIFY(!w->eText->HideSelection());
        QCOMPARE(w->aSave->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(w->aFindNext->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
        QVERIFY(w->aFont->shortcut().isEmpty());
        QVERIFY(w->ePages->hasFocus());
        // Tab order: list, Ok, title, editor, Save, font name, size, password.
        const QList<QWidget*> order = {w->bOk,       w->eTitle,    w->eText,  w->bSave,
                                       w->eFontName, w->eFontSize, w->bChgPW, w->ePages};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        // Anchors: the list grows down, the title right, the editor both ways;
        // Ok and Save keep to the bottom right, the password button bottom left.
        w->resize(1032, 550);
        QCOMPARE(w->ePages->geometry(), QRect(8, 30, 380, 484));
        QCOMPARE(w->eTitle->geometry(), QRect(456, 12, 568, 21));
        QCOMPARE(w->eText->geometry(), QRect(416, 60, 608, 454));
        QCOMPARE(w->bOk->geometry(), QRect(949, 520, 75, 25));
        QCOMPARE(w->bChgPW->geometry(), QRect(8, 520, 143, 25));
        QCOMPARE(w->bBold->geometry(), QRect(416, 36, 23, 22));
    }

    void withoutVaultOneDefaultPageThatCanBeSavedAtOnce() {
        TTPagesMain* w = fx->Open();
        QCOMPARE(w->Pages->Count(), 1);
        QCOMPARE(w->CurPageIx(), 0);
        QCOMPARE(w->eTitle->Text(), QStringLiteral("<empty page>"));
        QCOMPARE(w->eText->Text(), QStringLiteral("<text>"));
        QVERIFY(w->IsChanged());
        QVERIFY(w->bSave->isEnabled());
        QVERIFY(!QFile::exists(fx->Vault()));
        fx->CtrlS();
        QCOMPARE(QFileInfo(fx->Vault()).size(), 60);
        QVERIFY(!w->IsChanged());
        QVERIFY(!w->bSave->isEnabled());
    }

    void savingAgainRewritesTheWholeFile() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" plus"));
        QVERIFY(w->IsChanged());
        fx->CtrlS();
        TSeenPages expect = ThreePages;
        expect[0].Text += QStringLiteral(" plus");
        QCOMPARE(SeenVault(fx->Vault()), expect);
        // Shorter content leaves no bytes of the longer file behind.
        fx->TypeTitle(QStringLiteral("A"));
        w->eText->selectAll();
        QTest::keyClick(w->eText, Qt::Key_Delete);
        QTest::mouseClick(w->bSave, Qt::LeftButton);
        QCOMPARE(FileBytes(fx->Vault()), VaultData(*w->Pages, w->Pages->Count()));
        expect[0] = {QStringLiteral("A"), QString()};
        QCOMPARE(SeenVault(fx->Vault()), expect);
    }

    void browsingChangesNothing() {
        TTPagesMain* w = OpenWith(ThreePages);
        QVERIFY(!w->IsChanged());
        QCOMPARE(w->CurPageIx(), 0);
        QCOMPARE(fx->Seen(), ThreePages);
        for (int i : {2, 1, 0, 2}) {
            fx->ClickItem(i);
            QCOMPARE(w->CurPageIx(), i);
            QCOMPARE(w->eTitle->Text(), ThreePages[i].Title);
            QCOMPARE(w->eText->Text(), ThreePages[i].Text);
        }
        QTest::keyClick(w->ePages, Qt::Key_Up);
        QCOMPARE(w->CurPageIx(), 1);
        QVERIFY(!w->IsChanged());
        QVERIFY(!w->bSave->isEnabled());
        QCOMPARE(fx->Stored(), ThreePages);
    }

    void anEditStaysWithItsPage() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" edited"));
        fx->ClickItem(1);
        QCOMPARE(w->eText->Text(), QStringLiteral("second text"));
        TSeenPages expect = ThreePages;
        expect[0].Text = QStringLiteral("first text edited");
        QCOMPARE(fx->Stored(), expect);
        QVERIFY(w->IsChanged());
    }

    // Showing a page never gives it another title, whatever the title
    // field's match list offers.
    void showingAPageKeepsItsTitle() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->ClickItem(1);
        fx->TypeTitle(QStringLiteral("Bank account"));
        w->ePages->setFocus(); // the field offers its text from now on
        QCOMPARE(w->eTitle->MatchList(), QStringList{QStringLiteral("Bank account")});
        fx->TypeTitle(QStringLiteral("Bank"));
        QCOMPARE(w->eTitle->Text(), QStringLiteral("Bank account")); // typing completes
        QTest::keyClick(w->eTitle, Qt::Key_Delete);
        QCOMPARE(w->eTitle->Text(), QStringLiteral("Bank"));
        w->ePages->setFocus();
        fx->ClickItem(0);
        fx->ClickItem(1);
        QCOMPARE(w->eTitle->Text(), QStringLiteral("Bank"));
        QCOMPARE(w->CurPage()->Title(), QStringLiteral("Bank"));
    }

    void selectionIsRememberedAcrossPages() {
        TTPagesMain* w = OpenWith(ThreePages);
        w->eText->setFocus();
        w->eText->SetSelStart(6);
        w->eText->SetSelLength(3);
        w->ePages->setFocus();
        fx->ClickItem(2);
        w->eText->setFocus();
        QCOMPARE(w->eText->SelStart(), 6);
        QCOMPARE(w->eText->SelLength(), 3);
        QCOMPARE(w->eText->textCursor().selectedText(), QStringLiteral("tex"));
        // Only as far as the text reaches.
        w->eText->SetSelStart(10);
        w->ePages->setFocus();
        fx->ClickItem(0);
        w->eText->SetText(QStringLiteral("short"));
        w->eText->setFocus();
        QCOMPARE(w->eText->SelStart(), 5);
    }

    void listWidthFollowsTheWidestTitleEverAdded() {
        TTPagesMain* w = OpenWith(ThreePages);
        const int narrow = w->ePages->HorizontalExtent();
        QCOMPARE(narrow, w->ePages->TextWidth(QStringLiteral("Alpha")));
        const QString wide(80, u'W');
        TConfirmRecorder confirm;
        WhenPageForm([&](TPageForm* f) { FillPageForm(f, wide, QString()); });
        QTest::mouseClick(w->bAddPage, Qt::LeftButton);
        QCOMPARE(w->ePages->HorizontalExtent(), w->ePages->TextWidth(wide));
        confirm.Answers = {6};
        fx->Key(Qt::Key_Delete);
        QCOMPARE(w->Pages->Count(), 3);
        QCOMPARE(w->ePages->HorizontalExtent(), w->ePages->TextWidth(wide));
    }

    // A page editor opened on the page the window shows starts from the
    // window's unsaved edits, and the window then shows the page as it is.
    void pageEditorAndWindowNeverDisagree() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" typed"));
        WhenPageForm([](TPageForm* f) {
            QCOMPARE(f->eText->Text(), QStringLiteral("first text typed"));
            FillPageForm(f, QStringLiteral("Zebra"), QStringLiteral(" and edited"));
        });
        fx->Key(Qt::Key_Return);
        QCOMPARE(w->CurPageIx(), 2);
        QCOMPARE(w->CurPage()->Title(), QStringLiteral("Zebra"));
        QCOMPARE(w->ePages->ItemIndex(), 2);
        QCOMPARE(w->eTitle->Text(), QStringLiteral("Zebra"));
        QCOMPARE(w->eText->Text(), QStringLiteral("first text typed and edited"));
        QCOMPARE(fx->Stored(), (TSeenPages{ThreePages[1],
                                           ThreePages[2],
                                           {QStringLiteral("Zebra"),
                                            QStringLiteral("first text typed and edited")}}));
        QCOMPARE(ListMirrorDifference(*w->ePages, *w->Pages), QString());
    }

    void pageEditorCancelledKeepsTheWindowsEdits() {
        TTPagesMain* w = OpenWith(ThreePages);
        fx->ClickItem(1);
        fx->TypeInText(QStringLiteral(" typed"));
        WhenPageForm([](TPageForm* f) {
            QTest::keyClicks(f->eTitle, QStringLiteral("gone"));
            QTest::mouseClick(f->bCancel, Qt::LeftButton);
        });
        QTest::mouseDClick(w->ePages->viewport(), Qt::LeftButton, {},
                           w->ePages->visualItemRect(w->ePages->item(1)).center());
        QCOMPARE(w->CurPageIx(), 1);
        QCOMPARE(w->eText->Text(), QStringLiteral("second text typed"));
        fx->ClickItem(0);
        QCOMPARE(fx->Stored()[1],
                 (TSeenPage{QStringLiteral("Bank"), QStringLiteral("second text typed")}));
    }

    void passwordChangeIsStored() {
        TTPagesMain* w = fx->Open();
        TModalGuard guard;
        WhenModal([](QWidget* m) {
            auto* d = qobject_cast<TChangePasswordDlg*>(m);
            QVERIFY(d);
            d->eOld->setText(DefaultPassword);
            d->eNew->setText(QStringLiteral("Secret7!"));
            d->eCfm->setText(QStringLiteral("Secret7!"));
            QTest::mouseClick(d->Button2, Qt::LeftButton);
        });
        QTest::mouseClick(w->bChgPW, Qt::LeftButton);
        QCOMPARE(StoredCryptString, CryptStringOf(QStringLiteral("Secret7!")));
        StoredCryptString = DefaultCryptString;
        auto store = OpenCurrentUserStore();
        ReadStoredCryptString(*store);
        QCOMPARE(StoredCryptString, CryptStringOf(QStringLiteral("Secret7!")));
        QFile::remove(DefaultSettingsPath());
    }

    void weakPasswordIsRefusedByTheRule() {
        TTPagesMain* w = fx->Open();
        QString emsg;
        w->CheckPasswordStrength(nullptr, QStringLiteral("Abcde1!"), emsg);
        QVERIFY(emsg.isEmpty());
        w->CheckPasswordStrength(nullptr, QStringLiteral("abcde1!"), emsg);
        QCOMPARE(emsg, WeakPasswordMessage());
    }
};

VMR_APP_TEST_MAIN(TestPagesMain)
#include "tst_PagesMain.moc"
