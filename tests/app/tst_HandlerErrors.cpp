// A handler that fails, whichever way Qt called it: the error box shows the
// message, nothing of the error reaches Qt's event delivery, and the program
// goes on and still takes the user's keys.

#include "Image.h"
#include "MainFixture.h"

#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

namespace {

// Original, except that its first call fails with Message.
template <typename... A>
std::function<void(A...)> FailOnce(std::function<void(A...)> Original, const QString& Message) {
    auto armed = std::make_shared<bool>(true);
    return [Original, Message, armed](A... Args) {
        if (std::exchange(*armed, false))
            throw Exception(Message.toStdString());
        if (Original)
            Original(std::forward<A>(Args)...);
    };
}

// A dialog with an edit whose key preview and close handlers fail once.
class TFailingForm : public TForm {
public:
    TFailingForm() {
        Edit = new QLineEdit(this);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(Edit);
        SetKeyPreview(true);
    }
    QLineEdit* Edit;
    QString KeyFails, CloseFails;

protected:
    void FormKeyDown(int&, Qt::KeyboardModifiers) override {
        if (!KeyFails.isEmpty())
            throw Exception(std::exchange(KeyFails, QString()).toStdString());
    }
    void FormClose(TCloseAction&) override {
        if (!CloseFails.isEmpty())
            throw Exception(std::exchange(CloseFails, QString()).toStdString());
    }
};

// Makes one handler fail, then sends the events that run it.
using TRaise = std::function<void(TMainFixture& Fx, const QString& Message)>;

} // namespace

Q_DECLARE_METATYPE(TRaise)

class TestHandlerErrors : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

