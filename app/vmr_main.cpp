#include "vmr_main.h"

#include "Application.h"
#include "FormScale.h"
#include "MessageBox.h"
#include "SettingsStore.h"
#include "kel_osutils.h"
#include "vmr_splash.h"
#include "vmr_utils.h"

QString ProductVersion() {
    return GetVersionInfoValue(QCoreApplication::applicationFilePath(),
                               QStringLiteral("ProductVersion"));
}

TTPagesMain::TTPagesMain(QWidget* Parent) : QWidget(Parent) {
    const TFormScaler sc(240);
    setObjectName(QStringLiteral("TPagesMain"));
    setWindowTitle(QStringLiteral("Pages"));
    setFont(sc.Font(QStringLiteral("Tahoma"), 33));
    resize(sc.Size(2330, 1250));
    RunGuarded([this] { FormCreate(); });
}

void TTPagesMain::FormCreate() {
    if (!Splash()) {
        TApplication::Halt(1);
        return;
    }
    setWindowTitle(QStringLiteral("VMR v ") + ProductVersion());
    CenterOnScreen(this);
}

bool TTPagesMain::Splash() {
    TVMRSplash splash(this);
    return splash.ShowModal() == 1;
}

void TTPagesMain::SaveSettings() {
    auto store = OpenCurrentUserStore();
    WriteStoredCryptString(*store);
}
