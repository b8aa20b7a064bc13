// A 1 MiB page streamed in and out by the editor, against QTextDocument's HTML
// reading and writing of the same content in the same run.

#include "RichEdit.h"
#include "RtfWriter.h"

#include <QApplication>
#include <QBuffer>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype kPageBytes = qsizetype(1) << 20;

// A page as people write them: paragraphs of words with a format change every
// few words, a few fonts, sizes and colours, and some non-ASCII letters.
struct TPage {
    QByteArray Rtf;
    QString Html;
};

const TPage& Page() {
    static const TPage page = [] {
        static const char* const words[] = {
            "the",   "notebook", "keeps", "pages",  "of",   "formatted", "text",
            "and",   "every",    "page",  "has",    "a",    "title",     "café",
            "naïve", "Straße",   "€",     "Привет", "zone", "quick",     "brown",
            "fox",   "jumps",    "over",  "lazy",   "dog",  "with",      "{braces}"};
        static const char* const fonts[] = {"Calibri", "Arial", "Times New Roman", "Tahoma"};
        static const QColor colors[] = {QColor(192, 0, 0), QColor(0, 112, 192), QColor(0, 128, 0)};
        QRandomGenerator rng(7);
        QTextDocument doc;
        QTextCursor c(&doc);
        QTextCharFormat f;
        qsizetype approx = 0;
        while (approx < kPageBytes) {
            QString run;
            const int n = 3 + int(rng.bounded(8));
            for (int i = 0; i < n; ++i)
                run += QString::fromUtf8(words[rng.bounded(int(std::size(words)))]) + u' ';
            f = QTextCharFormat();
            f.setFontFamilies(QStringList{QString::fromLatin1(fonts[rng.bounded(4)])});
            f.setFontPointSize(9 + rng.bounded(8));
            if (rng.bounded(4) == 0)
                f.setFontWeight(QFont::Bold);
            if (rng.bounded(5) == 0)
                f.setFontItalic(true);
            if (rng.bounded(8) == 0)
                f.setFontUnderline(true);
            if (rng.bounded(6) == 0)
                f.setForeground(colors[rng.bounded(3)]);
            c.insertText(run, f);
            approx += run.size() + 24;
            if (rng.bounded(6) == 0) {
                QTextBlockFormat b;
                b.setAlignment(rng.bounded(4) == 0 ? Qt::AlignHCenter : Qt::AlignLeft);
                c.insertBlock(b);
            }
        }
        TPage p;
        p.Rtf = WriteRtf(doc);
        p.Html = doc.toHtml();
        return p;
    }();
    return page;
}

void LoadFromStream(benchmark::State& State) {
    TRichEdit e;
    QBuffer b;
    b.setData(Page().Rtf);
    b.open(QIODevice::ReadOnly);
    for (auto _ : State) {
        b.seek(0);
        e.Lines.LoadFromStream(b);
    }
    State.SetBytesProcessed(State.iterations() * Page().Rtf.size());
}

void SetHtml(benchmark::State& State) {
    QTextDocument doc;
    for (auto _ : State)
        doc.setHtml(Page().Html);
}

void SaveToStream(benchmark::State& State) {
    TRichEdit e;
    QBuffer in;
    in.setData(Page().Rtf);
    in.open(QIODevice::ReadOnly);
    e.Lines.LoadFromStream(in);
    for (auto _ : State) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        e.Lines.SaveToStream(out);
        benchmark::DoNotOptimize(out.data().size());
    }
    State.SetBytesProcessed(State.iterations() * Page().Rtf.size());
}

void ToHtml(benchmark::State& State) {
    QTextDocument doc;
    doc.setHtml(Page().Html);
    for (auto _ : State)
        benchmark::DoNotOptimize(doc.toHtml().size());
}

BENCHMARK(LoadFromStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SetHtml)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SaveToStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ToHtml)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Page();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
