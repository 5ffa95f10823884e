#include "plot/plot_model.h"

#include "core/file_window.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "core/record_index.h"
#include "expr/expression.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvik::plot {

std::optional<Axis> axisNamed(std::string_view name) {
    if (name == "time") return Axis::Time;
    if (name == "ping") return Axis::Ping;
    return std::nullopt;
}

const char* axisName(Axis axis) { return axis == Axis::Time ? "time" : "ping"; }

Result<PlotModel> PlotModel::compile(const std::vector<std::string>& y, Axis x, const LayoutCatalogue& catalogue) {
    if (y.empty()) return failure("a plot needs at least one series");
    if (y.size() > kMaxSeries) return failure("a plot shows at most " + std::to_string(kMaxSeries) + " series");
    PlotModel model;
    model.axis_ = x;
    model.names_ = std::make_shared<const expr::FieldNames>(catalogue);
    for (const expr::FieldInfo& f : model.names_->all())
        if (f.source == expr::FieldSource::Layout && f.name.ends_with(".ping_number") &&
            std::find(model.pingTypes_.begin(), model.pingTypes_.end(), f.recordType) == model.pingTypes_.end())
            model.pingTypes_.push_back(f.recordType);
    for (const std::string& text : y) {
        Entry e;
        e.name = text;
        if (text == kCountSeries || text == kRateSeries) {
            e.rate = text == kRateSeries;
            model.series_.push_back(std::move(e));
            continue;
        }
        auto value = expr::ValueExpression::compile(text, model.names_);
        if (!value) return failure("series \"" + text + "\": " + value.error());
        const expr::Expression& ex = (*value)->expression();
        if ((*value)->type() == expr::ValueType::Text)
            return failure("series \"" + text + "\": a plot needs numbers or tests, not texts");
        for (const expr::FieldInfo* f : ex.fields())
            if (f->source == expr::FieldSource::Layout &&
                std::find(e.types.begin(), e.types.end(), f->recordType) == e.types.end())
                e.types.push_back(f->recordType);
        if (ex.root().kind == expr::Node::Kind::Field) e.unit = ex.fields()[static_cast<std::size_t>(ex.root().slot)]->unit;
        e.value = *value;
        model.series_.push_back(std::move(e));
    }
    return model;
}

