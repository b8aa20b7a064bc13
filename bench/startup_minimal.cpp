// The yardstick of start-up: a minimal Qt Widgets program showing one window.

#include "StartupProbe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const TFirstPaintProbe probe("QWidget");
    QWidget w;
    w.resize(400, 300);
    w.show();
    return app.exec();
}
