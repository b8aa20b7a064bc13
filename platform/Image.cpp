#include "Image.h"

#include "MessageBox.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* Parent) : QWidget(Parent) {}

void TImage::SetPicture(const QPixmap& Picture) {
    FPicture = Picture;
    update();
}

QPixmap TImage::StretchedPicture() const {
    if (FPicture.isNull() || size().isEmpty())
        return {};
    return FPicture.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Qt's painting only: no handler of ours runs here.
void TImage::paintEvent(QPaintEvent*) {
    if (FPicture.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(rect(), FPicture);
}

void TImage::mousePressEvent(QMouseEvent* Event) {
    if (OnMouseDown) {
        const QPoint pos = Event->position().toPoint();
        RunGuarded([&] { OnMouseDown(Event->button(), Event->modifiers(), pos.x(), pos.y()); });
    }
    Event->accept();
}
