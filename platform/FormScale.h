#pragma once
// Scales a form's design values from the resolution it was drawn at (240 or 96
// pixels per inch) to the screen's.

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

class TFormScaler {
public:
    // Scales to the primary screen's logical resolution.
    explicit TFormScaler(int DesignPpi);
    TFormScaler(int DesignPpi, int ScreenPpi);

    int DesignPpi() const { return FDesignPpi; }
    int ScreenPpi() const { return FScreenPpi; }

    // One design value, rounded to the nearest pixel, halves away from zero.
    int S(int Value) const;
    QRect Rect(int Left, int Top, int Width, int Height) const;
    QSize Size(int Width, int Height) const;
    void Place(QWidget* Control, int Left, int Top, int Width, int Height) const;
    // A font whose character height is HeightPx design pixels.
    QFont Font(const QString& Family, int HeightPx) const;

private:
    int FDesignPpi;
    int FScreenPpi;
};

// The logical resolution of the primary screen (96 when there is none).
int ScreenPpi();

// Moves a window so that it stands in the middle of the primary screen.
void CenterOnScreen(QWidget* Window);
