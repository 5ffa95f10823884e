#pragma once
// Plots of record values: one series of (x, y) points per value expression,
// against the records' time or ping number, plus the built-in series "count"
// (the records listed so far) and "rate" (records per second). Computed from
// the rows a source lists, so its filter decides which records take part.
// Qt-free: `tarvik-cli plot`, the window's plot pane and the Python module
// draw what this computes.

#include "core/record_filter.h"
#include "core/record_source.h"
#include "core/result.h"
#include "decode/layout.h"
#include "expr/value.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::plot {

enum class Axis { Time, Ping };
// "time" or "ping"; nullopt for anything else.
std::optional<Axis> axisNamed(std::string_view name);
const char* axisName(Axis axis);

// The built-in series.
inline constexpr std::string_view kCountSeries = "count";
inline constexpr std::string_view kRateSeries = "rate";

// A series keeps at most this many points (a repeated field over a long
// file would make hundreds of millions); `truncated` says when it stopped.
inline constexpr std::size_t kMaxPointsPerSeries = 4'000'000;
// At most this many series in one plot.
inline constexpr std::size_t kMaxSeries = 16;

struct Point {
    double x = 0;      // seconds since 1970 (UTC), or the ping number
    double y = 0;
    std::size_t row = 0;  // the row of the source's list the point comes from
};

struct Series {
    std::string name;   // the expression as given, or "count" / "rate"
    std::string unit;   // of a field alone ("Hz", "deg"), else empty
    std::vector<Point> points;
    bool truncated = false;
};

struct Plot {
    Axis x = Axis::Time;
    std::vector<Series> series;
    std::size_t rows = 0;  // rows of the list looked at
};

class PlotModel {
public:
    // Compiles the series `y` (value expressions over the fields of
    // `catalogue`, or the built-in names); a failure names the series.
    // `catalogue` must outlive the model.
    static Result<PlotModel> compile(const std::vector<std::string>& y, Axis x, const LayoutCatalogue& catalogue);

    Axis axis() const { return axis_; }
    std::size_t size() const { return series_.size(); }

    // The series over the rows `source` lists now, of the records `filter`
    // passes (when given). `progress` (rows done, rows in all) is called now
    // and then; returning false stops early.
    Plot compute(const IndexedRecordSource& source, const RecordFilter* filter = nullptr,
                 const std::function<bool(std::size_t, std::size_t)>& progress = {}) const;

private:
    struct Entry {
        std::string name;
        std::string unit;
        std::shared_ptr<const expr::ValueExpression> value;  // null for a built-in series
        bool rate = false;
        // The record types it can have values for (empty: any).
        std::vector<std::uint32_t> types;
    };
    Axis axis_ = Axis::Time;
    std::shared_ptr<const expr::FieldNames> names_;
    std::vector<Entry> series_;
    // Record types whose records have a ping number (those whose layouts name one).
    std::vector<std::uint32_t> pingTypes_;
};

// The point of `series` nearest to (x, y), distances measured with `xScale`
// and `yScale` as the size of one pixel along each axis: its index and its
// squared distance in pixels; nullopt for a series without points.
struct Nearest {
    std::size_t point = 0;
    double distance = 0;
};
std::optional<Nearest> nearestPoint(const Series& series, double x, double y, double xScale, double yScale);

} // namespace tarvik::plot
