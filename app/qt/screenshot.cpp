#include "app/qt/screenshot.h"

#include <QEvent>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace tarvik {

namespace {
constexpr int kPollMs = 25;
constexpr int kGiveUpPolls = 400;  // ten seconds
} // namespace

WindowScreenshot::WindowScreenshot(QWidget& window, QWidget& painted, QString path)
    : QObject(&window), window_(window), painted_(painted), path_(std::move(path)) {
    painted_.installEventFilter(this);
    QTimer::singleShot(kPollMs, this, &WindowScreenshot::poll);
}

bool WindowScreenshot::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &painted_ && event->type() == QEvent::Paint) childPainted_ = true;
    return false;
}

void WindowScreenshot::poll() {
    const bool exposed = window_.windowHandle() && window_.windowHandle()->isExposed();
    if (exposed && childPainted_) {
        // One more turn of the event loop lets pending paints of other widgets land.
        QTimer::singleShot(kPollMs, this, &WindowScreenshot::save);
        return;
    }
    if (++polls_ >= kGiveUpPolls) {
        std::fprintf(stderr, "tarvik: the window was not painted; no screenshot taken\n");
        emit done(false);
        return;
    }
    QTimer::singleShot(kPollMs, this, &WindowScreenshot::poll);
}

void WindowScreenshot::save() {
    if (saving_) return;
    saving_ = true;
    const QPixmap picture = window_.grab();
    const bool ok = !picture.isNull() && picture.save(path_);
    if (!ok) std::fprintf(stderr, "tarvik: could not save the screenshot to %s\n", qPrintable(path_));
    emit done(ok);
}

} // namespace tarvik
