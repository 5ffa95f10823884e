// Plot series over a record file: the points of fields and expressions, the
// built-in count and rate, the ping axis and the filter of the source.

#include "decode/layout_loader.h"
#include "plot/plot_model.h"
#include "sources/open_source.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace tarvik;
using namespace tarvik::plot;
using tarvik::testing::TempDir;

namespace {

const LayoutCatalogue& builtIn() {
    static const LoadedDefinitions defs = loadLayouts({}, false);
    return defs.catalogue;
}

class PlotSeries : public ::testing::Test {
protected:
    PlotSeries() {
        synth::SampleOptions o;
        o.frames = 70;
        path = dir.file("run.vxr");
        EXPECT_TRUE(synth::writeSampleFile(path, o));
    }

    Plot plotOf(const std::vector<std::string>& y, Axis x = Axis::Time, RecordFilter filter = {}) {
        auto model = PlotModel::compile(y, x, builtIn());
        EXPECT_TRUE(model.ok()) << model.error();
        auto opened = openSource(path);
        EXPECT_TRUE(opened.ok()) << opened.error();
        if (!model || !opened) return {};
        source = opened->source;
        return model->compute(*source, &filter);
    }
    std::size_t rowsOf(const std::string& type) const {
        std::size_t n = 0;
        for (std::size_t r = 0; r < source->rowCount(); ++r) n += source->rowText(r, 0) == type;
        return n;
    }

    TempDir dir;
    std::string path;
    std::shared_ptr<IndexedRecordSource> source;
};

} // namespace

TEST_F(PlotSeries, AFieldGivesAPointPerRecordThatHasIt) {
    const Plot p = plotOf({"7027.number_of_detection_points", "7027.quality", "count", "rate"});
    ASSERT_EQ(p.series.size(), 4u);
    const std::size_t bathymetry = rowsOf("7027");
    ASSERT_GT(bathymetry, 0u);
    const Series& detections = p.series[0];
    ASSERT_EQ(detections.points.size(), bathymetry);
    for (const Point& point : detections.points) {
        EXPECT_EQ(point.y, 8);
        EXPECT_EQ(source->rowText(point.row, 0), "7027");  // the row a click selects
    }
    // Time stamps advance; points keep the list's order.
    for (std::size_t i = 1; i < detections.points.size(); ++i) EXPECT_GT(detections.points[i].x, detections.points[i - 1].x);
    // A repeated field: a point per occurrence.
    EXPECT_EQ(p.series[1].points.size(), 8 * bathymetry);
    // count: the records so far, one point each; rate: records per second,
    // summing to every record.
    const Series& count = p.series[2];
    ASSERT_EQ(count.points.size(), p.rows);
    EXPECT_EQ(count.points.back().y, static_cast<double>(p.rows));
    double sum = 0, most = 0;
    for (const Point& point : p.series[3].points) {
        sum += point.y;
        most = std::max(most, point.y);
        EXPECT_EQ(point.x, std::floor(point.x));  // whole seconds
    }
    EXPECT_EQ(most, 2);  // the sample's records are half a second apart
    EXPECT_EQ(sum, static_cast<double>(p.rows));
    for (std::size_t i = 1; i < p.series[3].points.size(); ++i)
        EXPECT_GT(p.series[3].points[i].x, p.series[3].points[i - 1].x);
}

TEST_F(PlotSeries, PingAxisAndFilter) {
    const Plot p = plotOf({"7027.number_of_detection_points * 2", "count"}, Axis::Ping,
                          RecordFilter::types("7027"));
    const std::size_t bathymetry = rowsOf("7027");
    ASSERT_EQ(p.rows, bathymetry);  // the filter decides which rows take part
    ASSERT_EQ(p.series[0].points.size(), bathymetry);
    EXPECT_EQ(p.series[0].points[0].y, 16);
    EXPECT_EQ(p.series[1].points.size(), bathymetry);
    // Ping numbers, not times.
    EXPECT_LT(p.series[0].points[0].x, 1e6);
    // Records without a ping number have no place on the ping axis.
    const Plot all = plotOf({"count"}, Axis::Ping);
    EXPECT_LT(all.series[0].points.size(), all.rows);
}

TEST(PlotModel, RefusesWhatCannotBePlotted) {
    auto unknown = PlotModel::compile({"7027.qualty"}, Axis::Time, builtIn());
    ASSERT_FALSE(unknown.ok());
    EXPECT_NE(unknown.error().find("series \"7027.qualty\""), std::string::npos) << unknown.error();
    EXPECT_FALSE(PlotModel::compile({"capture.stream"}, Axis::Time, builtIn()).ok());
    EXPECT_FALSE(PlotModel::compile({}, Axis::Time, builtIn()).ok());
    EXPECT_FALSE(PlotModel::compile(std::vector<std::string>(kMaxSeries + 1, "count"), Axis::Time, builtIn()).ok());
    EXPECT_EQ(axisNamed("ping"), Axis::Ping);
    EXPECT_FALSE(axisNamed("Time"));
}

TEST(PlotModel, NearestPointIsMeasuredInPixels) {
    const Series s{"a", "", {{0, 0, 1}, {10, 100, 2}, {10, 0, 3}}, false};
    // One pixel is 1 along x and 100 along y: (9, 90) is nearest (10, 100).
    EXPECT_EQ(nearestPoint(s, 9, 90, 1, 100)->point, 1u);
    EXPECT_EQ(nearestPoint(s, 9, 10, 1, 100)->point, 2u);
    EXPECT_DOUBLE_EQ(nearestPoint(s, 9, 10, 1, 100)->distance, 1.01);
    EXPECT_FALSE(nearestPoint(Series{}, 0, 0, 1, 1));
    EXPECT_FALSE(nearestPoint(s, 0, 0, 0, 1));
}
