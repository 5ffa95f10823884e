#pragma once
// The plot pane: series of record values over the rows the list shows,
// against time or ping number (Qt Charts). A rubber band zooms, dragging with
// the right button pans, the wheel zooms about the pointer, a double click
// shows the whole plot again, and a click selects the row of the nearest point.

#include "plot/plot_model.h"

#include <QChartView>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;

namespace tarvik {

class CMyTarvikView;

class PlotChartView : public QChartView {
    Q_OBJECT
public:
    explicit PlotChartView(QWidget* parent = nullptr);
signals:
    void clicked(QPointF position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QPointF pressed_;
    QPointF panFrom_;
    bool panning_ = false;
};

class PlotPane : public QWidget {
    Q_OBJECT
public:
    PlotPane(CMyTarvikView& view, QWidget* parent = nullptr);

    // Draws the series of the expressions box (field names or expressions,
    // separated by commas) over the rows shown now; false, with the reason
    // under the box, when it cannot.
    bool replot();
    // The same for `expressions`, put into the box first.
    bool plot(const QString& expressions, plot::Axis x = plot::Axis::Time);
    // The row of the point nearest to `position` (in the chart view's
    // coordinates), within a few pixels; -1 for none.
    long long rowAt(QPointF position) const;

    QLineEdit* expressions() const { return expressions_; }
    QComboBox* axis() const { return axis_; }
    QLabel* problem() const { return problem_; }
    PlotChartView* chartView() const { return chart_; }
    const plot::Plot& shown() const { return shown_; }

private:
    CMyTarvikView& view_;
    QLineEdit* expressions_;
    QComboBox* axis_;
    QLabel* problem_;
    PlotChartView* chart_;
    plot::Plot shown_;
};

} // namespace tarvik
