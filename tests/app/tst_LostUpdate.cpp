// Two copies of the program on one vault: a save never overwrites, unasked,
// what another copy (or any other program) saved since this one read or saved
// the file.

#include "LockedFile.h"
#include "MainFixture.h"
#include "common/FileHooks.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString Question =
    QStringLiteral("The vault file was changed by another program. Overwrite it?");

void WriteRaw(const QString& Name, const QByteArray& Bytes) {
    QFile f(Name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(Bytes), Bytes.size());
}

qsizetype Questions(const TMessageBoxRecorder& Boxes) {
    qsizetype n = 0;
    for (const TMessageBoxCall& call : Boxes.Calls) {
        if (call.Text != Question)
            continue;
        ++n;
        if (call.Caption != QLatin1String("Confirm") ||
            call.Flags != unsigned(MB_YESNO | MB_ICONQUESTION))
            qWarning("the question is asked in the wrong box");
    }
    return n;
}

// What other programs do to the vault between our read and our save.
enum class TOther { Nothing, Touch, SameBytesNewFile, InPlaceTimesKept, OtherPages, Remove };

void ActOn(const QString& Vault, TOther Other) {
    const QByteArray path = QFile::encodeName(Vault);
    switch (Other) {
    case TOther::Nothing:
        break;
    case TOther::Touch:
        QVERIFY(::utimensat(AT_FDCWD, path.constData(), nullptr, 0) == 0);
        break;
    case TOther::SameBytesNewFile:
        ReplaceFileContent(Vault, FileBytes(Vault));
        break;
    case TOther::InPlaceTimesKept: {
        // Same size, one byte changed, the modification time put back.
        struct stat st;
        QVERIFY(::stat(path.constData(), &st) == 0);
        QByteArray bytes = FileBytes(Vault);
        bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x55);
        WriteRaw(Vault, bytes);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, path.constData(), times, 0) == 0);
        break;
    }
    case TOther::OtherPages: {
        TOwnedPages pages;
        pages.Add(QStringLiteral("Theirs"), RtfOf(QStringLiteral("their text")));
        WriteVaultFile(Vault, *pages.List, 1);
        break;
    }
    case TOther::Remove:
        QVERIFY(QFile::remove(Vault));
        break;
    }
}
} // namespace

