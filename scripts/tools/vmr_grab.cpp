// vmr_grab <window id | root> <file.png>
// Saves what the display shows of a window (or of the whole screen) as a
// PNG, in the screen's own pixels.

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vmr_grab <window id | root> <file.png>\n");
        return 2;
    }
    // Pixels as they are, whatever scale the programs under test were given.
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "vmr_grab: no screen\n");
        return 1;
    }
    const QByteArray which(argv[1]);
    bool ok = true;
    const WId window = which == "root" ? 0 : QByteArray(argv[1]).toULongLong(&ok, 0);
    if (!ok) {
        std::fprintf(stderr, "vmr_grab: not a window id: %s\n", argv[1]);
        return 2;
    }
    const QPixmap shot = screen->grabWindow(window);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "vmr_grab: could not grab or save\n");
        return 1;
    }
    return 0;
}
