#pragma once
// The program's own icon, from the PNG sizes rendered from assets/vellomar.svg.

#include <QIcon>

// The icon sizes, in pixels, that the resources hold.
inline constexpr int AppIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QIcon AppIcon();

// Makes the icon every window's icon, and names the desktop entry that
// belongs to the program ("vellomar.desktop").
void InstallAppIcon();
