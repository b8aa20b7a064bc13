#include "Exception.h"
#include "FormScale.h"
#include "StringResources.h"
#include "common/MessageBoxRecorder.h"
#include "common/TestApp.h"

#include <QWidget>

namespace {
class TThrowingWidget : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override { throw Exception("Something went wrong"); }
};
} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    // An error that a handler lets through its boundary is a fault of ours;
    // the last resort still shows it in the error box, the program goes on,
    // and the escape is counted so that tests catch it.
    void lastResortShowsAndCountsEscapedErrors() {
        TMessageBoxRecorder boxes;
        TThrowingWidget w;
        w.resize(50, 50);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRegularExpression reported(QStringLiteral("escaped its handler"));
        QTest::ignoreMessage(QtCriticalMsg, reported);
        QTest::ignoreMessage(QtCriticalMsg, reported);
        QTest::mouseClick(&w, Qt::LeftButton);
        QTest::mouseClick(&w, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 2);
        QCOMPARE(boxes.Calls[0].Text, QStringLiteral("Something went wrong"));
        QCOMPARE(boxes.Calls[0].Caption, QStringLiteral("Vellomar "));
        QCOMPARE(boxes.Calls[0].Flags, unsigned(MB_OK | MB_ICONERROR));
        QCOMPARE(TApplication::TakeEscapedErrors(), 2);
        QCOMPARE(TApplication::TakeEscapedErrors(), 0);
    }

    void scaling_data() {
        QTest::addColumn<int>("design");
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("scaled");
        QTest::newRow("240 to 96") << 240 << 96 << 660 << 264;
        QTest::newRow("240 to 96, rounds down") << 240 << 96 << 33 << 13;
        QTest::newRow("240 to 96, rounds up") << 240 << 96 << 643 << 257;
        QTest::newRow("96 to 144, half away from zero") << 96 << 144 << 3 << 5;
        QTest::newRow("96 to 144, negative half") << 96 << 144 << -3 << -5;
        QTest::newRow("96 to 96") << 96 << 96 << 123 << 123;
        QTest::newRow("96 to 192") << 96 << 192 << 123 << 246;
        QTest::newRow("negative") << 240 << 96 << -85 << -34;
    }
    void scaling() {
        QFETCH(int, design);
        QFETCH(int, screen);
        QFETCH(int, value);
        QFETCH(int, scaled);
        QCOMPARE(TFormScaler(design, screen).S(value), scaled);
    }

    void stringTables() {
        const TStringTable base = {{1, QStringLiteral("one")}, {2, QStringLiteral("two")}};
        const TStringTable over = {{2, QStringLiteral("twee")}};
        RegisterStringTable(&over);
        RegisterStringTable(&base, true);
        QCOMPARE(LoadString(1), QStringLiteral("one"));
        QCOMPARE(LoadString(2), QStringLiteral("twee"));
        QCOMPARE(LoadString(3), QString());
        UnregisterStringTable(&over);
        QCOMPARE(LoadString(2), QStringLiteral("two"));
        UnregisterStringTable(&base);
        QCOMPARE(LoadString(1), QString());
    }
};

VMR_TEST_MAIN(TestApplication)
#include "tst_Application.moc"
