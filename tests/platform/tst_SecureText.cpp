#include "SecureText.h"
#include "common/ProcessMemory.h"
#include "common/TestApp.h"

#include <QLineEdit>

namespace {
const QByteArray kMaskedSecret = Masked("Tr0ub4dor&3x");
// Typed into a line edit only, so that no other copy of it is ever made.
const QByteArray kMaskedTyped = Masked("Ed1t#Secret9");

// The secret as text, built where the test can let go of it again.
QString Secret() {
    QString s;
    for (char c : kMaskedSecret)
        s += QLatin1Char(char(c ^ kMemoryMask));
    return s;
}

QByteArray MaskedUtf16Of(const QString& s) {
    return Masked(QByteArrayView(reinterpret_cast<const char*>(s.utf16()), s.size() * 2));
}

bool AllZero(const QByteArray& masked) {
    return std::all_of(masked.begin(), masked.end(), [](char c) { return c == kMemoryMask; });
}

// The whole allocation of a string's storage, from the room in front of its
// text to the room after it, masked, read while the string still holds it.
template <typename S> QByteArray MaskedAllocation(S& s) {
    auto& d = s.data_ptr();
    const auto* start = d.data() - d.freeSpaceAtBegin();
    return ReadOwnMemoryMasked(start, d.constAllocatedCapacity() * qsizetype(sizeof *start));
}
} // namespace

class TestSecureText : public QObject {
    Q_OBJECT
private slots:
    // Text taken from the front and the back of a string leaves characters in
    // the room around it; all of it is zero after the wipe.
    void wipesTheWholeAllocation() {
        QString s = Secret() + Secret() + Secret();
        s.remove(0, 5);
        s.chop(7);
        s.append(u'!');
        QVERIFY(s.isDetached());
        QVERIFY(s.data_ptr().freeSpaceAtBegin() > 0);
        QVERIFY(!AllZero(MaskedAllocation(s)));
        QVERIFY(WipeOwned(s));
        QVERIFY(s.isEmpty());
        QVERIFY(AllZero(MaskedAllocation(s)));

        QByteArray b = Secret().toLatin1().repeated(4);
        b.remove(0, 3);
        b.truncate(10);
        QVERIFY(WipeOwned(b));
        QVERIFY(b.isEmpty());
        QVERIFY(AllZero(MaskedAllocation(b)));
    }

    // A copy shares the storage: wiping one holder leaves the other's text
    // alone, and the last holder's wipe reaches the storage.
    void sharedStorageIsWipedByItsLastHolder() {
        QString a = Secret();
        QString b = a;
        QVERIFY(!WipeOwned(b));
        QVERIFY(b.isNull());
        QCOMPARE(MaskedUtf16Of(a), MaskedUtf16Of(Secret()));
        QVERIFY(WipeOwned(a));
        QVERIFY(AllZero(MaskedAllocation(a)));

        QByteArray x = Secret().toLatin1();
        const QByteArray y = x;
        QVERIFY(!WipeOwned(x));
        QCOMPARE(Masked(y), kMaskedSecret);
    }

    // Static storage is never written: a literal, raw data, a null string.
    void staticStorageIsOnlyReleased() {
        QString literal = QStringLiteral("a literal");
        QVERIFY(!WipeOwned(literal));
        QVERIFY(literal.isNull());
        QCOMPARE(QStringLiteral("a literal"), QStringLiteral("a literal"));

        char raw[] = "raw bytes";
        QByteArray view = QByteArray::fromRawData(raw, sizeof raw - 1);
        QVERIFY(!WipeOwned(view));
        QCOMPARE(QByteArray(raw), QByteArray("raw bytes"));

        QString none;
        QVERIFY(!WipeOwned(none));
        QByteArray nothing;
        QVERIFY(!WipeOwned(nothing));
    }

    // The edit's own last text is wiped once the edit has let go of it, and
    // nothing of what was typed can be undone back.
    void lineEditIsEmptiedAndItsTextWiped() {
        QLineEdit edit;
        edit.setEchoMode(QLineEdit::Password);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        for (char c : kMaskedTyped)
            QTest::keyClick(&edit, char(c ^ kMemoryMask));
        const void* at = nullptr;
        {
            const QString shown = edit.text();
            at = shown.utf16();
        }
        const QByteArray expected = MaskedUtf16(kMaskedTyped);
        const qsizetype bytes = expected.size();
        QCOMPARE(ReadOwnMemoryMasked(at, bytes), expected);
        int changes = 0;
        connect(&edit, &QLineEdit::textChanged, this, [&changes] { ++changes; });

        WipeLineEdit(&edit);
        QVERIFY(edit.text().isEmpty());
        QCOMPARE(changes, 0);
        QVERIFY(!edit.isUndoAvailable());
        QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(edit.text().isEmpty());
        // Freed now, but no longer the secret.
        QVERIFY(ReadOwnMemoryMasked(at, bytes) != expected);
        QVERIFY(!WritableMemoryHolds(expected));
    }

    void assignSecretWipesTheOldBytes() {
        std::string target(40, 'k');
        const char* old = target.data();
        AssignSecret(target, "short");
        QCOMPARE(target, std::string("short"));
        // Still the same storage, shorter text: behind it only zeros.
        QCOMPARE(target.data(), old);
        QVERIFY(AllZero(ReadOwnMemoryMasked(old + 6, 34)));
        AssignSecret(target, target);
        QCOMPARE(target, std::string("short"));
    }
};

VMR_TEST_MAIN(TestSecureText)
#include "tst_SecureText.moc"
