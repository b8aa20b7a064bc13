// The program's own start, as its main runs it, until the unlock window
// first paints.

#include "Application.h"
#include "StartupProbe.h"
#include "vmr_main.h"

int main(int argc, char** argv) {
    Q_INIT_RESOURCE(assets);
    TApplication app(argc, argv);
    const TFirstPaintProbe probe("TVMRSplash");
    TApplication::SetTitle(QStringLiteral("Vellomar "));
    TTPagesMain main;
    return 1; // the unlock window never painted
}
