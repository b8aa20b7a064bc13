// The processor's AES instructions and the portable block layer give the same
// bytes, and the text layer can be held to the portable path.

#include "cCipherAES.h"

#include <QtTest>
#include <random>

namespace {
std::string Random(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

// Restores the hardware path whatever a test does.
struct TPortableOnly {
    TPortableOnly() { AESAllowHardware(false); }
    ~TPortableOnly() { AESAllowHardware(true); }
};
} // namespace

class TestCipherPaths : public QObject {
    Q_OBJECT
private slots:
    void portableCanBeForced() {
        {
            TPortableOnly portable;
            QVERIFY(!AESHardwareInUse());
        }
        if (!AESHardwareInUse())
            QSKIP("this processor has no AES instructions");
    }

    void pathsGiveTheSameBytes_data() {
        QTest::addColumn<int>("keyLen");
        QTest::newRow("AES-128") << 16;
        QTest::newRow("AES-192") << 24;
        QTest::newRow("AES-256") << 32;
        QTest::newRow("31-byte key as AES-192") << 31;
    }
    void pathsGiveTheSameBytes() {
        QFETCH(int, keyLen);
        if (!AESHardwareInUse())
            QSKIP("this processor has no AES instructions");
        std::mt19937 rng(static_cast<uint32_t>(keyLen));
        // Lengths around a block and around the eight blocks the hardware path
        // handles at once, and a long text.
        std::vector<size_t> lengths = {0, 1, 15, 16, 17, 127, 128, 129, 143, 144, 145, 1000, 70001};
        for (int i = 0; i < 20; ++i)
            lengths.push_back(rng() % 4096);
        for (size_t n : lengths) {
            const std::string key = Random(rng, size_t(keyLen));
            const std::string text = Random(rng, n);
            const std::string fast = EncryptText(key, text);
            // Any bytes decrypt, not only what EncryptText made.
            const std::string fastBack = DecryptText(key, text);
            TPortableOnly portable;
            QCOMPARE(EncryptText(key, text), fast);
            QCOMPARE(DecryptText(key, text), fastBack);
            QCOMPARE(DecryptText(key, fast), text.substr(0, TrimmedSize(text.data(), n)));
        }
    }

    // The buffer functions work in place and match the string ones.
    void bytesInPlace() {
        std::mt19937 rng(5);
        const std::string key = Random(rng, 16);
        const std::string text = Random(rng, 200);
        std::string buf = text;
        buf.resize(EncryptedSize(text.size()));
        QCOMPARE(buf.size(), size_t(208));
        EncryptBytes(key, buf.data(), text.size(), buf.data());
        QCOMPARE(buf, EncryptText(key, text));
        DecryptBytes(key, buf.data(), buf.size(), buf.data());
        QCOMPARE(buf, text + std::string(8, '\0'));
        QCOMPARE(TrimmedSize("ab \0 ", 5), size_t(2));
        QCOMPARE(TrimmedSize("  ", 2), size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestCipherPaths)
#include "tst_CipherPaths.moc"
