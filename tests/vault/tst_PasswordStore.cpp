#include "AnsiCodePage.h"
#include "SecureText.h"
#include "SettingsStore.h"
#include "cCipherAES.h"
#include "cCipherUtils.h"
#include "common/OpenSslOracle.h"
#include "common/ProcessMemory.h"
#include "vmr_utils.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

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

// The "Data" line of a crypt string in hex form, without its line break,
// made in one buffer.
QByteArray HexDataLine(const std::string& crypt) {
    static const char digits[] = "0123456789abcdef";
    QByteArray line;
    line.reserve(qsizetype(14 + (crypt.size() + 1) * 6));
    line += "\"Data\"=hex(1):";
    QString text = UnicodeFromAnsi(crypt);
    for (QChar ch : text) {
        for (const int b : {ch.unicode() & 0xFF, ch.unicode() >> 8}) {
            line += digits[b >> 4];
            line += digits[b & 15];
            line += ',';
        }
    }
    WipeOwned(text);
    line += "00,00";
    return line;
}

const QByteArray kKey = "[Software/Ostrand/VMR/Settings]\n";

// The message of the settings error that Action raises, or a null string.
template <typename F> QString ErrorOf(F&& Action) {
    try {
        Action();
    } catch (const ESettingsStore& e) {
        return QString::fromStdString(e.Message());
    }
    return QString();
}

