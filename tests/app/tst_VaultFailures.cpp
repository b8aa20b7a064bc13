#include "MainFixture.h"

namespace {
void WriteBytes(const QString& Name, const QByteArray& Bytes) {
    QFile f(Name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(Bytes);
}
} // namespace

class TestVaultFailures : public QObject {
    Q_OBJECT
    std::unique_ptr<TMainFixture> fx;

    // A vault of three pages cut inside the third.
    QByteArray WriteDamagedVault() {
        fx->WriteVault(ThreePages);
        const QByteArray whole = FileBytes(fx->Vault());
        const QByteArray cut = whole.left(whole.size() - 10);
        WriteBytes(fx->Vault(), cut);
        return cut;
    }

private slots:
    void init() { fx = std::make_unique<TMainFixture>(); }
    void cleanup() { fx.reset(); }

    // A save that fails loses nothing and closes nothing.
    void failedSaveKeepsEverything() {
        TTPagesMain* w = fx->Open();
        fx->TypeInText(QStringLiteral(" kept"));
        QVERIFY(QDir().mkdir(fx->Vault())); // no file can replace a folder
        TMessageBoxRecorder boxes;
        QTest::mouseClick(w->bOk, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY(boxes.Calls[0].Text.contains(fx->Vault()));
        QVERIFY(w->isVisible());
        QVERIFY(w->IsChanged());

        TConfirmRecorder confirm;
        confirm.Answers = {6};
        QVERIFY(!w->close());
        QCOMPARE(boxes.Calls.size(), 2);
        QVERIFY(w->isVisible());
        QVERIFY(w->IsChanged());
        QCOMPARE(w->eText->Text(), QStringLiteral("<text> kept"));

        QVERIFY(QDir().rmdir(fx->Vault()));
        fx->CtrlS();
        QVERIFY(!w->IsChanged());
        QCOMPARE(SeenVault(fx->Vault()),
                 (TSeenPages{{QStringLiteral("<empty page>"), QStringLiteral("<text> kept")}}));
    }

    void damagedVaultKeepsThePagesReadAndIsMovedAsideOnSave() {
        const QByteArray damaged = WriteDamagedVault();
        // An older copy already has the first name.
        WriteBytes(fx->Vault() + QStringLiteral(".damaged"), "older");
        TMessageBoxRecorder boxes;
        TTPagesMain* w = fx->Open();
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY2(boxes.Calls[0].Text.contains(QLatin1String("is damaged")),
                 qPrintable(boxes.Calls[0].Text));
        QCOMPARE(fx->Stored(), ThreePages.mid(0, 2));
        QCOMPARE(w->CurPageIx(), 1); // the last page read
        QVERIFY(!w->IsChanged());

        // Closing without a change leaves the file alone.
        QVERIFY(w->close());
        QCOMPARE(FileBytes(fx->Vault()), damaged);
        w->show();

        fx->TypeInText(QStringLiteral(" edited"));
        fx->CtrlS();
        const QString aside = fx->Vault() + QStringLiteral(".damaged-2");
        QCOMPARE(boxes.Calls.size(), 2);
        QVERIFY2(boxes.Calls[1].Text.contains(aside), qPrintable(boxes.Calls[1].Text));
        QCOMPARE(FileBytes(aside), damaged);
        QCOMPARE(FileBytes(fx->Vault() + QStringLiteral(".damaged")), QByteArray("older"));
        QCOMPARE(SeenVault(fx->Vault()),
                 (TSeenPages{{QStringLiteral("Alpha"), QStringLiteral("first text")},
                             {QStringLiteral("Bank"), QStringLiteral("second text edited")}}));
        QVERIFY(!w->IsChanged());

        // Later saves write in place, as for any readable vault.
        fx->TypeInText(QStringLiteral("!"));
        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 2);
        QVERIFY(!QFile::exists(fx->Vault() + QStringLiteral(".damaged-3")));
    }

    // Damage before the first page: no page, and no default page either.
    void damagedVaultWithoutPagesLeavesNoCurrentPage_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("too short") << QByteArray("\x01\x00", 2);
        QTest::newRow("negative count") << QByteArray("\xff\xff\xff\xff", 4);
    }
    void damagedVaultWithoutPagesLeavesNoCurrentPage() {
        QFETCH(QByteArray, content);
        WriteBytes(fx->Vault(), content);
        TMessageBoxRecorder boxes;
        TTPagesMain* w = fx->Open();
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY2(boxes.Calls[0].Text.contains(QLatin1String("is damaged")),
                 qPrintable(boxes.Calls[0].Text));
        QCOMPARE(w->Pages->Count(), 0);
        QCOMPARE(w->CurPageIx(), -1);
        QVERIFY(!w->eTitle->isEnabled() && !w->eText->isEnabled());
        QCOMPARE(w->eTitle->Text(), QString());

        WhenPageForm(
            [](TPageForm* f) { FillPageForm(f, QStringLiteral("Rescue"), QStringLiteral("x")); });
        QTest::mouseClick(w->bAddPage, Qt::LeftButton);
        QVERIFY(w->IsChanged());
        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 2);
        QCOMPARE(FileBytes(fx->Vault() + QStringLiteral(".damaged")), content);
        QCOMPARE(SeenVault(fx->Vault()),
                 (TSeenPages{{QStringLiteral("Rescue"), QStringLiteral("x")}}));
    }

    // When the damaged file cannot be moved aside, nothing is written.
    void failedMoveAsideSavesNothing() {
        SetRunningExePath(fx->Dir.filePath(QString(246, u'v')));
        const QString vault = fx->Dir.filePath(QString(246, u'v') + QStringLiteral(".pgs"));
        WriteBytes(vault, QByteArray("\x05\x00\x00\x00", 4));
        TMessageBoxRecorder boxes;
        TTPagesMain* w = fx->Open();
        QCOMPARE(boxes.Calls.size(), 1);
        WhenPageForm([](TPageForm* f) { FillPageForm(f, QStringLiteral("Kept"), QString()); });
        QTest::mouseClick(w->bAddPage, Qt::LeftButton);
        QTest::mouseClick(w->bOk, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 2);
        QVERIFY2(boxes.Calls[1].Text.startsWith(QLatin1String("Cannot move the damaged vault")),
                 qPrintable(boxes.Calls[1].Text));
        QVERIFY(w->isVisible());
        QVERIFY(w->IsChanged());
        QCOMPARE(FileBytes(vault), QByteArray("\x05\x00\x00\x00", 4));
        // And it is still tried on the next save.
        QTest::mouseClick(w->bSave, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 3);
        QCOMPARE(FileBytes(vault), QByteArray("\x05\x00\x00\x00", 4));
        QCOMPARE(w->CurPage()->Title(), QStringLiteral("Kept"));
    }
};

VMR_APP_TEST_MAIN(TestVaultFailures)
#include "tst_VaultFailures.moc"
