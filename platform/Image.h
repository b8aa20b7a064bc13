#pragma once
// An image control: a picture stretched over the control, drawn with its
// transparency, that reports mouse presses.

#include <QPixmap>
#include <QWidget>
#include <functional>

class TImage : public QWidget {
public:
    explicit TImage(QWidget* Parent = nullptr);

    void SetPicture(const QPixmap& Picture);
    const QPixmap& Picture() const { return FPicture; }
    // The picture as drawn at the control's current size.
    QPixmap StretchedPicture() const;

    // Any mouse button pressed over the control, in its client coordinates.
    std::function<void(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>
        OnMouseDown;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* Event) override;

private:
    QPixmap FPicture;
};