class TestLostUpdate : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

    // Types into another window's editor, as TypeInText does for the fixture's.
    static void TypeIn(TTPagesMain* W, const QString& Keys) {
        ShowActive(W);
        QTest::mouseClick(W->eText->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::keyClick(W->eText, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(W->eText, Keys);
    }
    static void CtrlS(TTPagesMain* W) {
        ShowActive(W);
        QTest::keyClick(W->ePages, Qt::Key_S, Qt::ControlModifier);
    }

private slots:
    void init() { fx = std::make_unique<TMainFixture>(); }
    void cleanup() { fx.reset(); }

    void saveAfterAnotherProgram_data() {
        QTest::addColumn<TOther>("other");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<int>("answer");
        QTest::newRow("nothing") << TOther::Nothing << false << int(IDOK);
        QTest::newRow("touched") << TOther::Touch << false << int(IDOK);
        QTest::newRow("same bytes, new file") << TOther::SameBytesNewFile << false << int(IDOK);
        const std::pair<const char*, TOther> changes[] = {
            {"in place, times kept", TOther::InPlaceTimesKept},
            {"other pages", TOther::OtherPages},
            {"removed", TOther::Remove}};
        for (const auto& [name, other] : changes) {
            QTest::addRow("%s, No", name) << other << true << int(IDNO);
            QTest::addRow("%s, Yes", name) << other << true << int(IDYES);
        }
    }
    void saveAfterAnotherProgram() {
        QFETCH(TOther, other);
        QFETCH(bool, asks);
        QFETCH(int, answer);
        TTPagesMain* w = fx->OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" mine"));
        ActOn(fx->Vault(), other);
        const bool existed = QFile::exists(fx->Vault());
        const QByteArray theirs = FileBytes(fx->Vault());
        TMessageBoxRecorder boxes(answer);

        QTest::mouseClick(w->bOk, Qt::LeftButton);
        QCOMPARE(Questions(boxes), asks ? 1 : 0);
        QCOMPARE(boxes.Calls.size(), Questions(boxes));
        if (answer == IDNO) {
            // Nothing written, nothing lost, nothing closed.
            QCOMPARE(QFile::exists(fx->Vault()), existed);
            QCOMPARE(FileBytes(fx->Vault()), theirs);
            QVERIFY(w->IsChanged());
            QVERIFY(w->isVisible());
            QCOMPARE(fx->Seen()[0].Text, QStringLiteral("first text mine"));
            return;
        }
        QVERIFY(!w->IsChanged());
        QVERIFY(!w->isVisible());
        TSeenPages mine = ThreePages;
        mine[0].Text += QStringLiteral(" mine");
        QCOMPARE(SeenVault(fx->Vault()), mine);
    }

    // Saves of our own, one after another and at closing, ask nothing.
    void ownSavesAskNothing() {
        TTPagesMain* w = fx->OpenWith(ThreePages);
        TMessageBoxRecorder boxes(IDNO);
        for (const QString& more : {QStringLiteral(" a"), QStringLiteral(" b")}) {
            fx->TypeInText(more);
            fx->CtrlS();
            QVERIFY(!w->IsChanged());
        }
        fx->TypeInText(QStringLiteral(" c"));
        TConfirmRecorder confirm;
        confirm.Answers = {6};
        QVERIFY(w->close());
        QCOMPARE(boxes.Calls.size(), 0);
        QCOMPARE(SeenVault(fx->Vault())[0].Text, QStringLiteral("first text a b c"));
    }

    // A vault that did not exist when the window opened, and was created by
    // another program meanwhile.
    void vaultThatAppeared() {
        TTPagesMain* w = fx->Open();
        QVERIFY(w->IsChanged());
        fx->WriteVault(ThreePages);
        const QByteArray theirs = FileBytes(fx->Vault());
        {
            TMessageBoxRecorder boxes(IDNO);
            fx->CtrlS();
            QCOMPARE(Questions(boxes), 1);
            QCOMPARE(FileBytes(fx->Vault()), theirs);
            QVERIFY(w->IsChanged());
        }
        TMessageBoxRecorder boxes(IDYES);
        fx->CtrlS();
        QCOMPARE(Questions(boxes), 1);
        QVERIFY(!w->IsChanged());
        QCOMPARE(SeenVault(fx->Vault())[0].Title, QStringLiteral("<empty page>"));
    }

    // Two windows on one vault: each save after the other's asks first.
    void twoCopies() {
        TTPagesMain* a = fx->OpenWith(ThreePages);
        std::unique_ptr<TTPagesMain> b = TMainFixture::Unlock();
        TypeIn(b.get(), QStringLiteral(" by B"));
        {
            TMessageBoxRecorder boxes(IDNO);
            CtrlS(b.get());
            QCOMPARE(boxes.Calls.size(), 0);
        }
        const QByteArray byB = FileBytes(fx->Vault());

        TypeIn(a, QStringLiteral(" by A"));
        {
            TMessageBoxRecorder boxes(IDNO);
            CtrlS(a);
            QCOMPARE(Questions(boxes), 1);
            QCOMPARE(FileBytes(fx->Vault()), byB);
            // "Save changes?" Yes, then No to the overwrite: still open.
            TConfirmRecorder confirm;
            confirm.Answers = {6};
            QVERIFY(!a->close());
            QCOMPARE(Questions(boxes), 2);
            QVERIFY(a->isVisible());
            QVERIFY(a->IsChanged());
            QCOMPARE(FileBytes(fx->Vault()), byB);
        }
        {
            TMessageBoxRecorder boxes(IDYES);
            CtrlS(a);
            QCOMPARE(Questions(boxes), 1);
            QVERIFY(!a->IsChanged());
            QCOMPARE(SeenVault(fx->Vault())[0].Text, QStringLiteral("first text by A"));
        }
        // Now B is the one behind.
        TypeIn(b.get(), QStringLiteral(" again"));
        TMessageBoxRecorder boxes(IDNO);
        CtrlS(b.get());
        QCOMPARE(Questions(boxes), 1);
        QCOMPARE(SeenVault(fx->Vault())[0].Text, QStringLiteral("first text by A"));
    }

    // A vault that must be read to be compared and cannot be is not taken for
    // another program's save: the save fails with the reason and asks
    // nothing, and the next one goes ahead.
    void unreadableVaultIsNoChange() {
        TTPagesMain* w = fx->OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" mine"));
        ActOn(fx->Vault(), TOther::Touch);
        const QByteArray before = FileBytes(fx->Vault());
        TMessageBoxRecorder boxes(IDYES);
        {
            const TFileHook failRead(
                [](TFileCall Call) { return Call == TFileCall::Read ? EIO : 0; });
            fx->CtrlS();
        }
        QCOMPARE(Questions(boxes), 0);
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY2(boxes.Calls[0].Text.startsWith(
                     QStringLiteral("Cannot read file \"%1\".").arg(fx->Vault())),
                 qPrintable(boxes.Calls[0].Text));
        QCOMPARE(FileBytes(fx->Vault()), before);
        QVERIFY(w->IsChanged());

        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY(!w->IsChanged());
        QCOMPARE(SeenVault(fx->Vault())[0].Text, QStringLiteral("first text mine"));
    }

    // A damaged vault is moved aside; its name is then free
    // and the save asks nothing.
    void damagedVaultAsksNothing() {
        fx->WriteVault(ThreePages);
        const QByteArray whole = FileBytes(fx->Vault());
        WriteRaw(fx->Vault(), whole.left(whole.size() - 10));
        TMessageBoxRecorder boxes(IDNO);
        TTPagesMain* w = fx->Open();
        fx->TypeInText(QStringLiteral(" edited"));
        fx->CtrlS();
        QCOMPARE(Questions(boxes), 0);
        QCOMPARE(boxes.Calls.size(), 2); // the damage, and where the file went
        QVERIFY(!w->IsChanged());
        QCOMPARE(SeenVault(fx->Vault()).size(), 2);
    }
};

VMR_APP_TEST_MAIN(TestLostUpdate)
#include "tst_LostUpdate.moc"
