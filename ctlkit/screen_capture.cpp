#include "ctlkit/screen_capture.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPixmap>
#include <QWidget>

namespace Nerith::Windows::Utils {

namespace {

// The writer format whose name is the extension, ignoring case; empty when none.
QByteArray formatForExtension(const QString& path) {
    const QByteArray extension = QFileInfo(path).suffix().toLower().toLatin1();
    if (extension.isEmpty()) return {};
    for (const QByteArray& format : QImageWriter::supportedImageFormats())
        if (format.toLower() == extension) return format;
    return {};
}

} // namespace

bool Screen2Bmp(QWidget* widget, const QRect& rect, const QString& path) {
    if (!widget) return false;
    const QByteArray format = formatForExtension(path);
    if (format.isEmpty()) return false;
    // An empty rectangle would make grab() take the whole widget: refuse it here.
    const QRect area = rect.intersected(widget->rect());
    if (rect.isEmpty() || area.isEmpty()) return false;
    const QPixmap pixels = widget->grab(area);
    if (pixels.isNull()) return false;
    QImageWriter writer(path, format);
    return writer.write(pixels.toImage());
}

} // namespace Nerith::Windows::Utils
