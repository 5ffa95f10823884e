#pragma once
// CRoundSliderCtrl: a circular slider. A knob travels round the rim of a dial and
// shows an angle-like value (0 to 359 by default, drawn in the middle as "%ld°").
// It keeps its value in the slider's own position and range and reports changes
// with the codes a horizontal slider sends to its parent (scrollNotified), so code
// written for a linear slider can use it unchanged.

#include "ctlkit/ctlkit_export.h"

#include <QAbstractSlider>
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>

#include <cstdint>

namespace Nerith::Windows::Controls {

// A 24-bit colour: red in the low byte, green in the middle byte, blue in the high byte.
using ColorValue = std::uint32_t;

class CTLKIT_EXPORT CRoundSliderCtrl : public QAbstractSlider {
    Q_OBJECT
public:
    // Codes of scrollNotified, the same numbers a horizontal slider uses.
    enum ScrollCode : int {
        LineLeft = 0,
        LineRight = 1,
        PageLeft = 2,
        PageRight = 3,
        ThumbPosition = 4,
        ThumbTrack = 5,
        EndScroll = 8,
    };

    explicit CRoundSliderCtrl(QWidget* parent = nullptr);
    ~CRoundSliderCtrl() override;

    virtual void SetKnobRadius(int radius);  // pixels; negative values are refused
    virtual int GetKnobRadius() const;
    virtual void SetDragByKnobOnly(bool on);
    virtual bool GetDragByKnobOnly() const;
    virtual void SetZero(int degrees);  // angle of the minimum, 0 = top, clockwise
    virtual int GetZero() const;
    virtual bool SetRadius(int percent);  // 0..100 of the maximum radius; others are refused
    virtual int GetRadius() const;        // percent of the maximum radius, rounded
    virtual void SetInverted(bool on);
    virtual bool GetInverted() const;
    virtual void SetRadioButtonStyle(bool on);
    virtual bool GetRadioButtonStyle() const;
    virtual void SetFixedRadius(bool on);
    virtual bool GetFixedRadius() const;
    virtual void SetShowCrossHair(bool on);
    virtual bool GetShowCrossHair() const;
    virtual void SetShowText(bool on);
    virtual bool GetShowText() const;
    virtual void SetShowSector(bool on);
    virtual void SetShowColorKnob(bool on);
    virtual void SetStartSector(int degrees, ColorValue colour);
    virtual void SetEndSector(int degrees, ColorValue colour);
    virtual void SetStartLimit(int degrees);
    virtual void SetEndLimit(int degrees);
    // Format of the centre text, given the current position. One integer
    // conversion (%ld, %d, %i, %u, %x, %o with flags and width) takes the value,
    // "%%" is a percent sign; anything else is shown as written.
    virtual void SetText(const QString& format);
    virtual QString GetText() const;
    virtual void SetDialColor(ColorValue colour);
    virtual void SetKnobColor(ColorValue colour);
    virtual void SetTextColor(ColorValue colour);
    virtual void SetFontBold(bool on);
    virtual void SetFontUnderline(bool on);
    virtual void SetFontItalic(bool on);
    virtual void SetFontSize(int size);  // character height in pixels
    virtual void SetFontName(const QString& face);

    // The centre text's font as it is drawn.
    QFont GetFont() const;
    // The classic packed form of a notification: position in the high 16 bits,
    // code in the low 16 bits.
    static std::uint32_t ScrollParameter(int code, int position);
    static QColor ToColor(ColorValue colour);

signals:
    void scrollNotified(int code, int position);

protected:
    // Recomputes the geometry from the widget's size: the dial fills the square at
    // the top-left corner whose side is the smaller of width and height, and the
    // widget is clipped to the circle inscribed in that square.
    virtual void Init();
    virtual void ReconstructFont();
    virtual QString OnFormatText();
    // Moves the value to the position under a point; true when it changed.
    virtual bool SetKnob(const QPoint& point);
    virtual void PostMessageToParent(int code);

    // Geometry, in logical pixels of the widget.
    QPoint GetCentre() const;
    int GetMaxRadius() const;
    int GetRadiusPixels() const;
    QPoint GetKnobCentre() const;  // where the knob is for the current value
    bool IsDragging() const { return dragging_; }
    // Degrees clockwise from the top at which a position sits, in [0, 360).
    int AngleOfPosition(int position) const;
    QPoint PointOfAngle(double degrees, int radius) const;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int KnobPathRadius() const;
    // Runs Init when the size has changed since it last ran. A hidden widget
    // gets its resize event only when it is shown, but its geometry must follow
    // its size at once.
    void SyncGeometry() const;

    QSize initSize_{-1, -1};
    QPoint centre_;
    QPoint knobCentre_;
    int radius_ = 0;
    int maxRadius_ = 0;
    int startSector_ = 0;
    int endSector_ = 0;
    int startLimit_ = 0;
    int endLimit_ = 0;
    int zero_ = 0;
    bool inverted_ = false;
    QString text_;
    int knobRadius_ = 7;
    bool showColorKnob_ = false;
    bool dragging_ = false;
    bool dragByKnobOnly_ = false;
    bool valueChanged_ = false;
    bool radioButtonStyle_ = false;
    bool fixedRadius_ = true;
    bool showCrossHair_ = false;
    bool showSector_ = false;
    bool showText_ = true;
    QColor startSectorColour_;
    QColor endSectorColour_;
    QFont fontDescription_;
    QFont font_;
    QColor textColour_;
    QBrush knobBrush_;
    QBrush dialBrush_;
};

} // namespace Nerith::Windows::Controls
