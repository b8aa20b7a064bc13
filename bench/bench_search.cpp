// Find next with no match over 10,000 pages holding 50 MiB of RTF: the plain
// text taken straight from each stored body, against loading each body into
// a hidden editor and searching there, one page at a time. Every press reads
// every body: nothing is kept from one press to the next.

#include "FormattedBody.h"
#include "RichEdit.h"
#include "RichTextStream.h"
#include "vmr_pagesearch.h"
#include "vmr_utils.h"

#include <QApplication>
#include <QBuffer>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr int kPages = 10000;
constexpr qsizetype kBodyBytes = qsizetype(50) << 20;

struct TNotebook {
    QStringList Titles;
    QList<QByteArray> Bodies;
    std::vector<std::unique_ptr<TPage>> Pages; // the same, as the program holds them
    qsizetype Bytes = 0;
};

const TNotebook& Notebook() {
    static const TNotebook book = [] {
        TNotebook b;
        QRandomGenerator rng(7);
        // Distinct bodies for every page, so that no page is read from a
        // cache warmed by another; built from a few formatted originals.
        QList<QByteArray> originals;
        for (int i = 0; i < 40; ++i)
            originals << Body(rng, kBodyBytes / kPages);
        for (int i = 0; i < kPages; ++i) {
            QByteArray body = originals[i % originals.size()];
            body.detach();
            const QByteArray tag = QByteArray::number(i).rightJustified(5, '0');
            body.replace(body.indexOf("note"), 4, tag.left(4));
            b.Titles << QStringLiteral("Page %1").arg(i, 5, 10, QLatin1Char('0'));
            b.Bytes += body.size();
            b.Bodies << body;
            b.Pages.emplace_back(KelNewCreated<TPage>());
            b.Pages.back()->SetTitle(b.Titles.back());
            b.Pages.back()->SetText(body);
        }
        return b;
    }();
    return book;
}

const TFindQuery kAbsent{QStringLiteral("qzxj"), {}};

TFindHit Search(const std::function<QStringView(int)>& TextOf) {
    const TNotebook& book = Notebook();
    TFindPos pos;
    return FindNextInPages(
        kAbsent, kPages, 0, [&](int i) { return book.Titles[i]; }, TextOf, pos);
}

void FindNextPlainText(benchmark::State& State) {
    const TNotebook& book = Notebook();
    for (auto _ : State) {
        TPageTextReader texts; // as the main window reads them
        const TFindHit hit = Search([&](int i) { return texts.Of(book.Pages[size_t(i)].get()); });
        if (hit.Page >= 0)
            State.SkipWithError("found what is not there");
    }
    State.SetBytesProcessed(State.iterations() * book.Bytes);
}

void FindNextHiddenEditor(benchmark::State& State) {
    const TNotebook& book = Notebook();
    for (auto _ : State) {
        TRichEdit hidden;
        QString text;
        const TFindHit hit = Search([&](int i) {
            QBuffer b;
            b.setData(book.Bodies[i]);
            b.open(QIODevice::ReadOnly);
            hidden.Lines.LoadFromStream(b);
            text = hidden.Text();
            return QStringView(text);
        });
        if (hit.Page >= 0)
            State.SkipWithError("found what is not there");
    }
    State.SetBytesProcessed(State.iterations() * book.Bytes);
}

BENCHMARK(FindNextPlainText)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(FindNextHiddenEditor)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Notebook();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
