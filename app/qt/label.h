#pragma once
// A label with its own colours, an optional horizontal gradient, flashing text
// or background, 3-D text and links that open a target or notify the parent.

#include <QColor>
#include <QLabel>
#include <QTimer>

namespace tarvik {

class CLabel : public QLabel {
    Q_OBJECT
public:
    enum class Flash { None, Text, Background };
    enum class Link { None, Open, Mail };
    enum class Raised { None, DownRight, UpLeft };

    explicit CLabel(const QString& text = {}, QWidget* parent = nullptr);

    void setTextColour(const QColor& colour);
    void setBackgroundColour(const QColor& colour);
    // A horizontal gradient of 100 bands from `from` to `to`; an invalid `from` turns it off.
    void setGradient(const QColor& from, const QColor& to);
    // Flashing toggles its phase every 500 ms; Flash::None stops the timer.
    void setFlash(Flash mode);
    void set3DText(Raised raised, const QColor& colour = Qt::white);
    void setLink(Link mode, const QString& target = {});
    // A click on a link sends `clicked` to the parent instead of following the link.
    void setNotifyParent(bool on) { notify_ = on; }
    void setLinkCursor(const QCursor& cursor);

    Flash flash() const { return flash_; }
    bool flashPhase() const { return phase_; }
    bool flashTimerActive() const { return flashTimer_.isActive(); }
    static constexpr int kFlashPeriodMs = 500;
    // The address a click opens ("mailto:" prefixed for mail links); empty when not a link.
    QString linkAddress() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void onFlashTick();

    QColor textColour_;
    QColor backgroundColour_;
    QColor gradientFrom_, gradientTo_;
    Flash flash_ = Flash::None;
    bool phase_ = false;
    QTimer flashTimer_;
    Raised raised_ = Raised::None;
    QColor raisedColour_;
    Link link_ = Link::None;
    QString linkTarget_;
    bool notify_ = false;
};

} // namespace tarvik