private slots:
    void init() { fx = std::make_unique<TMainFixture>(); }
    void cleanup() {
        SetConfirmBoxHook({});
        fx.reset();
    }

    void failureIsShownAndTheProgramGoesOn_data() {
        QTest::addColumn<TRaise>("raise");
        QTest::addColumn<QString>("message");
        const QString failed = QStringLiteral("The handler failed");

        QTest::newRow("key released in the page list")
            << TRaise([](TMainFixture& Fx, const QString& M) {
                   Fx.W->ePages->OnKeyUp = FailOnce(Fx.W->ePages->OnKeyUp, M);
                   Fx.Key(Qt::Key_Insert);
               })
            << failed;
        QTest::newRow("key typed into the title field")
            << TRaise([](TMainFixture& Fx, const QString& M) {
                   Fx.W->eTitle->OnChange = FailOnce(Fx.W->eTitle->OnChange, M);
                   Fx.W->eTitle->setFocus();
                   QTest::keyClick(Fx.W->eTitle, Qt::Key_X);
                   QCOMPARE(Fx.W->eTitle->RawText(), QStringLiteral("Alphax"));
               })
            << failed;
        QTest::newRow("key typed into the editor")
            << TRaise([](TMainFixture& Fx, const QString& M) {
                   Fx.W->eText->OnChange = FailOnce(Fx.W->eText->OnChange, M);
                   Fx.TypeInText(QStringLiteral("x"));
                   QCOMPARE(Fx.W->eText->Text(), QStringLiteral("first textx"));
               })
            << failed;
        QTest::newRow("key seen by a dialog's key preview")
            << TRaise([](TMainFixture&, const QString& M) {
                   TFailingForm f;
                   ShowActive(&f);
                   f.KeyFails = M;
                   QTest::keyClick(f.Edit, Qt::Key_X);
                   // The key whose handler failed goes no further; the next does.
                   QCOMPARE(f.Edit->text(), QString());
                   QTest::keyClick(f.Edit, Qt::Key_Y);
                   QCOMPARE(f.Edit->text(), QStringLiteral("y"));
               })
            << failed;
        QTest::newRow("mouse click in the editor")
            << TRaise([](TMainFixture& Fx, const QString& M) {
                   Fx.W->eText->OnClick = FailOnce(Fx.W->eText->OnClick, M);
                   QTest::mouseClick(Fx.W->eText->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
               })
            << failed;
        QTest::newRow("mouse double click in the page list")
            << TRaise([](TMainFixture& Fx, const QString& M) {
                   Fx.W->ePages->OnDblClick = FailOnce(Fx.W->ePages->OnDblClick, M);
                   QTest::mouseDClick(Fx.W->ePages->viewport(), Qt::LeftButton, {},
                                      Fx.W->ePages->visualItemRect(Fx.W->ePages->item(1)).center());
               })
            << failed;
        QTest::newRow("mouse press on a picture") << TRaise([](TMainFixture&, const QString& M) {
            TImage image;
            image.resize(40, 40);
            image.OnMouseDown = FailOnce(image.OnMouseDown, M);
            ShowActive(&image);
            QTest::mouseClick(&image, Qt::LeftButton);
        }) << failed;
        QTest::newRow("focus leaving the editor") << TRaise([](TMainFixture& Fx, const QString& M) {
            Fx.W->eText->setFocus();
            Fx.W->eText->OnExit = FailOnce(Fx.W->eText->OnExit, M);
            QTest::keyClick(Fx.W->eText, Qt::Key_Tab);
            QVERIFY(!Fx.W->eText->hasFocus());
        }) << failed;
        QTest::newRow("focus leaving the title field")
            << TRaise([](TMainFixture& Fx, const QString& M) {
                   Fx.W->eTitle->setFocus();
                   Fx.W->eTitle->OnAddMatchItem = FailOnce(Fx.W->eTitle->OnAddMatchItem, M);
                   QTest::keyClick(Fx.W->eTitle, Qt::Key_Tab);
                   QVERIFY(!Fx.W->eTitle->hasFocus());
                   QVERIFY(Fx.W->eTitle->MatchList().isEmpty());
               })
            << failed;
        QTest::newRow("timer") << TRaise([](TMainFixture&, const QString& M) {
            QTimer timer;
            timer.setSingleShot(true);
            bool ran = false;
            ConnectGuarded(&timer, &QTimer::timeout, &timer,
                           FailOnce(std::function<void()>([&] { ran = true; }), M));
            timer.start(0);
            QTRY_VERIFY(!timer.isActive());
            QVERIFY(!ran);
        }) << failed;
        QTest::newRow("closing the main window") << TRaise([](TMainFixture& Fx, const QString& M) {
            Fx.TypeInText(QStringLiteral("x"));
            SetConfirmBoxHook(
                [M](const TConfirmBoxCall&) -> int { throw Exception(M.toStdString()); });
            QVERIFY(!Fx.W->close());
            SetConfirmBoxHook({});
            // Nothing was saved, and nothing was lost.
            QVERIFY(Fx.W->IsChanged());
            QCOMPARE(Fx.W->eText->Text(), QStringLiteral("first textx"));
        }) << failed;
        QTest::newRow("closing a dialog") << TRaise([](TMainFixture&, const QString& M) {
            TFailingForm f;
            ShowActive(&f);
            QTest::keyClicks(f.Edit, QStringLiteral("kept"));
            f.CloseFails = M;
            QTest::keyClick(f.Edit, Qt::Key_Escape);
            // A close handler that failed keeps the dialog and its text.
            QVERIFY(f.isVisible());
            QCOMPARE(f.Edit->text(), QStringLiteral("kept"));
            QTest::keyClick(f.Edit, Qt::Key_Escape);
            QVERIFY(!f.isVisible());
        }) << failed;
        QTest::newRow("button clicked") << TRaise([](TMainFixture& Fx, const QString& M) {
            SetConfirmBoxHook(
                [M](const TConfirmBoxCall&) -> int { throw Exception(M.toStdString()); });
            QTest::mouseClick(Fx.W->bDelPage, Qt::LeftButton);
            SetConfirmBoxHook({});
            QCOMPARE(Fx.W->Pages->Count(), 3);
        }) << failed;
        // A size too large for an Integer fails in the field's change handler.
        QTest::newRow("text changed in the font size field")
            << TRaise([](TMainFixture& Fx, const QString&) {
                   Fx.W->eFontSize->setFocus();
                   Fx.W->eFontSize->selectAll();
                   QTest::keyClicks(Fx.W->eFontSize, QStringLiteral("2147483648"));
                   QCOMPARE(Fx.W->eFontSize->text(), QStringLiteral("2147483648"));
               })
            << QStringLiteral("'2147483648' is not a valid integer value");
    }

    void failureIsShownAndTheProgramGoesOn() {
        QFETCH(TRaise, raise);
        QFETCH(QString, message);
        TTPagesMain* w = fx->OpenWith(ThreePages);
        TModalGuard guard;
        {
            TMessageBoxRecorder boxes;
            raise(*fx, message);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(boxes.Calls.size(), 1);
            QCOMPARE(boxes.Calls[0].Text, message);
            QCOMPARE(boxes.Calls[0].Caption, QStringLiteral("Vellomar "));
            QCOMPARE(boxes.Calls[0].Flags, unsigned(MB_OK | MB_ICONERROR));
        }
        QCOMPARE(TApplication::TakeEscapedErrors(), 0);
        QVERIFY(!LookUpChanging);
        QVERIFY(!QApplication::activeModalWidget());

        // Still alive: the window takes keys, and its handlers run again.
        TMessageBoxRecorder boxes;
        ShowActive(w);
        QVERIFY(w->isVisible());
        const QString before = w->eText->Text();
        fx->TypeInText(QStringLiteral("!"));
        QCOMPARE(w->eText->Text(), before + u'!');
        QVERIFY(w->IsChanged());
        fx->Key(Qt::Key_Down);
        QCOMPARE(w->CurPageIx(), w->ePages->ItemIndex());
        QCOMPARE(boxes.Calls.size(), 0);
        QVERIFY(!guard.Fired);
    }
};

VMR_APP_TEST_MAIN(TestHandlerErrors)
#include "tst_HandlerErrors.moc"
