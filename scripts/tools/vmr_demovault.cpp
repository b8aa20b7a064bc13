// vmr_demovault <file.pgs>
// Writes a vault with a few everyday sample pages, formatted the way the
// editor formats them, for screenshots of the program.

#include "RtfWriter.h"
#include "vmr_utils.h"
#include "vmr_vault.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <cstdio>

namespace {
struct TSample {
    const char* Title;
    const char* Html;
};

const TSample Samples[] = {
    {"Allotment: spring plan",
     "<p><b>Allotment: spring plan</b></p>"
     "<p>Bed 1: early potatoes (<i>Charlotte</i>), chit from mid February.</p>"
     "<p>Bed 2: broad beans and peas; net against pigeons.</p>"
     "<p>Bed 3: onion sets, carrots in the sandy corner.</p>"
     "<p><u>To buy</u>: seed compost, twine, 20 canes.</p>"
     "<p>Water butt by the shed leaks at the tap; new washer.</p>"},
    {"Book club - April", "<p><b>Book club</b>, first Thursday, 7 pm at the library.</p>"
                          "<p>This month: <i>The Old Man and the Sea</i>.</p>"
                          "<p>Questions to bring: why does he keep going out? What does the boy "
                          "stand for?</p>"},
    {"Lentil soup", "<p><b>Lentil soup</b> (serves 4)</p>"
                    "<p>250 g red lentils, 1 onion, 2 carrots, 1 l stock, cumin, lemon.</p>"
                    "<p>Soften onion and carrot, add lentils and stock, simmer 25 minutes, "
                    "blend half. <u>Lemon juice at the end</u>.</p>"},
    {"Bike service checklist", "<p>Chain: clean and oil every 300 km.</p>"
                               "<p>Brakes: pads at 2 mm, cables.</p>"
                               "<p>Tyres: 4.5 bar front, 5 bar rear.</p>"},
    {"Trip to the coast", "<p><b>Saturday</b>: train 8:40, bring sandwiches.</p>"
                          "<p>Walk the cliff path to the lighthouse (6 km), back by bus.</p>"},
};
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vmr_demovault <file.pgs>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TPageList pages;
    for (const TSample& s : Samples) {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Calibri"), 11));
        doc.setHtml(QString::fromUtf8(s.Html));
        auto* p = KelNewCreated<TPage>();
        p->SetTitle(QString::fromUtf8(s.Title));
        p->SetText(WriteRtf(doc));
        pages.Add(p);
    }
    WriteVaultFile(QString::fromLocal8Bit(argv[1]), pages, pages.Count());
    pages.ClearAll();
    return 0;
}
