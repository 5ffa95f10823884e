// The module tarvik-cli opens to draw a plot into a picture file: Qt Charts on
// the offscreen platform, loaded only by the command that plots, so that no
// other command maps Qt.

#include "plot/plot_render.h"
#include "plot/qt/plot_chart.h"

#include <QApplication>
#include <QChart>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The platform's notes (no runtime folder, fonts) are no concern of a picture.
void quiet(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
}

QApplication& application() {
    // No display is needed, nor used when there is one.
    static int argc = 1;
    static char name[] = "tarvik-cli";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    static QApplication app(argc, argv);
    return app;
}

thread_local std::string lastError;

} // namespace

extern "C" __attribute__((visibility("default"))) const char* tarvik_render_plot(const tarvik::plot::Plot* plot,
                                                                                   const tarvik::plot::RenderRequest* request) {
    (void)application();
    std::unique_ptr<QChart> chart(tarvik::plot::makeChart(*plot));
    chart->setTitle(QString::fromStdString(request->title));
    const QSize size(request->width, request->height);
    chart->resize(size);
    QGraphicsScene scene;
    scene.addItem(chart.get());
    scene.setSceneRect(QRectF(QPointF(0, 0), size));
    // The chart lays out its axes and series in events of its own.
    QApplication::processEvents();
    const QString path = QString::fromStdString(request->temporaryPath);
    bool ok = false;
    if (request->svg) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QString::fromStdString(request->title));
        QPainter painter;
        ok = painter.begin(&svg);
        if (ok) {
            scene.render(&painter);
            ok = painter.end();
        }
    } else {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter);
        painter.end();
        ok = image.save(path, "PNG");
    }
    scene.removeItem(chart.get());
    if (!ok) {
        lastError = "the picture could not be written";
        return lastError.c_str();
    }
    return nullptr;
}
