#include "AnsiCodePage.h"
#include "SettingsStore.h"
#include "cCipherAES.h"
#include "common/OpenSslOracle.h"
#include "vmr_utils.h"

#include <QtTest>

namespace {
QString StorePath() {
    return DefaultSettingsPath();
}

void WriteStoreFile(const QByteArray& content) {
    QDir().mkpath(QFileInfo(StorePath()).absolutePath());
    QFile f(StorePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

void ReadStore() {
    auto store = OpenCurrentUserStore();
    ReadStoredCryptString(*store);
}

// A password whose crypt string holds a zero byte.
QString PasswordWithZeroInCrypt() {
    for (int i = 0;; ++i) {
        const QString pw = QStringLiteral("pw%1").arg(i);
        if (CryptStringOf(pw).find('\0') != std::string::npos)
            return pw;
    }
}
} // namespace

class TestPasswordStore : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QFile::remove(StorePath());
        StoredCryptString = DefaultCryptString;
    }

    void defaultCryptStringIsTheDefaultPasswords() {
        QCOMPARE(CryptStringOf(DefaultPassword), DefaultCryptString);
        QCOMPARE(DefaultCryptString.size(), size_t(16));
        // AES-192 under the key's first 24 bytes, from an independent implementation.
        std::string plain = AnsiFromUnicode(DefaultPassword);
        plain.resize(16, '\0');
        QCOMPARE(OpenSslEcbEncrypt(PasswordKey.substr(0, 24), plain), DefaultCryptString);
    }

    void cryptStringLengths() {
        QCOMPARE(CryptStringOf(QString()).size(), size_t(0));
        QCOMPARE(CryptStringOf(QString(16, QLatin1Char('a'))).size(), size_t(16));
        QCOMPARE(CryptStringOf(QString(17, QLatin1Char('a'))).size(), size_t(32));
        // A trailing space is encrypted; only zero bytes pad.
        QVERIFY(CryptStringOf(QStringLiteral("abc")) != CryptStringOf(QStringLiteral("abc ")));
    }

    void whatUnlocks_data() {
        QTest::addColumn<QByteArray>("storeFile"); // empty: no file at all
        QTest::addColumn<QStringList>("unlocking");
        QTest::addColumn<QStringList>("notUnlocking");
        const QStringList others = {QString(), QStringLiteral("Vellomar"),
                                    QStringLiteral("vellomar "), QStringLiteral("vellomarx")};
        QTest::newRow("no store file")
            << QByteArray() << QStringList{QStringLiteral("vellomar")} << others;
        QTest::newRow("other key only") << QByteArray("[Software/Other]\n\"Data\"=\"x\"\n")
                                        << QStringList{QStringLiteral("vellomar")} << others;
        QTest::newRow("key without Data")
            << QByteArray("[Software/Ostrand/VMR/Settings]\n\"Other\"=\"1\"\n")
            << QStringList{QString()}
            << QStringList{QStringLiteral("vellomar"), QStringLiteral(" ")};
        QTest::newRow("empty Data")
            << QByteArray("[Software/Ostrand/VMR/Settings]\n\"Data\"=\"\"\n")
            << QStringList{QString()} << QStringList{QStringLiteral("vellomar")};
    }
    void whatUnlocks() {
        QFETCH(QByteArray, storeFile);
        QFETCH(QStringList, unlocking);
        QFETCH(QStringList, notUnlocking);
        if (!storeFile.isEmpty())
            WriteStoreFile(storeFile);
        ReadStore();
        for (const QString& pw : unlocking)
            QVERIFY2(PasswordMatches(pw), qPrintable(pw));
        for (const QString& pw : notUnlocking)
            QVERIFY2(!PasswordMatches(pw), qPrintable(pw));
    }

    // About one password in sixteen has a zero byte in its crypt string; it
    // must survive the store or the user is locked out.
    void cryptStringWithZeroByteSurvivesTheStore() {
        const QString pw = PasswordWithZeroInCrypt();
        StoredCryptString = CryptStringOf(pw);
        const std::string written = StoredCryptString;
        auto store = OpenCurrentUserStore();
        WriteStoredCryptString(*store);
        StoredCryptString = DefaultCryptString;
        ReadStore();
        QCOMPARE(StoredCryptString, written);
        QVERIFY(PasswordMatches(pw));
        QVERIFY(!PasswordMatches(DefaultPassword));
    }

    void everyByteValueSurvivesTheStore() {
        std::string all;
        for (int i = 0; i < 256; ++i)
            all += static_cast<char>(i);
        StoredCryptString = all;
        auto store = OpenCurrentUserStore();
        WriteStoredCryptString(*store);
        StoredCryptString.clear();
        ReadStore();
        QCOMPARE(StoredCryptString, all);
    }

    void storedAsPlainStringReadsBack() {
        // A crypt string of printable bytes written the plain way.
        StoredCryptString = CryptStringOf(QStringLiteral("secret"));
        const QString text = UnicodeFromAnsi(StoredCryptString);
        if (text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\\')) ||
            std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; }))
            QSKIP("crypt string needs escaping");
        WriteStoreFile("[Software/Ostrand/VMR/Settings]\n\"Data\"=\"" + text.toUtf8() + "\"\n");
        StoredCryptString = DefaultCryptString;
        ReadStore();
        QVERIFY(PasswordMatches(QStringLiteral("secret")));
    }

    void matchIsExact() {
        StoredCryptString = CryptStringOf(QStringLiteral("Secret"));
        QVERIFY(PasswordMatches(QStringLiteral("Secret")));
        QVERIFY(!PasswordMatches(QStringLiteral("secret")));
        QVERIFY(!PasswordMatches(QStringLiteral(" Secret")));
        QVERIFY(!PasswordMatches(QStringLiteral("Secret ")));
        // Characters outside the code page all become '?'.
        StoredCryptString = CryptStringOf(QStringLiteral("p\u0100ss"));
        QVERIFY(PasswordMatches(QStringLiteral("p?ss")));
        QVERIFY(PasswordMatches(QStringLiteral("p\u0101ss")));
        QVERIFY(!PasswordMatches(QStringLiteral("pass")));
    }

    void wrongValueTypeFailsAndKeepsTheDefault() {
        WriteStoreFile("[Software/Ostrand/VMR/Settings]\n\"Data\"=dword:0000002a\n");
        try {
            ReadStore();
            QFAIL("no error");
        } catch (const Exception& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Invalid data type for 'Data'"));
        }
        QCOMPARE(StoredCryptString, DefaultCryptString);
    }

    void writeCreatesTheKeyAndKeepsOtherValues() {
        WriteStoreFile("; kept\n[Software/Other]\n\"Keep\"=\"me\"\n");
        StoredCryptString = CryptStringOf(QStringLiteral("new one"));
        auto store = OpenCurrentUserStore();
        WriteStoredCryptString(*store);
        QFile f(StorePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray content = f.readAll();
        QVERIFY(content.contains("; kept"));
        QVERIFY(content.contains("\"Keep\"=\"me\""));
        QVERIFY(content.contains("[Software/Ostrand/VMR/Settings]"));
        StoredCryptString = DefaultCryptString;
        ReadStore();
        QVERIFY(PasswordMatches(QStringLiteral("new one")));
    }
};

QTEST_GUILESS_MAIN(TestPasswordStore)
#include "tst_PasswordStore.moc"
