#include "app/qt/plot_pane.h"

#include "app/record_columns.h"
#include "app/tarvik_view.h"
#include "plot/qt/plot_chart.h"

#include <QChart>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QXYSeries>

namespace tarvik {

namespace {
// A press and release closer than this is a click, not a drag.
constexpr double kClickPixels = 4;
// A click selects a point at most this far away.
constexpr double kPickPixels = 12;
} // namespace

PlotChartView::PlotChartView(QWidget* parent) : QChartView(parent) {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
}

void PlotChartView::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->position();
    if (event->button() == Qt::RightButton) {
        panning_ = true;
        panFrom_ = event->position();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void PlotChartView::mouseMoveEvent(QMouseEvent* event) {
    if (panning_) {
        const QPointF d = event->position() - panFrom_;
        chart()->scroll(-d.x(), d.y());
        panFrom_ = event->position();
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void PlotChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_) {
        panning_ = false;
        event->accept();
        return;
    }
    const QPointF moved = event->position() - pressed_;
    if (event->button() == Qt::LeftButton && std::abs(moved.x()) + std::abs(moved.y()) < kClickPixels) {
        // A click: no zoom (the rubber band would zoom into nothing).
        event->accept();
        emit clicked(event->position());
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void PlotChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    chart()->zoomReset();
    event->accept();
}

void PlotChartView::wheelEvent(QWheelEvent* event) {
    const double factor = event->angleDelta().y() > 0 ? 1.25 : 0.8;
    QRectF area = chart()->plotArea();
    const QPointF at = event->position();
    area.setWidth(area.width() / factor);
    area.setHeight(area.height() / factor);
    area.moveCenter(at - (at - chart()->plotArea().center()) / factor);
    chart()->zoomIn(area);
    event->accept();
}

PlotPane::PlotPane(CMyTarvikView& view, QWidget* parent)
    : QWidget(parent), view_(view), expressions_(new QLineEdit(this)), axis_(new QComboBox(this)),
      problem_(new QLabel(this)), chart_(new PlotChartView(this)) {
    expressions_->setPlaceholderText("Series: fields or expressions, separated by commas (count, rate, 7027.number_of_detection_points)");
    axis_->addItem("Time", static_cast<int>(plot::Axis::Time));
    axis_->addItem("Ping", static_cast<int>(plot::Axis::Ping));
    auto* draw = new QPushButton("Plot", this);
    problem_->setStyleSheet("color: #b00020");
    problem_->setWordWrap(true);
    problem_->setFont(QFont("monospace"));
    problem_->hide();
    auto* row = new QHBoxLayout;
    row->addWidget(expressions_, 1);
    row->addWidget(axis_);
    row->addWidget(draw);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(row);
    layout->addWidget(problem_);
    layout->addWidget(chart_, 1);
    connect(expressions_, &QLineEdit::returnPressed, this, &PlotPane::replot);
    connect(draw, &QPushButton::clicked, this, &PlotPane::replot);
    connect(axis_, &QComboBox::activated, this, &PlotPane::replot);
    connect(chart_, &PlotChartView::clicked, this, [this](QPointF at) {
        if (const long long row = rowAt(at); row >= 0) view_.OnPlotPointClicked(static_cast<std::size_t>(row));
    });
}

bool PlotPane::plot(const QString& expressions, plot::Axis x) {
    expressions_->setText(expressions);
    axis_->setCurrentIndex(x == plot::Axis::Time ? 0 : 1);
    return replot();
}

bool PlotPane::replot() {
    const std::vector<std::string> y = RecordColumns::split(expressions_->text().toStdString());
    const auto x = static_cast<plot::Axis>(axis_->currentData().toInt());
    Result<plot::Plot> computed = y.empty() ? Result<plot::Plot>(failure("name a series: a field, an expression, count or rate"))
                                            : view_.plotShownRows(y, x);
    if (!computed) {
        problem_->setText(QString::fromStdString(computed.error()));
        problem_->show();
        return false;
    }
    problem_->hide();
    shown_ = std::move(*computed);
    QChart* old = chart_->chart();
    chart_->setChart(plot::makeChart(shown_));
    delete old;
    return true;
}

long long PlotPane::rowAt(QPointF position) const {
    QChart* chart = chart_->chart();
    const QPointF at = chart->mapFromScene(chart_->mapToScene(position.toPoint()));
    const QList<QAbstractSeries*> drawn = chart->series();
    std::optional<plot::Nearest> best;
    std::size_t bestSeries = 0;
    for (qsizetype i = 0; i < drawn.size() && static_cast<std::size_t>(i) < shown_.series.size(); ++i) {
        // Linear axes: two points give the series' value-to-pixel scale.
        const double scale = shown_.x == plot::Axis::Time ? 1000.0 : 1.0;
        const QPointF origin = chart->mapToPosition(QPointF(0, 0), drawn[i]);
        const QPointF unit = chart->mapToPosition(QPointF(scale, 1), drawn[i]);
        const double xPixel = std::abs(unit.x() - origin.x()), yPixel = std::abs(unit.y() - origin.y());
        if (!(xPixel > 0) || !(yPixel > 0)) continue;
        const QPointF value = chart->mapToValue(at, drawn[i]);
        const auto near = plot::nearestPoint(shown_.series[static_cast<std::size_t>(i)], value.x() / scale, value.y(),
                                             1 / xPixel, 1 / yPixel);
        if (near && (!best || near->distance < best->distance)) {
            best = near;
            bestSeries = static_cast<std::size_t>(i);
        }
    }
    if (!best || best->distance > kPickPixels * kPickPixels) return -1;
    return static_cast<long long>(shown_.series[bestSeries].points[best->point].row);
}

} // namespace tarvik
