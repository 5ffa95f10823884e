#pragma once
// Screen2Bmp: saves a rectangle of a widget as an image file.

#include "ctlkit/ctlkit_export.h"

#include <QRect>
#include <QString>

class QWidget;

namespace Nerith::Windows::Utils {

// Saves the pixels of rect (in the widget's own coordinates; clipped to the
// widget) to path. The image format is the one QImageWriter offers for the
// path's extension, compared without regard to case. Nothing is written when
// there is no widget, the rectangle holds no pixel of the widget, or no format
// matches the extension. Callers that do not care may ignore the result; it is
// true only when the file was written.
CTLKIT_EXPORT bool Screen2Bmp(QWidget* widget, const QRect& rect, const QString& path);

} // namespace Nerith::Windows::Utils
