#include "vmr_password.h"

#include <QtTest>

class TestPasswordRule : public QObject {
    Q_OBJECT
private slots:
    void rule_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("seven, all four kinds") << QStringLiteral("Abcde1!") << true;
        QTest::newRow("exactly six") << QStringLiteral("Abcd1!") << true;
        QTest::newRow("five, all four kinds") << QStringLiteral("Abc1!") << false;
        QTest::newRow("no upper") << QStringLiteral("abcde1!") << false;
        QTest::newRow("no lower") << QStringLiteral("ABCDE1!") << false;
        QTest::newRow("no digit") << QStringLiteral("Abcdef!") << false;
        QTest::newRow("no punctuation") << QStringLiteral("Abcdef1") << false;
        QTest::newRow("only '&'") << QStringLiteral("Abcde1&") << false;
        QTest::newRow("only '-'") << QStringLiteral("Abcde1-") << false;
        QTest::newRow("non-ASCII upper only") << QStringLiteral("\u00c4bcde1!") << false;
        QTest::newRow("spaces and umlauts too") << QStringLiteral("A b\u00e4 1!") << true;
        QTest::newRow("space is no punctuation") << QStringLiteral("Abc de1") << false;
        QTest::newRow("every punctuation class")
            << QStringLiteral("Ab1~") + QStringLiteral("xx") << true;
        QTest::newRow("backtick") << QStringLiteral("Ab1`xx") << true;
        QTest::newRow("at sign") << QStringLiteral("Ab1@xx") << true;
        QTest::newRow("five units, non-BMP makes six")
            << QStringLiteral("Ab1!") + QString::fromUcs4(U"\U0001F600") << true;
        QTest::newRow("empty") << QString() << false;
    }
    void rule() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        QCOMPARE(PasswordStrengthError(password).isEmpty(), accepted);
        if (!accepted)
            QCOMPARE(PasswordStrengthError(password), WeakPasswordMessage());
    }

    void messageText() {
        const QStringList lines = WeakPasswordMessage().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0],
                 QStringLiteral("A password must be at least 6 characters long and must contain:"));
        QCOMPARE(lines[3], QStringLiteral("  - at least one punctuation mark"));
    }
};

QTEST_GUILESS_MAIN(TestPasswordRule)
#include "tst_PasswordRule.moc"
