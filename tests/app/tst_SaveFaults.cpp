// Saves from the main window while the disk is full or failing: write, fsync,
// link and rename fail through the file seam (and, where it can be mounted, a
// real full tmpfs). A failed save loses nothing: the vault stays as it was,
// the changes stay in the window, the window stays open, and the next save
// once the fault is gone succeeds. No page ever reaches the disk in clear.

#include "FileFaults.h"
#include "MainFixture.h"

#include <QDirIterator>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>

namespace {
const QString Marker = QStringLiteral("Clear-Marker-4711");

// Fails every call of one kind from the From-th on, while it lives.
struct TFault {
    TFileCall Call;
    int Error;
    int From;
    int Seen = 0;
    int Failed = 0;
    TFault(TFileCall C, int E, int F = 1) : Call(C), Error(E), From(F) {
        SetFileCallHook([this](TFileCall c) {
            if (c != Call || ++Seen < From)
                return 0;
            ++Failed;
            return Error;
        });
    }
    ~TFault() { SetFileCallHook({}); }
};

QStringList FilesIn(const QString& Dir) {
    return QDir(Dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The files under Dir that hold the marker in clear, as a text or a title.
QStringList FilesInClear(const QString& Dir) {
    QByteArray utf16;
    for (QChar c : Marker)
        utf16 += QByteArray(1, char(c.unicode())) + '\0';
    QStringList found;
    QDirIterator it(Dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        const QByteArray bytes = FileBytes(name);
        if (bytes.contains(Marker.toLatin1()) || bytes.contains(utf16))
            found << name;
    }
    return found;
}
} // namespace

class TestSaveFaults : public QObject {
    Q_OBJECT
    // Every temporary file anyone makes lands here, to be searched.
    QTemporaryDir FTemp;
    std::unique_ptr<TMainFixture> fx;

private slots:
    void initTestCase() {
        QVERIFY(FTemp.isValid());
        qputenv("TMPDIR", QFile::encodeName(FTemp.path()));
    }
    void init() { fx = std::make_unique<TMainFixture>(); }
    void cleanup() {
        SetFileCallHook({});
        fx.reset();
    }

    void failedSaveLosesNothing_data() {
        QTest::addColumn<TFileCall>("call");
        QTest::addColumn<int>("error");
        const std::pair<const char*, TFileCall> calls[] = {{"write", TFileCall::Write},
                                                           {"fsync", TFileCall::Sync},
                                                           {"link", TFileCall::Link},
                                                           {"rename", TFileCall::Rename}};
        for (const auto& [name, call] : calls) {
            QTest::addRow("%s ENOSPC", name) << call << ENOSPC;
            QTest::addRow("%s EIO", name) << call << EIO;
        }
    }
    void failedSaveLosesNothing() {
        QFETCH(TFileCall, call);
        QFETCH(int, error);
        TTPagesMain* w = fx->OpenWith(ThreePages);
        const QByteArray before = FileBytes(fx->Vault());
        fx->TypeInText(u' ' + Marker);
        auto fault = std::make_unique<TFault>(call, error);
        TMessageBoxRecorder boxes;

        QTest::mouseClick(w->bOk, Qt::LeftButton);
        if (call == TFileCall::Link && fault->Seen == 0)
            QSKIP("this file system has no nameless temporary files");
        QVERIFY(fault->Failed > 0);
        QCOMPARE(boxes.Calls.size(), 1);
        const TMessageBoxCall& shown = boxes.Calls[0];
        QVERIFY2(shown.Text.contains(fx->Vault()), qPrintable(shown.Text));
        QVERIFY2(shown.Text.contains(QString::fromLocal8Bit(std::strerror(error))),
                 qPrintable(shown.Text));
        QCOMPARE(shown.Flags, unsigned(MB_OK | MB_ICONERROR));
        QVERIFY(w->isVisible());
        QVERIFY(w->IsChanged());
        QCOMPARE(FileBytes(fx->Vault()), before);
        QCOMPARE(FilesIn(fx->Dir.path()), QStringList(QStringLiteral("vellomar.pgs")));

        TConfirmRecorder confirm;
        confirm.Answers = {6};
        QVERIFY(!w->close());
        QCOMPARE(confirm.Calls.size(), 1);
        QCOMPARE(boxes.Calls.size(), 2);
        QVERIFY(w->isVisible());
        QVERIFY(w->IsChanged());
        QCOMPARE(FileBytes(fx->Vault()), before);
        QCOMPARE(FilesInClear(FTemp.path()), QStringList());

        // Space is back.
        fault.reset();
        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 2);
        QVERIFY(!w->IsChanged());
        TSeenPages expected = ThreePages;
        expected[0].Text += u' ' + Marker;
        QCOMPARE(SeenVault(fx->Vault()), expected);
        QCOMPARE(FilesIn(fx->Dir.path()), QStringList(QStringLiteral("vellomar.pgs")));
        QCOMPARE(FilesInClear(FTemp.path()), QStringList());
    }

    // When the folder cannot be flushed the new file is in place already: the
    // save still reports the error and counts as not done, and the next one
    // takes the file for its own, asking nothing.
    void failedFolderFlushIsReportedAndRepeated() {
        TTPagesMain* w = fx->OpenWith(ThreePages);
        fx->TypeInText(QStringLiteral(" once"));
        TMessageBoxRecorder boxes;
        {
            const TFault fault(TFileCall::Sync, EIO, 2);
            fx->CtrlS();
            QCOMPARE(fault.Failed, 1);
        }
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY(boxes.Calls[0].Text.contains(QString::fromLocal8Bit(std::strerror(EIO))));
        QVERIFY(w->IsChanged());
        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY(!w->IsChanged());
        QCOMPARE(SeenVault(fx->Vault())[0].Text, QStringLiteral("first text once"));
    }

    // A real full disk: a small tmpfs, where mounting is allowed.
    void fullTmpfs() {
        QTemporaryDir mountPoint;
        const QByteArray at = QFile::encodeName(mountPoint.path());
        if (::mount("tmpfs", at.constData(), "tmpfs", 0, "size=1m,mode=0700") != 0)
            QSKIP("no tmpfs can be mounted here");
        const auto unmount = qScopeGuard([&] { ::umount2(at.constData(), MNT_DETACH); });
        SetRunningExePath(mountPoint.filePath(QStringLiteral("vellomar")));
        const QString vault = mountPoint.filePath(QStringLiteral("vellomar.pgs"));
        fx->W.reset();
        TOwnedPages pages;
        pages.Add(QStringLiteral("Alpha"), RtfOf(QStringLiteral("small")));
        WriteVaultFile(vault, *pages.List, 1);
        const QByteArray before = FileBytes(vault);
        // Fill the disk to the last block.
        const QString filler = mountPoint.filePath(QStringLiteral("filler"));
        {
            QFile f(filler);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'x');
            while (f.write(block) == block.size())
                ;
        }
        TTPagesMain* w = fx->Open();
        fx->TypeInText(QStringLiteral(" more"));
        TMessageBoxRecorder boxes;
        QTest::mouseClick(w->bOk, Qt::LeftButton);
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY2(boxes.Calls[0].Text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(boxes.Calls[0].Text));
        QVERIFY(w->isVisible());
        QVERIFY(w->IsChanged());
        QCOMPARE(FileBytes(vault), before);
        QCOMPARE(FilesIn(mountPoint.path()),
                 (QStringList{QStringLiteral("filler"), QStringLiteral("vellomar.pgs")}));

        QVERIFY(QFile::remove(filler));
        fx->CtrlS();
        QCOMPARE(boxes.Calls.size(), 1);
        QVERIFY(!w->IsChanged());
        QCOMPARE(SeenVault(vault)[0].Text, QStringLiteral("small more"));
        fx->W.reset();
    }
};

VMR_APP_TEST_MAIN(TestSaveFaults)
#include "tst_SaveFaults.moc"