Plot PlotModel::compute(const IndexedRecordSource& source, const RecordFilter* filter,
                        const std::function<bool(std::size_t, std::size_t)>& progress) const {
    if (filter && filter->showsEverything()) filter = nullptr;
    Plot plot;
    plot.x = axis_;
    for (const Entry& e : series_) plot.series.push_back({e.name, e.unit, {}, false});
    auto add = [&](std::size_t s, Point p) {
        Series& series = plot.series[s];
        if (series.points.size() >= kMaxPointsPerSeries) {
            series.truncated = true;
            return;
        }
        series.points.push_back(p);
    };

    // Frames are read only for the series (and the axis) that need them.
    bool anyHeaderOnly = false, anyBuiltIn = false, anyContext = false;
    for (const Entry& e : series_) {
        anyHeaderOnly = anyHeaderOnly || (e.value && e.types.empty());
        anyBuiltIn = anyBuiltIn || !e.value;
        if (e.value)
            for (const expr::FieldInfo* f : e.value->expression().fields())
                anyContext = anyContext || f->source == expr::FieldSource::Context;
    }
    // Records of a type no series reads, when no series counts records, are passed by.
    const bool everyRecord = anyBuiltIn || anyHeaderOnly;
    auto needsFrame = [&](std::uint32_t type) {
        if (axis_ == Axis::Ping || anyHeaderOnly) return true;
        for (const Entry& e : series_)
            if (e.value && std::find(e.types.begin(), e.types.end(), type) != e.types.end()) return true;
        return false;
    };
    auto readByASeries = [&](std::uint32_t type) {
        for (const Entry& e : series_)
            if (e.value && std::find(e.types.begin(), e.types.end(), type) != e.types.end()) return true;
        return false;
    };
    auto isPingType = [&](std::uint32_t type) {
        return std::find(pingTypes_.begin(), pingTypes_.end(), type) != pingTypes_.end();
    };

    // Frames of a record file are read in file order through one window rather
    // than one read each (a capture's frames are read one by one), the next
    // stretch read on a second thread while the series take their values.
    const RecordFile* file = source.frameFile();
    std::unique_ptr<FileWindow> window;
    if (file && file->isOpen()) window = std::make_unique<FileWindow>(*file, file->size(), true);
    Bytes held;
    const std::size_t rows = source.rowCount();
    std::size_t count = 0;
    // The rate: records per whole second of their time stamps.
    double bin = std::numeric_limits<double>::quiet_NaN();
    Point binPoint;
    auto closeBin = [&] {
        if (std::isnan(bin)) return;
        for (std::size_t s = 0; s < series_.size(); ++s)
            if (series_[s].rate) add(s, binPoint);
    };
    std::vector<expr::Value> values;
    for (std::size_t row = 0; row < rows; ++row) {
        if (progress && (row & 0xffff) == 0 && !progress(row, rows)) break;
        const std::optional<std::size_t> position = source.rowFrame(row);
        if (!position) continue;
        const RecordIndexEntry& entry = source.index()[*position];
        std::uint32_t type = entry.recordType();
        if (!everyRecord && !readByASeries(type)) continue;
        if (filter && !filter->passesType(type)) continue;
        const double seconds = expr::epochSeconds(entry.time());
        const bool judged = filter && !filter->byTypeOnly();
        ByteSpan frame;
        if (judged || needsFrame(type) || (axis_ == Axis::Ping && isPingType(type))) {
            if (window) {
                frame = window->view(entry.offset(), entry.size());
            } else {
                held = source.readFrame(*position);
                frame = held;
            }
            const FrameView view(frame);
            if (!view.isFrame()) continue;
            type = view.recordType();
        }
        // Where a capture saw the record: for the filter and for series that name it.
        const std::optional<RecordOrigin> origin = judged || anyContext ? source.rowOrigin(row) : std::nullopt;
        const RecordContext context{source.rowRecordNumber(row), origin ? &*origin : nullptr};
        if (judged && !filter->passes(frame, context)) continue;
        ++plot.rows;
        double x = seconds;
        if (axis_ == Axis::Ping) {
            if (!isPingType(type)) continue;
            const std::optional<std::uint32_t> ping = pingNumberOf(frame);
            if (!ping) continue;
            x = *ping;
        }
        ++count;
        const double second = std::floor(seconds);
        if (second != bin) {
            closeBin();
            bin = second;
            binPoint = {axis_ == Axis::Time ? second : x, 0, row};
        }
        binPoint.y += 1;
        for (std::size_t s = 0; s < series_.size(); ++s) {
            const Entry& e = series_[s];
            if (!e.value) {
                if (!e.rate) add(s, {x, static_cast<double>(count), row});
                continue;
            }
            if (!e.types.empty() && std::find(e.types.begin(), e.types.end(), type) == e.types.end()) continue;
            values = e.value->values(frame, context);
            for (const expr::Value& v : values) {
                const double y = v.type == expr::ValueType::Bool ? (v.truth ? 1.0 : 0.0) : v.number;
                if (std::isfinite(y)) add(s, {x, y, row});
            }
        }
    }
    closeBin();
    return plot;
}

std::optional<Nearest> nearestPoint(const Series& series, double x, double y, double xScale, double yScale) {
    std::optional<Nearest> best;
    if (!(xScale > 0) || !(yScale > 0)) return best;
    for (std::size_t i = 0; i < series.points.size(); ++i) {
        const Point& p = series.points[i];
        const double dx = (p.x - x) / xScale, dy = (p.y - y) / yScale;
        const double d = dx * dx + dy * dy;
        if (!best || d < best->distance) best = Nearest{i, d};
    }
    return best;
}

} // namespace tarvik::plot
