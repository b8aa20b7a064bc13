// Typing in the title of a page with a 1 MiB text, one key at a time: each key
// re-sorts the page list and makes the page current again. Measured against
// loading that page into the editor once, which a keystroke must not cost.

#include "RichEdit.h"
#include "RtfWriter.h"
#include "kel_edit.h"
#include "vmr_main.h"
#include "vmr_splash.h"
#include "vmr_utils.h"
#include "vmr_vault.h"

#include <QApplication>
#include <QBuffer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

QByteArray LongPage() {
    static const QByteArray rtf = [] {
        QRandomGenerator rng(11);
        QTextDocument doc;
        QTextCursor c(&doc);
        qsizetype approx = 0;
        while (approx < (qsizetype(1) << 20)) {
            QTextCharFormat f;
            f.setFontPointSize(9 + rng.bounded(6));
            if (rng.bounded(4) == 0)
                f.setFontWeight(QFont::Bold);
            const QString run = QStringLiteral("words of a long note %1 ").arg(rng.bounded(1000));
            c.insertText(run, f);
            approx += run.size() + 20;
            if (rng.bounded(8) == 0)
                c.insertBlock();
        }
        return WriteRtf(doc);
    }();
    return rtf;
}

struct TSetup {
    QTemporaryDir Dir;
    std::unique_ptr<TTPagesMain> Window;
};

TSetup& Setup() {
    static TSetup s = [] {
        TSetup setup;
        SetRunningExePath(setup.Dir.filePath(QStringLiteral("vellomar")));
        TPageList* pages = KelNewCreated<TPageList>();
        for (const char* title : {"Alpha", "Long", "Zeta"}) {
            TPage* p = KelNewCreated<TPage>();
            p->SetTitle(QString::fromLatin1(title));
            p->SetText(title[0] == 'L' ? LongPage() : QByteArray("short"));
            pages->AddPage(p);
        }
        WriteVaultFile(VaultFileName(RunningExePath()), *pages, pages->Count());
        TKelList::FreeAll(pages);
        // Unlock as a user does once the unlock window is up.
        QTimer unlock;
        QObject::connect(&unlock, &QTimer::timeout, [&] {
            if (auto* s = qobject_cast<TVMRSplash*>(QApplication::activeModalWidget()))
                s->ePassword->setText(DefaultPassword);
        });
        unlock.start(10);
        setup.Window = std::make_unique<TTPagesMain>();
        setup.Window->show();
        setup.Window->SetCurPageIx(1);
        setup.Window->eTitle->setFocus();
        return setup;
    }();
    return s;
}

void SendKey(QWidget* W, int Key, const QString& Text) {
    QKeyEvent press(QEvent::KeyPress, Key, Qt::NoModifier, Text);
    QApplication::sendEvent(W, &press);
    QKeyEvent release(QEvent::KeyRelease, Key, Qt::NoModifier, Text);
    QApplication::sendEvent(W, &release);
}

void TitleKeystroke(benchmark::State& State) {
    TTPagesMain& w = *Setup().Window;
    // A first key after an edit of the text copies the text into the page.
    SendKey(w.eTitle, Qt::Key_End, QString());
    for (auto _ : State) {
        SendKey(w.eTitle, Qt::Key_X, QStringLiteral("x"));
        SendKey(w.eTitle, Qt::Key_Backspace, QString());
    }
    if (w.CurPage()->Text() != LongPage())
        State.SkipWithError("the long page changed");
    State.SetItemsProcessed(State.iterations() * 2);
}

// One load of the long page: what every keystroke would cost if it reloaded
// the editor.
void PageLoad(benchmark::State& State) {
    TRichEdit e;
    QBuffer b;
    b.setData(LongPage());
    b.open(QIODevice::ReadOnly);
    for (auto _ : State) {
        b.seek(0);
        e.Lines.LoadFromStream(b);
    }
}

BENCHMARK(TitleKeystroke)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(PageLoad)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The unlock window reads the settings store: use an empty one of our own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    Q_INIT_RESOURCE(assets);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Setup();
    benchmark::RunSpecifiedBenchmarks();
    Setup().Window.reset();
    benchmark::Shutdown();
    return 0;
}
