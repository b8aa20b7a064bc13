// Program entry.

#include "Application.h"
#include "CoreDumps.h"
#include "vmr_icon.h"
#include "vmr_main.h"

int main(int argc, char** argv) {
    DisableCoreDumps();
    Q_INIT_RESOURCE(assets);
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Vellomar "));
    InstallAppIcon();
    TTPagesMain main;
    if (TApplication::Halted())
        return TApplication::HaltCode();
    main.show();
    const int rc = app.exec();
    return TApplication::Halted() ? TApplication::HaltCode() : rc;
}
