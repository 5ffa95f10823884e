#pragma once
// A push button that paints an image stretched over its face, an edge around
// it and a focus rectangle when it has the focus.

#include <QImage>
#include <QPushButton>

namespace tarvik {

class CImageButton : public QPushButton {
    Q_OBJECT
public:
    explicit CImageButton(QWidget* parent = nullptr);
    // False when the file could not be loaded (the face stays as it was).
    bool loadImage(const QString& path);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

} // namespace tarvik
