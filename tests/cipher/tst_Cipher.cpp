#include "cCipherAES.h"
#include "cCipherUtils.h"
#include "common/OpenSslOracle.h"
#include "common/ProcessMemory.h"

#include <QtTest>
#include <cstddef>
#include <new>
#include <random>
#include <type_traits>

namespace {
std::string Hex(const char* hex) {
    return QByteArray::fromHex(hex).toStdString();
}
std::string Seq(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>(i);
    return s;
}
std::string Random(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}
} // namespace

class TestCipher : public QObject {
    Q_OBJECT
private slots:
    void fipsVectors_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QByteArray>("cipher");
        QTest::newRow("AES-128") << 128 << QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a");
        QTest::newRow("AES-192") << 192 << QByteArray("dda97ca4864cdfe06eaf70a0ec0d7191");
        QTest::newRow("AES-256") << 256 << QByteArray("8ea2b7ca516745bfeafc49904b496089");
    }
    void fipsVectors() {
        QFETCH(int, bits);
        QFETCH(QByteArray, cipher);
        const std::string key = Seq(bits / 8);
        const std::string plain = Hex("00112233445566778899aabbccddeeff");
        unsigned char out[16], back[16];
        AESEncryptBlock(bits, key.data(), bits / 8, plain.data(), 16, out, 16);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 16).toHex(), cipher);
        AESDecryptBlock(bits, key.data(), bits / 8, out, 16, back, 16);
        QCOMPARE(std::string(reinterpret_cast<char*>(back), 16), plain);
        // The text layer picks the same key size from the key's length.
        QCOMPARE(QByteArray::fromStdString(EncryptText(key, plain)).toHex(), cipher);
    }

    void blockLayerErrors() {
        TAESContext ctx;
        auto expect = [](auto&& call, int code, const char* msg) {
            try {
                call();
                QFAIL("no error raised");
            } catch (const ECipher& e) {
                QCOMPARE(e.ErrorCode(), code);
                QCOMPARE(QString::fromUtf8(e.what()), QString::fromUtf8(msg));
            }
        };
        expect([&] { AESInitContext(ctx, 160); }, 2, "Invalid AES key length");
        expect([&] { AESRoundsForKeyBits(64); }, 2, "Invalid AES key length");
        AESInitContext(ctx, 128);
        QCOMPARE(int(ctx.KeyWords), 4);
        QCOMPARE(int(ctx.Rounds), 10);
        const std::string key = Seq(16);
        expect([&] { AESExpandKey(ctx, key.data(), 15); }, 5, "Invalid key size");
        char buf[17] = {};
        expect([&] { AESLoadBlock(ctx, buf, 15); }, 5, "Invalid buffer size");
        expect([&] { AESLoadBlock(ctx, buf, 17); }, 5, "Invalid buffer size");
        expect([&] { AESStoreBlock(ctx, buf, 15); }, 5, "Invalid buffer size");
        // An ECipher is the system's exception and carries its message.
        try {
            AESInitContext(ctx, 1);
        } catch (const Exception& e) {
            QCOMPARE(e.Message(), std::string("Invalid AES key length"));
        }
    }

    void storeBlockLeavesTheRestOfTheOutput() {
        TAESContext ctx;
        AESInitContext(ctx, 128);
        const std::string in = Seq(16);
        AESLoadBlock(ctx, in.data(), 16);
        std::string out(32, '\xAA');
        AESStoreBlock(ctx, out.data(), 32);
        QCOMPARE(out.substr(0, 16), in);
        QCOMPARE(out.substr(16), std::string(16, '\xAA'));
    }

    void textLengths() {
        const std::string key = Seq(16);
        QCOMPARE(EncryptText(key, ""), std::string());
        QCOMPARE(DecryptText(key, ""), std::string());
        QCOMPARE(EncryptText(key, std::string(16, 'a')).size(), size_t(16));
        const std::string text17 = std::string(16, 'a') + "b";
        const std::string c17 = EncryptText(key, text17);
        QCOMPARE(c17.size(), size_t(32));
        QCOMPARE(c17.substr(16), EncryptText(key, std::string("b") + std::string(15, '\0')));
        // ECB: equal blocks give equal blocks.
        const std::string twice = EncryptText(key, std::string(32, 'x'));
        QCOMPARE(twice.substr(0, 16), twice.substr(16));
    }

    void decryptTrimsTrailingZerosAndSpaces_data() {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("back");
        QTest::newRow("plain") << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("trailing spaces") << QByteArray("abc  ") << QByteArray("abc");
        QTest::newRow("inner space and zero") << QByteArray("a b\0c", 5) << QByteArray("a b\0c", 5);
        QTest::newRow("mixed tail") << QByteArray("x \0 \0", 5) << QByteArray("x");
        QTest::newRow("all spaces") << QByteArray("    ") << QByteArray();
        QTest::newRow("two blocks") << QByteArray(20, 'q') << QByteArray(20, 'q');
    }
    void decryptTrimsTrailingZerosAndSpaces() {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, back);
        const std::string key = Seq(24);
        QCOMPARE(QByteArray::fromStdString(DecryptText(key, EncryptText(key, plain.toStdString()))),
                 back);
    }

    void keyLengthSelectsKeySize_data() {
        QTest::addColumn<int>("keyLen");
        QTest::addColumn<int>("usedLen");
        QTest::newRow("short key, zero-extended") << 5 << 16;
        QTest::newRow("16") << 16 << 16;
        QTest::newRow("20 as 16") << 20 << 16;
        QTest::newRow("24") << 24 << 24;
        QTest::newRow("31 as 24") << 31 << 24;
        QTest::newRow("32") << 32 << 32;
        QTest::newRow("40 as 32") << 40 << 32;
    }
    void keyLengthSelectsKeySize() {
        QFETCH(int, keyLen);
        QFETCH(int, usedLen);
        std::mt19937 rng(keyLen);
        const std::string key = Random(rng, size_t(keyLen));
        std::string used = key.substr(0, size_t(usedLen));
        used.resize(size_t(usedLen), '\0');
        const std::string text = Random(rng, 45);
        const std::string c = EncryptText(key, text);
        QCOMPARE(c, EncryptText(used, text));
        unsigned char block[16];
        AESEncryptBlock(usedLen * 8, used.data(), usedLen, text.data(), 16, block, 16);
        QCOMPARE(c.substr(0, 16), std::string(reinterpret_cast<char*>(block), 16));
    }

    void decryptCompletesAShortLastBlockWithZeros() {
        const std::string key = Seq(16);
        const std::string data = Seq(16) + "abc";
        const std::string padded = Seq(16) + "abc" + std::string(13, '\0');
        QCOMPARE(DecryptText(key, data), DecryptText(key, padded));
    }

    // The system's AES against an independent implementation, on random keys
    // of every size and random texts.
    void matchesOpenSsl() {
        std::mt19937 rng(42);
        for (int keyLen : {16, 24, 32}) {
            const std::string key = Random(rng, size_t(keyLen));
            const std::string text = Random(rng, 16 * 37);
            const std::string expected = OpenSslEcbEncrypt(key, text);
            QVERIFY2(!expected.empty(), "openssl is needed as the test oracle");
            QCOMPARE(EncryptText(key, text), expected);
        }
    }

    void secureZero() {
        char buf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        SecureZero(buf, 0);
        SecureZero(buf, -3);
        QCOMPARE(buf[0], char(1));
        SecureZero(buf + 2, 4);
        QCOMPARE(QByteArray(buf, 8), QByteArray("\x01\x02\0\0\0\0\x07\x08", 8));
        std::string s = "secret";
        SecureZero(s);
        QVERIFY(s.empty());
    }

    // A text key's schedule is wiped with it. The key is built in storage of
    // the test's own, used, destroyed, and the storage looked at: where the
    // round keys and the last state were, only zeros are left. Both the
    // processor's and the portable path, which leaves its state in the key.
    void textKeyIsWipedWhenDestroyed_data() {
        QTest::addColumn<bool>("hardware");
        QTest::newRow("portable") << false;
        if (AESHardwareInUse())
            QTest::newRow("hardware") << true;
    }
    void textKeyIsWipedWhenDestroyed() {
        QFETCH(bool, hardware);
        AESAllowHardware(hardware);
        const auto restore = qScopeGuard([] { AESAllowHardware(true); });
        // The context is the first member of a standard-layout class, so it
        // starts the object's storage.
        static_assert(std::is_standard_layout_v<TAESTextKey>);
        alignas(TAESTextKey) unsigned char storage[sizeof(TAESTextKey)];
        std::memset(storage, 0xA5, sizeof storage);
        const std::string key = Seq(24);
        TAESContext expected;
        AESInitContext(expected, 192);
        AESExpandKey(expected, key.data(), 24);
        const qsizetype scheduleBytes = 4 * 4 * (expected.Rounds + 1);
        const QByteArray schedule(reinterpret_cast<const char*>(expected.RoundKeys), scheduleBytes);
        AESWipeContext(expected);

        auto* textKey = new (storage) TAESTextKey(key);
        unsigned char block[32] = "a password, padded to two block";
        textKey->Encrypt(block, sizeof block, block);
        const qsizetype at = qsizetype(offsetof(TAESContext, RoundKeys));
        QCOMPARE(ReadOwnMemoryMasked(storage + at, scheduleBytes), Masked(schedule));
        textKey->~TAESTextKey();

        const QByteArray left = ReadOwnMemoryMasked(storage, sizeof(TAESContext));
        QCOMPARE(left, Masked(QByteArray(sizeof(TAESContext), '\0')));
    }
};

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_Cipher.moc"
