// Opening the notebook with a vault of 10,000 pages holding 50 MiB of RTF,
// beside the same build opening an empty vault: from the keystroke that
// completes the password to the main window's first paint (wall time), and
// the peak resident memory of a process that opens each, the empty one
// subtracted. Each memory figure comes from a fresh process (this program
// started again with --open-once), since the peak of a process only grows.

#include "Application.h"
#include "FormattedBody.h"
#include "vmr_main.h"
#include "vmr_splash.h"
#include "vmr_utils.h"
#include "vmr_vault.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QtTest/QTest>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kPages = 10000;
constexpr qsizetype kVaultBytes = qsizetype(50) << 20;

// Writes the large vault as Dir/vellomar.pgs.
void WriteLargeVault(const QString& Dir) {
    QRandomGenerator rng(5);
    QList<QByteArray> originals;
    for (int i = 0; i < 40; ++i)
        originals << Body(rng, kVaultBytes / kPages);
    TPageList* pages = KelNewCreated<TPageList>();
    for (int i = 0; i < kPages; ++i) {
        auto* p = KelNewCreated<TPage>();
        p->SetTitle(QStringLiteral("Page %1").arg(i, 5, 10, QLatin1Char('0')));
        QByteArray body = originals[i % originals.size()];
        body.detach(); // each page its own bytes, as when read
        p->SetText(body);
        pages->AddPage(p);
    }
    WriteVaultFile(Dir + QStringLiteral("/vellomar.pgs"), *pages, kPages, TFlush::None);
    TKelList::FreeAll(pages);
}

struct TOpening {
    qint64 Nanoseconds = 0; // from the completing keystroke to the first paint
    int Pages = 0;
    qint64 Resident = -1; // bytes, at the first paint
};

qint64 ResidentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// Opens the main window on the vault beside Dir/vellomar, typing the default
// password into the real unlock window, and waits for the first paint.
TOpening Open(const QString& Dir) {
    SetRunningExePath(Dir + QStringLiteral("/vellomar"));
    TOpening result;
    QElapsedTimer clock;
    // Types all but the last key once the unlock window is up; the last one
    // starts the clock.
    struct TTyper : QObject {
        QElapsedTimer* Clock;
        bool Done = false;
        bool eventFilter(QObject* O, QEvent* E) override {
            if (!Done && E->type() == QEvent::Show)
                if (auto* s = qobject_cast<TVMRSplash*>(O)) {
                    Done = true;
                    QTimer::singleShot(0, s, [this, s] {
                        const QString pw = DefaultPassword;
                        QTest::keyClicks(s->ePassword, pw.left(pw.size() - 1));
                        Clock->start();
                        QTest::keyClick(s->ePassword, pw.back().toLatin1());
                    });
                }
            return false;
        }
    } typer;
    typer.Clock = &clock;
    qApp->installEventFilter(&typer);
    TTPagesMain main;
    qApp->removeEventFilter(&typer);
    struct TPainted : QObject {
        QElapsedTimer* Clock;
        qint64 At = -1;
        qint64 Resident = -1;
        bool eventFilter(QObject*, QEvent* E) override {
            if (At < 0 && E->type() == QEvent::Paint) {
                At = Clock->nsecsElapsed();
                Resident = ResidentBytes();
            }
            return false;
        }
    } painted;
    painted.Clock = &clock;
    main.installEventFilter(&painted);
    main.show();
    while (painted.At < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    result.Nanoseconds = painted.At;
    result.Resident = painted.Resident;
    result.Pages = main.Pages ? main.Pages->Count() : 0;
    return result;
}

struct TFolders {
    QTemporaryDir Large{QDir::tempPath() + QStringLiteral("/vmr-open-XXXXXX")};
    QTemporaryDir Empty{QDir::tempPath() + QStringLiteral("/vmr-open-XXXXXX")};
    TFolders() { WriteLargeVault(Large.path()); }
};

TFolders& Folders() {
    static TFolders folders;
    return folders;
}

void Opening(benchmark::State& State, bool Large) {
    const QString dir = Large ? Folders().Large.path() : Folders().Empty.path();
    for (auto _ : State) {
        const TOpening o = Open(dir);
        if (o.Pages != (Large ? kPages : 1))
            State.SkipWithError("pages missing");
        State.SetIterationTime(double(o.Nanoseconds) / 1e9);
        // The window is gone; its deferred deletions go before the next.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
void OpenLargeVault(benchmark::State& State) {
    Opening(State, true);
}
void OpenEmptyVault(benchmark::State& State) {
    Opening(State, false);
}

struct TMemory {
    qint64 Peak = -1;
    qint64 Resident = -1; // at the main window's first paint
};

// The memory of a fresh process that opens the vault in Dir.
TMemory MemoryOfOpening(const QString& Dir) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Settings of its own, as at a first start, whatever ran before.
    const QTemporaryDir config(QDir::tempPath() + QStringLiteral("/vmr-open-config-XXXXXX"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open-once"), Dir});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "opening %s failed\n", qPrintable(Dir));
        return {};
    }
    const QList<QByteArray> v = p.readAllStandardOutput().trimmed().split(' ');
    return {v.value(0).toLongLong(), v.value(1, "-1").toLongLong()};
}

// Reported as manual time: one "millisecond" per MiB.
void Mib(benchmark::State& State, qint64 Bytes) {
    State.SetIterationTime(double(Bytes) / (1 << 20) / 1e3);
}

// The peak with the large vault open above the empty program's, and what is
// resident at the first paint above the same for the empty one. The empty
// program's peak lies at its start (fonts, styles), above what it keeps.
void OpenMemory(benchmark::State& State, bool Peak) {
    for (auto _ : State) {
        const TMemory large = MemoryOfOpening(Folders().Large.path());
        const TMemory empty = MemoryOfOpening(Folders().Empty.path());
        if (large.Peak < 0 || empty.Peak < 0 || large.Resident < 0 || empty.Resident < 0)
            State.SkipWithError("opening failed");
        Mib(State, Peak ? large.Peak - empty.Peak : large.Resident - empty.Resident);
    }
}
void OpenPeakAboveEmpty(benchmark::State& State) {
    OpenMemory(State, true);
}
void OpenResidentAboveEmpty(benchmark::State& State) {
    OpenMemory(State, false);
}

void VaultSize(benchmark::State& State) {
    const qint64 size = QFileInfo(Folders().Large.filePath(QStringLiteral("vellomar.pgs"))).size();
    for (auto _ : State)
        Mib(State, size);
}

void OpenEmptyPeak(benchmark::State& State) {
    for (auto _ : State)
        Mib(State, MemoryOfOpening(Folders().Empty.path()).Peak);
}

BENCHMARK(OpenLargeVault)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(OpenEmptyVault)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(OpenPeakAboveEmpty)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(OpenResidentAboveEmpty)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(OpenEmptyPeak)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(VaultSize)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The default password, and no settings of the real user.
    QTemporaryDir config(QDir::tempPath() + QStringLiteral("/vmr-open-config-XXXXXX"));
    if (argc == 3 && std::strcmp(argv[1], "--open-once") == 0) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        TApplication app(argc, argv);
        TApplication::SetTitle(QStringLiteral("Vellomar "));
        // Reports the peak, and what is resident at the first paint.
        const TOpening o = Open(QFile::decodeName(argv[2]));
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        std::printf("%lld %lld\n", static_cast<long long>(u.ru_maxrss) * 1024,
                    static_cast<long long>(o.Resident));
        return 0;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Vellomar "));
    benchmark::Initialize(&argc, argv);
    Folders();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
