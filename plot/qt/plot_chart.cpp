#include "plot/qt/plot_chart.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <map>

namespace tarvik::plot {

QChart* makeChart(const Plot& plot, std::size_t maxDrawn) {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    QAbstractAxis* xAxis = nullptr;
    double low = INFINITY, high = -INFINITY;
    for (const Series& s : plot.series)
        for (const Point& p : s.points) {
            low = std::min(low, p.x);
            high = std::max(high, p.x);
        }
    if (plot.x == Axis::Time) {
        auto* axis = new QDateTimeAxis;
        const bool short_ = std::isfinite(low) && high - low < 86400;
        axis->setFormat(short_ ? "HH:mm:ss" : "yyyy-MM-dd HH:mm");
        axis->setTitleText("Time");
        xAxis = axis;
    } else {
        auto* axis = new QValueAxis;
        axis->setLabelFormat("%.0f");
        axis->setTitleText("Ping number");
        xAxis = axis;
    }
    chart->addAxis(xAxis, Qt::AlignBottom);
    // One value axis per unit, left then right, over the values of its series.
    std::map<std::string, QValueAxis*> yAxes;
    std::map<QValueAxis*, std::pair<double, double>> yRanges;
    for (const Series& s : plot.series) {
        const std::string unit = s.name == kRateSeries ? "records/s" : s.name == kCountSeries ? "records" : s.unit;
        QValueAxis*& axis = yAxes[unit];
        if (!axis) {
            axis = new QValueAxis;
            axis->setTitleText(QString::fromStdString(unit));
            chart->addAxis(axis, yAxes.size() % 2 == 1 ? Qt::AlignLeft : Qt::AlignRight);
        }
        // Records of one ping with many values (a repeated field): points, not a line.
        bool repeatedX = false;
        for (std::size_t i = 1; i < s.points.size() && !repeatedX; ++i) repeatedX = s.points[i].x == s.points[i - 1].x;
        QXYSeries* series = nullptr;
        if (repeatedX) {
            auto* scatter = new QScatterSeries;
            scatter->setMarkerSize(4);
            scatter->setPen(Qt::NoPen);
            series = scatter;
        } else {
            series = new QLineSeries;
        }
        series->setName(QString::fromStdString(s.name + (s.truncated ? " (cut short)" : "")));
        // Many points: each run of `step` points is drawn as its lowest and
        // highest, in their order, so that no spike is lost.
        QList<QPointF> points;
        const double xScale = plot.x == Axis::Time ? 1000.0 : 1.0;
        auto at = [&](const Point& p) { return QPointF(p.x * xScale, p.y); };
        const std::size_t runs = std::max<std::size_t>(maxDrawn / 2, 1);
        if (s.points.size() <= maxDrawn) {
            points.reserve(static_cast<qsizetype>(s.points.size()));
            for (const Point& p : s.points) points.append(at(p));
        } else {
            const std::size_t step = (s.points.size() + runs - 1) / runs;
            points.reserve(static_cast<qsizetype>(2 * runs));
            for (std::size_t first = 0; first < s.points.size(); first += step) {
                const std::size_t end = std::min(first + step, s.points.size());
                std::size_t low = first, high = first;
                for (std::size_t i = first; i < end; ++i) {
                    if (s.points[i].y < s.points[low].y) low = i;
                    if (s.points[i].y > s.points[high].y) high = i;
                }
                points.append(at(s.points[std::min(low, high)]));
                if (low != high) points.append(at(s.points[std::max(low, high)]));
            }
        }
        series->replace(points);
        auto [range, added] = yRanges.try_emplace(axis, INFINITY, -INFINITY);
        for (const Point& p : s.points) {
            range->second.first = std::min(range->second.first, p.y);
            range->second.second = std::max(range->second.second, p.y);
        }
        chart->addSeries(series);
        series->attachAxis(xAxis);
        series->attachAxis(axis);
    }
    for (auto& [axis, range] : yRanges) {
        auto [bottom, top] = range;
        if (!std::isfinite(bottom)) continue;
        if (top == bottom) {
            bottom -= 1;
            top += 1;
        }
        const double pad = (top - bottom) / 20;
        axis->setRange(bottom >= 0 && bottom - pad < 0 ? 0 : bottom - pad, top + pad);
        axis->applyNiceNumbers();
    }
    if (std::isfinite(low)) {
        if (high == low) high = low + 1;
        if (plot.x == Axis::Time)
            static_cast<QDateTimeAxis*>(xAxis)->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(low * 1000), Qt::UTC),
                                                         QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(high * 1000), Qt::UTC));
        else
            xAxis->setRange(low, high);
    }
    return chart;
}

} // namespace tarvik::plot