// Writes the store file from one buffer, through no library buffer, and
// wipes the buffer.
void WriteStoreFileAndWipe(QByteArray& content) {
    QDir().mkpath(QFileInfo(StorePath()).absolutePath());
    const int fd = ::open(QFile::encodeName(StorePath()).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(fd);
    WipeOwned(content);
}

// The store file as it is, masked in the buffer it was read into.
QByteArray MaskedStoreBytes() {
    QByteArray bytes(1 << 16, '\0');
    const int fd = ::open(QFile::encodeName(StorePath()).constData(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? 0 : ::read(fd, bytes.data(), size_t(bytes.size()));
    if (fd >= 0)
        ::close(fd);
    bytes.truncate(n < 0 ? 0 : qsizetype(n));
    for (char& c : bytes)
        c = char(c ^ kMemoryMask);
    return bytes;
}

QByteArray StoreBytes() {
    QFile f(StorePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A password whose crypt string holds a zero byte.
QString PasswordWithZeroInCrypt(const QString& Stem = QStringLiteral("pw")) {
    for (int i = 0;; ++i) {
        const QString pw = Stem + QString::number(i);
        if (CryptStringOf(pw).find('\0') != std::string::npos)
            return pw;
    }
}

// The crypt string's text, UTF-16LE, masked; the text itself is wiped.
QByteArray MaskedCryptText(const std::string& crypt) {
    QString text = UnicodeFromAnsi(crypt);
    const QByteArray masked =
        Masked(QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
    WipeOwned(text);
    return masked;
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

    // A crypt string of printable bytes, written the plain way by another
    // program, with the escapes a quote or a backslash in it needs.
    void storedAsPlainStringReadsBack() {
        QString pw, text;
        for (int i = 0; text.isEmpty(); ++i) {
            const QString candidate = QStringLiteral("secret%1").arg(i);
            const QString crypt = UnicodeFromAnsi(CryptStringOf(candidate));
            if (std::all_of(crypt.begin(), crypt.end(),
                            [](QChar c) { return c.unicode() >= 0x20; }) &&
                (crypt.contains(QLatin1Char('"')) || crypt.contains(QLatin1Char('\\')))) {
                pw = candidate;
                text = crypt;
            }
        }
        QString escaped = text;
        escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
        WriteStoreFile(kKey + "\"Data\"=\"" + escaped.toUtf8() + "\"\n");
        ReadStore();
        QVERIFY(PasswordMatches(pw));
        QVERIFY(!PasswordMatches(DefaultPassword));
    }

    // A "Data" value that is there but cannot be read, or a store file that
    // cannot be read as a whole, is an error: the built-in default stays, and
    // the empty text never unlocks. Damage elsewhere leaves a readable stored
    // value in force.
    void damagedStore_data() {
        QTest::addColumn<QByteArray>("storeFile");
        QTest::addColumn<QString>("error"); // part of the message; empty: none
        QTest::addColumn<QString>("unlocking");

        const QString stored = QStringLiteral("Stored pw1!");
        const QByteArray data = HexDataLine(CryptStringOf(stored));
        const QString damaged = QStringLiteral("is damaged");
        const QString notText = QStringLiteral("it is not UTF-8 or UTF-16 text");
        const QString cut = QStringLiteral("it ends in the middle of line");

        QTest::newRow("unclosed quote") << kKey + "\"Data\"=\"abc\n" << damaged << DefaultPassword;
        QTest::newRow("escape eats the closing quote") << kKey + "\"Data\"=\"abc\\\"\n"
                                                       << damaged << DefaultPassword;
        QTest::newRow("three hex digits") << kKey + "\"Data\"=hex(1):7e0,00\n"
                                          << damaged << DefaultPassword;
        QTest::newRow("odd number of bytes") << kKey + "\"Data\"=hex(1):7e,00,5f\n"
                                             << damaged << DefaultPassword;
        QTest::newRow("unknown type prefix") << kKey + "\"Data\"=str:\"x\"\n"
                                             << damaged << DefaultPassword;
        QTest::newRow("deletion mark") << kKey + "\"Data\"=-\n" << damaged << DefaultPassword;
        QTest::newRow("damaged after a good definition") << kKey + data + "\n\"Data\"=\"\n"
                                                         << damaged << DefaultPassword;
        QTest::newRow("damaged before a good definition") << kKey + "\"Data\"=\n" + data + "\n"
                                                          << damaged << DefaultPassword;
        QTest::newRow("name cannot be read") << kKey + "\"Da\n" + data + "\n"
                                             << damaged << DefaultPassword;
        QTest::newRow("binary junk")
            << kKey + QByteArray("\"Data\"=\"\x01\x02\0\xFF\"\n", 14) << notText << DefaultPassword;
        QTest::newRow("latin-1 text") << kKey + "\"Data\"=\"caf\xE9\"\n"
                                      << notText << DefaultPassword;
        QTest::newRow("utf-16 without byte order mark")
            << QByteArray("[\0S\0]\0\n\0\"\0D\0a\0t\0a\0\"\0=\0\"\0\"\0\n\0", 28) << notText
            << DefaultPassword;
        QTest::newRow("cut right after the type")
            << kKey + "\"Data\"=hex(1):" << cut << DefaultPassword;
        QTest::newRow("cut in the data")
            << kKey + data.left(data.size() - 9) << cut << DefaultPassword;
        QTest::newRow("cut in a continuation") << kKey + "\"Data\"=hex(1):7e,00,\\\n  5f,00,\\\n"
                                               << cut << DefaultPassword;
        QTest::newRow("cut in the quotes") << kKey + "\"Data\"=\"" << cut << DefaultPassword;
        QTest::newRow("damaged key name")
            << QByteArray("[Software/Ostrand/VMR/Settings\n\"Data\"=\"\"\n")
            << QStringLiteral("the key name on line 1 is damaged") << DefaultPassword;

        QTest::newRow("readable, another value damaged") << kKey + "\"Other\"=\"x\n" + data + "\n"
                                                         << QString() << stored;
        QTest::newRow("readable, another key damaged")
            << "[Other]\n\"Data\"=\"x\n" + kKey + data + "\n"
            << QString() << stored;
        // Hex data cannot show that they are complete: without the last line
        // break they may have been cut anywhere.
        QTest::newRow("hex at the end without a line break")
            << kKey + data << cut << DefaultPassword;
        QByteArray utf16 = "\xFF\xFE";
        for (QChar c : QString::fromLatin1("Windows Registry Editor Version 5.00\r\n\r\n" + kKey +
                                           data + "\r\n\r\n"))
            utf16 += QByteArray(1, char(c.unicode())) + '\0';
        QTest::newRow("readable, exported as utf-16") << utf16 << QString() << stored;
    }
    void damagedStore() {
        QFETCH(QByteArray, storeFile);
        QFETCH(QString, error);
        QFETCH(QString, unlocking);
        WriteStoreFile(storeFile);
        const QString message = ErrorOf([] { ReadStore(); });
        if (error.isEmpty())
            QCOMPARE(message, QString());
        else
            QVERIFY2(message.contains(error), qPrintable(message));
        QVERIFY(PasswordMatches(unlocking));
        for (const QString& other : {QString(), QStringLiteral("Stored pw1!"), DefaultPassword})
            if (other != unlocking)
                QVERIFY2(!PasswordMatches(other), qPrintable(other));
        QCOMPARE(StoreBytes(), storeFile);
    }

    // Writing over a damaged store fails with its reason and leaves the file
    // as it is, for the user to mend.
    void writeOverADamagedStoreFails_data() {
        QTest::addColumn<QByteArray>("storeFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged value")
            << kKey + "\"Data\"=\"abc\n"
            << QStringLiteral("The value 'Data' cannot be read: line 2 of the settings file \"%1\" "
                              "is damaged.");
        QTest::newRow("file cut off")
            << kKey + "\"Data\"=hex(1):7e,00,\\"
            << QStringLiteral("The settings file \"%1\" cannot be read: it ends in the middle of "
                              "line 2.");
    }
    void writeOverADamagedStoreFails() {
        QFETCH(QByteArray, storeFile);
        QFETCH(QString, reason);
        WriteStoreFile(storeFile);
        StoredCryptString = CryptStringOf(QStringLiteral("New pw1!"));
        auto store = OpenCurrentUserStore();
        QCOMPARE(ErrorOf([&] { WriteStoredCryptString(*store); }),
                 QStringLiteral("Failed to set data for 'Data'. ") + reason.arg(StorePath()));
        QCOMPARE(StoreBytes(), storeFile);
    }

    // Damaged after it was read, the store is not written over either: the
    // check for another copy's change raises the write's failure.
    void storeDamagedSinceReadFailsTheWrite() {
        WriteStoreFile(kKey + HexDataLine(CryptStringOf(QStringLiteral("Old pw1!"))) + "\n");
        ReadStore();
        const QByteArray damaged = kKey + "\"Data\"=\"\x01\"\n";
        WriteStoreFile(damaged);
        auto store = OpenCurrentUserStore();
        QCOMPARE(ErrorOf([&] { StoredCryptStringKept(*store); }),
                 QStringLiteral("Failed to set data for 'Data'. The settings file \"%1\" cannot be "
                                "read: it is not UTF-8 or UTF-16 text.")
                     .arg(StorePath()));
        QCOMPARE(StoreBytes(), damaged);
    }

    // Reading and writing the store leave no copy of the stored value behind,
    // neither of the file's line nor of the crypt string as text: every
    // buffer on the way was wiped. (The crypt string's bytes are kept, in
    // StoredCryptString and as the value last seen in the store.)
    void storeLeavesNoCopyOfTheValue() {
        const std::string crypt = CryptStringOf(PasswordWithZeroInCrypt()); // written as hex
        const QByteArray maskedText = MaskedCryptText(crypt);
        QByteArray line = HexDataLine(crypt);
        const QByteArray maskedLine = Masked(line);
        QByteArray file;
        file.reserve(kKey.size() + line.size() + 1);
        file += kKey;
        file += line;
        file += '\n';
        WipeOwned(line);
        WriteStoreFileAndWipe(file);
        QVERIFY(!WritableMemoryHolds(maskedLine));
        QVERIFY(!WritableMemoryHolds(maskedText));

        ReadStore();
        QCOMPARE(StoredCryptString, crypt);
        QVERIFY(!WritableMemoryHolds(maskedLine));
        QVERIFY(!WritableMemoryHolds(maskedText));

        // Written, and checked for another copy's change before the write.
        const std::string other = CryptStringOf(PasswordWithZeroInCrypt(QStringLiteral("other")));
        const QByteArray maskedOtherText = MaskedCryptText(other);
        // The written line's start, up to where the writer wraps it.
        line = HexDataLine(other);
        const QByteArray maskedOtherLine = Masked(QByteArrayView(line).first(60));
        WipeOwned(line);
        AssignSecret(StoredCryptString, other);
        {
            auto store = OpenCurrentUserStore();
            QVERIFY(StoredCryptStringKept(*store));
            WriteStoredCryptString(*store);
        }
        QVERIFY(MaskedStoreBytes().contains(maskedOtherLine));
        QVERIFY(!WritableMemoryHolds(maskedOtherLine));
        QVERIFY(!WritableMemoryHolds(maskedOtherText));
        QVERIFY(!WritableMemoryHolds(maskedText));
        ReadStore();
        QCOMPARE(StoredCryptString, other);
        QVERIFY(!WritableMemoryHolds(maskedOtherText));
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
