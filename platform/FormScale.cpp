#include "FormScale.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

int ScreenPpi() {
    if (QScreen* s = QGuiApplication::primaryScreen())
        return qRound(s->logicalDotsPerInch());
    return 96;
}

TFormScaler::TFormScaler(int DesignPpi) : TFormScaler(DesignPpi, ::ScreenPpi()) {}

TFormScaler::TFormScaler(int DesignPpi, int ScreenPpi)
    : FDesignPpi(DesignPpi > 0 ? DesignPpi : 96), FScreenPpi(ScreenPpi > 0 ? ScreenPpi : 96) {}

int TFormScaler::S(int Value) const {
    const long long p = static_cast<long long>(Value) * FScreenPpi;
    const long long half = FDesignPpi / 2;
    return static_cast<int>(p >= 0 ? (p + half) / FDesignPpi : -((-p + half) / FDesignPpi));
}

QRect TFormScaler::Rect(int Left, int Top, int Width, int Height) const {
    return QRect(S(Left), S(Top), S(Width), S(Height));
}

QSize TFormScaler::Size(int Width, int Height) const {
    return QSize(S(Width), S(Height));
}

void TFormScaler::Place(QWidget* Control, int Left, int Top, int Width, int Height) const {
    Control->setGeometry(Rect(Left, Top, Width, Height));
}

QFont TFormScaler::Font(const QString& Family, int HeightPx) const {
    QFont f(Family);
    f.setPixelSize(std::max(1, S(HeightPx)));
    return f;
}

void CenterOnScreen(QWidget* Window) {
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), Window->size());
        frame.moveCenter(s->availableGeometry().center());
        Window->move(frame.topLeft());
    }
}
