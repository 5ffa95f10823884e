#pragma once
// The sector display: our own component in place of an outside control. It
// shows what a CVelkSector was last given as a fan, coloured through the
// echogram's colour map, with range rings and angle labels (drawn by the same
// renderer as tarvik-cli's pictures). While it has no record's picture it
// says what fills it; the start-up test picture is captioned as such.

#include "imagery/sector.h"
#include "imagery/sector_render.h"

#include <QWidget>

namespace tarvik {

class CSectorWidget : public QWidget {
    Q_OBJECT
public:
    explicit CSectorWidget(QWidget* parent = nullptr);

    // The component whose picture is shown and the colours to use; both outlive the widget's use.
    void attach(const CVelkSector* sector, const EchogramImage* colours);
    // The fan as last painted (for tests and the offscreen picture).
    const RgbaImage& frame() const { return frame_; }
    const SectorLayout& layout() const { return renderer_.layout(); }

    QSize sizeHint() const override { return {300, 220}; }
    // The text shown over the picture: what fills the pane, or nothing once a record is drawn.
    QString caption() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CVelkSector* sector_ = nullptr;
    const EchogramImage* colours_ = nullptr;
    SectorRenderer renderer_;
    RgbaImage frame_;
};

} // namespace tarvik
