#pragma once
// Saves a picture of a window once it has been shown and painted.

#include <QObject>
#include <QString>

class QWidget;

namespace tarvik {

class WindowScreenshot : public QObject {
    Q_OBJECT
public:
    // Watches `window` (and `painted`, a child that must have painted too) and
    // saves the picture to `path` once both are on screen.
    WindowScreenshot(QWidget& window, QWidget& painted, QString path);

signals:
    // ok is false when the picture could not be saved or the window never showed.
    void done(bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void poll();
    void save();

    QWidget& window_;
    QWidget& painted_;
    QString path_;
    bool childPainted_ = false;
    bool saving_ = false;
    int polls_ = 0;
};

} // namespace tarvik
