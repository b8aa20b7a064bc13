// A 1 MiB page streamed in and out by the editor, and a page of pictures,
// tables and lists read and written by the codec, each against
// QTextDocument's HTML reading and writing of the same content in the same run.

#include "RichEdit.h"
#include "RtfPictures.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

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

// A page with 20 small PNG pictures, 3 tables of 3 rows by 4 columns and 3
// lists of 5 items, between paragraphs of text. Its HTML carries the pictures
// as data URLs, so that both readers decode them.
const TPage& StructuredPage() {
    static const TPage page = [] {
        QTextDocument doc;
        QTextCursor c(&doc);
        QHash<QString, QByteArray> pictures;
        const QString text = QStringLiteral("A paragraph of the page with some words in it, "
                                            "enough to wrap once or twice in the editor.");
        for (int i = 0; i < 20; ++i) {
            QImage img(32, 24, QImage::Format_RGB32);
            img.fill(QColor::fromHsv(i * 18, 160, 220));
            QPainter(&img).fillRect(4 + i % 8, 4, 12, 12, Qt::black);
            QByteArray png;
            QBuffer b(&png);
            b.open(QIODevice::WriteOnly);
            img.save(&b, "PNG");
            const std::optional<QTextImageFormat> f = PictureOfFile(png, &doc);
            if (!f)
                qFatal("no picture");
            pictures.insert(f->name(), png);
            c.insertText(text + u' ');
            c.insertImage(*f);
            c.insertBlock();
        }
        for (int t = 0; t < 3; ++t) {
            c.insertText(text);
            QTextTable* table = c.insertTable(3, 4);
            for (int r = 0; r < 3; ++r)
                for (int col = 0; col < 4; ++col)
                    table->cellAt(r, col).firstCursorPosition().insertText(
                        QStringLiteral("cell %1.%2").arg(r + 1).arg(col + 1));
            c.movePosition(QTextCursor::End);
            c.insertText(text);
            c.insertBlock();
            c.insertList(t == 1 ? QTextListFormat::ListDecimal : QTextListFormat::ListDisc);
            for (int i = 0; i < 5; ++i) {
                if (i > 0)
                    c.insertBlock();
                c.insertText(QStringLiteral("list item %1 of list %2").arg(i + 1).arg(t + 1));
            }
            c.insertBlock(QTextBlockFormat());
        }
        c.insertText(text);
        TPage p;
        p.Rtf = WriteRtf(doc);
        p.Html = doc.toHtml();
        for (auto it = pictures.cbegin(); it != pictures.cend(); ++it)
            p.Html.replace(QStringLiteral("src=\"%1\"").arg(it.key()),
                           QStringLiteral("src=\"data:image/png;base64,%1\"")
                               .arg(QString::fromLatin1(it.value().toBase64())));
        if (p.Html.count(QLatin1String("data:image/png")) != 20)
            qFatal("pictures missing from the HTML");
        return p;
    }();
    return page;
}

void StructuredReadRtf(benchmark::State& State) {
    QTextDocument doc;
    for (auto _ : State)
        ReadRtf(StructuredPage().Rtf, doc);
    State.SetBytesProcessed(State.iterations() * StructuredPage().Rtf.size());
}

void StructuredSetHtml(benchmark::State& State) {
    QTextDocument doc;
    for (auto _ : State)
        doc.setHtml(StructuredPage().Html);
}

void StructuredWriteRtf(benchmark::State& State) {
    QTextDocument doc;
    ReadRtf(StructuredPage().Rtf, doc);
    for (auto _ : State)
        benchmark::DoNotOptimize(WriteRtf(doc).size());
    State.SetBytesProcessed(State.iterations() * StructuredPage().Rtf.size());
}

void StructuredToHtml(benchmark::State& State) {
    QTextDocument doc;
    doc.setHtml(StructuredPage().Html);
    for (auto _ : State)
        benchmark::DoNotOptimize(doc.toHtml().size());
}

#define VMR_STRUCTURED_BENCH(f)                                                                    \
    BENCHMARK(f)                                                                                   \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->MinTime(0.5)                                                                             \
        ->Repetitions(5)                                                                           \
        ->ReportAggregatesOnly(true)

BENCHMARK(LoadFromStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SetHtml)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SaveToStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ToHtml)->Unit(benchmark::kMillisecond)->MinTime(2.0);
VMR_STRUCTURED_BENCH(StructuredReadRtf);
VMR_STRUCTURED_BENCH(StructuredSetHtml);
VMR_STRUCTURED_BENCH(StructuredWriteRtf);
VMR_STRUCTURED_BENCH(StructuredToHtml);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Page();
    StructuredPage();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
