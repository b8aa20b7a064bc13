// The program's icon: every size is in the resources, and every window
// shows it.

#include "app/MainFixture.h"
#include "kel_changepw.h"
#include "kel_confirm.h"
#include "kel_finddlg.h"
#include "vmr_edit.h"
#include "vmr_icon.h"
#include "vmr_splash.h"

#include <QImage>
#include <functional>
#include <memory>

Q_DECLARE_METATYPE(std::function<QWidget*()>)

class TestAppIcon : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallAppIcon(); }

    void everySizeIsDrawn() {
        const QIcon icon = QApplication::windowIcon();
        QVERIFY(!icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        for (int size : AppIconSizes) {
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
            const QImage image = icon.pixmap(QSize(size, size)).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            // Drawn, with see-through corners: the cover's corners are round.
            QVERIFY(image.hasAlphaChannel());
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        }
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("vellomar"));
    }

    void everyWindowShowsIt_data() {
        QTest::addColumn<std::function<QWidget*()>>("make");
        QTest::newRow("unlock window") << std::function<QWidget*()>([] { return new TVMRSplash; });
        QTest::newRow("page editor") << std::function<QWidget*()>([] { return new TPageForm; });
        QTest::newRow("find dialog") << std::function<QWidget*()>([] { return new Tfdlg; });
        QTest::newRow("change password")
            << std::function<QWidget*()>([] { return new TChangePasswordDlg; });
        QTest::newRow("confirm box") << std::function<QWidget*()>([] { return new TConfirmBox; });
    }
    void everyWindowShowsIt() {
        QFETCH(std::function<QWidget*()>, make);
        const std::unique_ptr<QWidget> window(make());
        QCOMPARE(window->windowIcon().availableSizes(),
                 QApplication::windowIcon().availableSizes());
        QCOMPARE(window->windowIcon().pixmap(16).toImage(),
                 QApplication::windowIcon().pixmap(16).toImage());
    }
};

VMR_APP_TEST_MAIN(TestAppIcon)

#include "tst_AppIcon.moc"
