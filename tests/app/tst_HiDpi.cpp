// Forms on a scaled screen. Qt already multiplies logical pixels by
// QT_SCALE_FACTOR, so a form keeps its logical size at every factor: scaling
// it again would double it, and its pixels on the screen follow the factor.
// Runs once as it is and once with QT_SCALE_FACTOR=2.

#include "FormScale.h"
#include "app/MainFixture.h"
#include "kel_changepw.h"
#include "kel_confirm.h"
#include "kel_finddlg.h"

#include <QAbstractButton>
#include <QLabel>
#include <functional>

Q_DECLARE_METATYPE(std::function<QWidget*()>)

namespace {
double ScaleFactor() {
    bool ok = false;
    const double f = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? f : 1.0;
}

// What is wrong with the controls of a form, as the user would see it: a
// control outside the form, two controls over one another, or a caption
// longer than its control.
QStringList Clipped(QWidget* Form) {
    QStringList faults;
    QList<QWidget*> controls;
    for (QWidget* c : Form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (c->isVisible() && !c->isWindow())
            controls.append(c);
    for (QWidget* c : controls) {
        const QString name = c->objectName();
        if (!Form->rect().contains(c->geometry()))
            faults << name + QStringLiteral(" leaves the form");
        QString caption;
        if (auto* l = qobject_cast<QLabel*>(c); l && !l->wordWrap())
            caption = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(c))
            caption = b->text();
        if (c->fontMetrics().horizontalAdvance(caption) > c->contentsRect().width())
            faults << name + QStringLiteral(" cuts its caption");
        // A picture that fills the form is its background.
        if (c->geometry() == Form->rect())
            continue;
        for (QWidget* other : controls)
            if (other != c && other->objectName() > name && other->geometry() != Form->rect() &&
                other->geometry().intersects(c->geometry()))
                faults << name + QStringLiteral(" overlaps ") + other->objectName();
    }
    return faults;
}
} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT

private slots:
    void scalerUsesLogicalResolution() {
        // The screen's logical resolution does not grow with the factor.
        QCOMPARE(ScreenPpi(), 96);
        QCOMPARE(TFormScaler(240).S(2330), 932);
    }

    void formsScaleOnce_data() {
        QTest::addColumn<std::function<QWidget*()>>("make");
        QTest::addColumn<QSize>("logical"); // design size at 96 ppi; 0: not fixed
        QTest::newRow("unlock window")
            << std::function<QWidget*()>([] { return new TVMRSplash; }) << QSize(264, 257);
        QTest::newRow("page editor")
            << std::function<QWidget*()>([] { return new TPageForm; }) << QSize(526, 496);
        QTest::newRow("change password")
            << std::function<QWidget*()>([] { return new TChangePasswordDlg; }) << QSize(0, 183);
        QTest::newRow("find dialog")
            << std::function<QWidget*()>([] { return new Tfdlg; }) << QSize(0, 0);
        QTest::newRow("confirm box") << std::function<QWidget*()>([] {
            auto* box = new TConfirmBox;
            box->SetText(QStringLiteral("Do you really want to remove page: 'Lentil soup'?"));
            box->SetFlags(cfYes | cfNo);
            return box;
        }) << QSize(0, 0);
    }
    void formsScaleOnce() {
        QFETCH(std::function<QWidget*()>, make);
        QFETCH(QSize, logical);
        const std::unique_ptr<QWidget> form(make());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->devicePixelRatio(), ScaleFactor());
        if (logical.width())
            QCOMPARE(form->width(), logical.width());
        if (logical.height())
            QCOMPARE(form->height(), logical.height());
        const QStringList faults = Clipped(form.get());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u", ")));
    }

    void mainWindowScalesOnce() {
        TMainFixture fx;
        TTPagesMain* w = fx.OpenWith(ThreePages);
        QCOMPARE(w->devicePixelRatio(), ScaleFactor());
        QCOMPARE(w->size(), QSize(932, 500));
        const QStringList faults = Clipped(w);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u", ")));
    }
};

VMR_APP_TEST_MAIN(TestHiDpi)

#include "tst_HiDpi.moc"
