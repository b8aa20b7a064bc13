#include "Image.h"
#include "SecureText.h"
#include "SettingsStore.h"
#include "common/MessageBoxRecorder.h"
#include "common/ProcessMemory.h"
#include "common/TestApp.h"
#include "common/WindowDriver.h"
#include "vmr_main.h"
#include "vmr_splash.h"
#include "vmr_utils.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace {
void WriteStoreFile(const QByteArray& content) {
    QDir().mkpath(QFileInfo(DefaultSettingsPath()).absolutePath());
    QFile f(DefaultSettingsPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

} // namespace

class TestSplash : public QObject {
    Q_OBJECT
    std::unique_ptr<TVMRSplash> splash;

    TVMRSplash* Open() {
        splash = std::make_unique<TVMRSplash>();
        ShowActive(splash.get());
        return splash.get();
    }

private slots:
    void init() {
        QFile::remove(DefaultSettingsPath());
        StoredCryptString = DefaultCryptString;
    }
    void cleanup() { splash.reset(); }

    void layoutAndLook() {
        TVMRSplash* s = Open();
        QCOMPARE(s->windowTitle(), QStringLiteral("VMRSplash"));
        QVERIFY(s->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(s->size(), QSize(264, 257)); // 660 x 643 at 240 ppi on a 96 ppi screen
        QCOMPARE(s->eSplash->geometry(), s->rect());
        QCOMPARE(s->ePassword->geometry(), QRect(64, 227, 121, 17));
        QCOMPARE(s->bCancel->geometry(), QRect(226, 13, 34, 33));
        QVERIFY(!s->bCancel->isVisible());
        QCOMPARE(s->eSplash->Picture().size(), QSize(256, 256));
        QVERIFY(s->eSplash->Picture().hasAlphaChannel());
        QCOMPARE(s->ePassword->echoMode(), QLineEdit::Password);
        QCOMPARE(s->ePassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                  s->ePassword),
                 int('#'));
        QVERIFY(s->ePassword->hasFocus());
        // See-through where the picture is transparent, solid over the field
        // and the cancel zone.
        QVERIFY(!s->mask().contains(QPoint(1, 1)));
        QVERIFY(s->mask().contains(s->ePassword->geometry().center()));
        QVERIFY(s->mask().contains(s->bCancel->geometry().topLeft()));
        QVERIFY(s->mask().contains(s->bCancel->geometry().bottomRight()));
    }

    void unlocksOnTheCharacterThatCompletesThePassword() {
        TVMRSplash* s = Open();
        const QString pw = DefaultPassword;
        for (int i = 0; i < pw.size(); ++i) {
            QCOMPARE(s->ModalResult(), 0);
            QTest::keyClick(s->ePassword, pw[i].toLatin1());
        }
        QCOMPARE(s->ModalResult(), 1);
        QVERIFY(s->ePassword->text().isEmpty()); // not kept once used
    }

    void enterDoesNothingAndLongerTextsNeverMatch() {
        TVMRSplash* s = Open();
        QTest::keyClicks(s->ePassword, QStringLiteral("vellomaR"));
        QTest::keyClick(s->ePassword, Qt::Key_Return);
        QTest::keyClick(s->ePassword, Qt::Key_Enter);
        QCOMPARE(s->ModalResult(), 0);
        QVERIFY(s->isVisible());
        s->ePassword->setText(QStringLiteral("vellomarx")); // pasted
        QCOMPARE(s->ModalResult(), 0);
        QTest::keyClick(s->ePassword, Qt::Key_Backspace);
        QCOMPARE(s->ModalResult(), 1);
    }

    void pastingThePasswordUnlocksAtOnce() {
        TVMRSplash* s = Open();
        s->ePassword->setText(DefaultPassword);
        QCOMPARE(s->ModalResult(), 1);
    }

    void storedPasswordReplacesTheDefault() {
        StoredCryptString = CryptStringOf(QStringLiteral("Other pw"));
        auto store = OpenCurrentUserStore();
        WriteStoredCryptString(*store);
        StoredCryptString = DefaultCryptString;
        TVMRSplash* s = Open();
        QTest::keyClicks(s->ePassword, DefaultPassword);
        QCOMPARE(s->ModalResult(), 0);
        s->ePassword->clear();
        QCOMPARE(s->ModalResult(), 0); // an empty field never matches a stored password
        QTest::keyClicks(s->ePassword, QStringLiteral("Other pw"));
        QCOMPARE(s->ModalResult(), 1);
    }

    void emptyStoredValueUnlocksWhenTheFieldBecomesEmpty() {
        WriteStoreFile("[Software/Ostrand/VMR/Settings]\n");
        TVMRSplash* s = Open();
        QCOMPARE(s->ModalResult(), 0); // nothing happens before a change
        QTest::keyClick(s->ePassword, 'a');
        QCOMPARE(s->ModalResult(), 0);
        QTest::keyClick(s->ePassword, Qt::Key_Backspace);
        QCOMPARE(s->ModalResult(), 1);
    }

    void escapeLeaves() {
        TVMRSplash* s = Open();
        QTest::keyClicks(s->ePassword, QStringLiteral("vel"));
        QTest::keyClick(s->ePassword, Qt::Key_Escape);
        QCOMPARE(s->ModalResult(), 2);
    }

    void cancelZone_data() {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("result");
        // The zone is x 226..259, y 13..45 on a 96 ppi screen.
        for (auto [name, b] :
             {std::pair{"left", Qt::LeftButton}, std::pair{"right", Qt::RightButton},
              std::pair{"middle", Qt::MiddleButton}}) {
            QTest::addRow("%s, top left corner", name) << QPoint(226, 13) << int(b) << 2;
            QTest::addRow("%s, bottom right corner", name) << QPoint(259, 45) << int(b) << 2;
        }
        QTest::newRow("one pixel right") << QPoint(260, 20) << int(Qt::LeftButton) << 0;
        QTest::newRow("one pixel below") << QPoint(240, 46) << int(Qt::LeftButton) << 0;
        QTest::newRow("one pixel left") << QPoint(225, 20) << int(Qt::LeftButton) << 0;
        QTest::newRow("one pixel above") << QPoint(240, 12) << int(Qt::LeftButton) << 0;
        QTest::newRow("middle of the picture") << QPoint(130, 130) << int(Qt::LeftButton) << 0;
    }
    void cancelZone() {
        QFETCH(QPoint, point);
        QFETCH(int, button);
        QFETCH(int, result);
        TVMRSplash* s = Open();
        QTest::mousePress(s->eSplash, Qt::MouseButton(button), {}, point);
        QCOMPARE(s->ModalResult(), result);
    }

    void unreadableStoreValueIsShownAndTheDefaultStays() {
        WriteStoreFile("[Software/Ostrand/VMR/Settings]\n\"Data\"=hex:01,02\n");
        TMessageBoxRecorder boxes;
        TVMRSplash* s = Open();
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, QStringLiteral("Invalid data type for 'Data'"));
        QTest::keyClicks(s->ePassword, DefaultPassword);
        QCOMPARE(s->ModalResult(), 1);
    }

    // A stored value that is there but cannot be read, and a store file that
    // cannot be read as a whole, are shown; the window opens with the
    // built-in default, and the empty text never unlocks.
    void damagedStoreIsShownAndNeverUnlocksWithTheEmptyText_data() {
        QTest::addColumn<QByteArray>("storeFile");
        QTest::addColumn<qint64>("sparseSize"); // the file made this large, when not 0
        QTest::addColumn<QString>("shown");

        const QByteArray key = "[Software/Ostrand/VMR/Settings]\n";
        const QString path = DefaultSettingsPath();
        const QString value = QStringLiteral("The value 'Data' cannot be read: line %1 of the "
                                             "settings file \"%2\" is damaged.");
        const QString file = QStringLiteral("The settings file \"%1\" cannot be read: %2.");
        QTest::newRow("unclosed quote") << key + "\"Data\"=\"abc\n"
                                        << qint64(0) << value.arg(2).arg(path);
        QTest::newRow("escape eats the closing quote") << key + "\"Data\"=\"abc\\\"\n"
                                                       << qint64(0) << value.arg(2).arg(path);
        QTest::newRow("odd hex digits") << key + "\"Data\"=hex(1):7e,0f5\n"
                                        << qint64(0) << value.arg(2).arg(path);
        QTest::newRow("unknown type prefix") << key + "\"Data\"=text:\"abc\"\n"
                                             << qint64(0) << value.arg(2).arg(path);
        QTest::newRow("second definition damaged") << key + "\"Data\"=\"\"\n\"Data\"=hex(1):zz\n"
                                                   << qint64(0) << value.arg(3).arg(path);
        QTest::newRow("binary junk")
            << key + QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << qint64(0)
            << file.arg(path, "it is not UTF-8 or UTF-16 text");
        QTest::newRow("cut off") << key + "\"Data\"=hex(1):" << qint64(0)
                                 << file.arg(path, "it ends in the middle of line 2");
        QTest::newRow("huge") << key + "\"Data\"=\"\"\n"
                              << qint64(33) * 1024 * 1024
                              << file.arg(path, "it is larger than 32 MiB");
        QTest::newRow("damaged key name")
            << QByteArray("[Software/Ostrand/VMR/Settings\n\"Data\"=\"\"\n") << qint64(0)
            << file.arg(path, "the key name on line 1 is damaged");
    }
    void damagedStoreIsShownAndNeverUnlocksWithTheEmptyText() {
        QFETCH(QByteArray, storeFile);
        QFETCH(qint64, sparseSize);
        QFETCH(QString, shown);
        WriteStoreFile(storeFile);
        if (sparseSize)
            QVERIFY(QFile::resize(DefaultSettingsPath(), sparseSize));
        TMessageBoxRecorder boxes;
        TVMRSplash* s = Open();
        QCOMPARE(boxes.Calls.size(), 1);
        QCOMPARE(boxes.Calls[0].Text, shown);
        QCOMPARE(boxes.Calls[0].Flags, unsigned(MB_OK | MB_ICONERROR));
        QVERIFY(s->isVisible());
        QTest::keyClick(s->ePassword, 'a');
        QTest::keyClick(s->ePassword, Qt::Key_Backspace);
        QCOMPARE(s->ModalResult(), 0);
        QTest::keyClicks(s->ePassword, DefaultPassword);
        QCOMPARE(s->ModalResult(), 1);
    }

    // Neither the password that unlocked nor a text typed before leaving is
    // left in memory once the window is gone: the storage of the field's
    // text is wiped, and no other copy stays.
    void typedTextIsNotLeftInMemory_data() {
        QTest::addColumn<QByteArray>("typed"); // masked
        QTest::addColumn<bool>("unlocks");
        QTest::newRow("unlocked") << Masked("Qz8!vK2#pLm") << true;
        QTest::newRow("left") << Masked("Wr0ng#Guess") << false;
    }
    void typedTextIsNotLeftInMemory() {
        QFETCH(QByteArray, typed);
        QFETCH(bool, unlocks);
        QString pw = Unmasked(Masked("Qz8!vK2#pLm"));
        AssignSecret(StoredCryptString, CryptStringOf(pw));
        WipeOwned(pw);
        TVMRSplash* s = Open();
        for (char c : typed.chopped(1))
            QTest::keyClick(s->ePassword, char(c ^ kMemoryMask));
        // Where the field keeps its text, which the last key extends in place.
        const void* at = nullptr;
        {
            const QString text = s->ePassword->text();
            at = text.utf16();
            QVERIFY(text.capacity() >= typed.size());
        }
        const QByteArray start = MaskedUtf16(typed.chopped(1));
        QCOMPARE(ReadOwnMemoryMasked(at, start.size()), start);
        QTest::keyClick(s->ePassword, char(typed.back() ^ kMemoryMask));
        QCOMPARE(s->ModalResult(), unlocks ? 1 : 0);
        QCOMPARE(s->ePassword->text().isEmpty(), unlocks);
        if (!unlocks) {
            QTest::keyClick(s->ePassword, Qt::Key_Escape);
            QCOMPARE(s->ModalResult(), 2);
        }
        // Looked at as soon as the window's own part is destroyed, before
        // much else can take the freed storage's place.
        s->hide();
        QByteArray seen;
        connect(s, &QObject::destroyed, this,
                [&] { seen = ReadOwnMemoryMasked(at, start.size()); });
        splash.reset();
        QCOMPARE(seen.size(), start.size());
        QVERIFY(seen != start);
        QVERIFY(!WritableMemoryHolds(MaskedUtf16(typed)));
        QVERIFY(!WritableMemoryHolds(typed));
    }

    // The real modal loop, as the main window runs it.
    void mainWindowOpensOnlyAfterUnlocking() {
        TModalGuard guard;
        WhenModal([](QWidget* m) {
            auto* s = qobject_cast<TVMRSplash*>(m);
            QVERIFY(s);
            QTest::keyClicks(s->ePassword, DefaultPassword);
        });
        TTPagesMain main;
        QVERIFY(!TApplication::Halted());
        QCOMPARE(main.windowTitle(), QStringLiteral("VMR v 2.5"));
    }

    void leavingTheUnlockWindowHaltsWithExitCodeOne() {
        TModalGuard guard;
        WhenModal([](QWidget* m) {
            auto* s = qobject_cast<TVMRSplash*>(m);
            QVERIFY(s);
            QTest::keyClick(s->ePassword, Qt::Key_Escape);
        });
        TTPagesMain main;
        QVERIFY(TApplication::Halted());
        QCOMPARE(TApplication::HaltCode(), 1);
        QCOMPARE(main.windowTitle(), QStringLiteral("Pages"));
        QVERIFY(!QFile::exists(DefaultSettingsPath()));
    }
};

int main(int argc, char** argv) {
    Q_INIT_RESOURCE(assets);
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Vellomar "));
    TestSplash tc;
    return RunTestObject(tc, argc, argv);
}
#include "tst_Splash.moc"
