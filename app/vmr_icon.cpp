#include "vmr_icon.h"

#include <QApplication>

QIcon AppIcon() {
    QIcon icon;
    for (int size : AppIconSizes)
        icon.addFile(QStringLiteral(":/icons/vellomar-%1.png").arg(size), QSize(size, size));
    return icon;
}

void InstallAppIcon() {
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("vellomar"));
}
