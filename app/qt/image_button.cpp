#include "app/qt/image_button.h"

#include <QPainter>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

namespace tarvik {

CImageButton::CImageButton(QWidget* parent) : QPushButton(parent) {}

bool CImageButton::loadImage(const QString& path) {
    QImage loaded;
    if (!loaded.load(path)) return false;
    setImage(loaded);
    return true;
}

void CImageButton::setImage(const QImage& image) {
    image_ = image;
    update();
}

void CImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect face = rect();
    if (!image_.isNull()) painter.drawImage(face.adjusted(2, 2, -2, -2), image_);
    else painter.fillRect(face, palette().button());
    qDrawShadePanel(&painter, face, palette(), isDown(), 2);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = face.adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

} // namespace tarvik
