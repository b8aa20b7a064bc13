// Start-up: from starting the process to the unlock window's first paint,
// against a minimal Qt Widgets program that shows one window, started in
// turn in the same run. Wall time, since the user waits for it.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// Nanoseconds from the start of Program to its line on standard output.
qint64 UntilFirstPaint(const QString& Program) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(QCoreApplication::applicationDirPath() + u'/' + Program, QStringList());
    while (!p.canReadLine())
        if (!p.waitForReadyRead(60000))
            return -1;
    const qint64 ns = clock.nsecsElapsed();
    p.waitForFinished(60000);
    return ns;
}

void Startup(benchmark::State& State, const char* Program) {
    for (auto _ : State) {
        const qint64 ns = UntilFirstPaint(QString::fromLatin1(Program));
        if (ns < 0)
            State.SkipWithError("no first paint");
        State.SetIterationTime(double(ns) / 1e9);
    }
}

void StartupVellomar(benchmark::State& State) {
    Startup(State, "startup_vellomar");
}
void StartupMinimalQt(benchmark::State& State) {
    Startup(State, "startup_minimal");
}

// Started in turn, so that both meet the same load of the machine.
BENCHMARK(StartupMinimalQt)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK(StartupVellomar)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    // Headless, and no settings of the real user.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config(QDir::tempPath() + QStringLiteral("/vmr-startup-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
