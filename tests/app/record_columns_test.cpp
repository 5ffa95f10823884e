// The record list's own columns and the report list's "Apply as Column" and
// "Apply as Filter", through the in-memory port.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/record_columns.h"
#include "app/tarvik_view.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::testing::TempDir;

namespace {

class RecordListColumns : public ::testing::Test {
protected:
    RecordListColumns() {
        port.setText(controls::kRecordFilter, "ALL RECORDS");
        synth::SampleOptions o;
        o.frames = 21;
        path = dir.file("run.vxr");
        EXPECT_TRUE(synth::writeSampleFile(path, o));
    }

    std::size_t firstRowOf(const CMyTarvikView& v, const std::string& type) const {
        for (std::size_t r = 0; r < v.recordRowCount(); ++r)
            if (v.rowText(r, 0) == type) return r;
        ADD_FAILURE() << "no row of " << type;
        return 0;
    }
    std::size_t reportLine(std::string_view start) const {
        for (std::size_t i = 0; i < port.reportLines.size(); ++i)
            if (port.reportLines[i].text.rfind(start, 0) == 0) return i;
        ADD_FAILURE() << "no report line starts with " << start;
        return 0;
    }

    TempDir dir;
    std::string path;
    MemoryPort port;
    MemorySettingsStore settings;
};

} // namespace

TEST(RecordColumnList, SplitsAtTopLevelCommasOnly) {
    using V = std::vector<std::string>;
    EXPECT_EQ(RecordColumns::split("a, b ,c"), (V{"a", "b", "c"}));
    EXPECT_EQ(RecordColumns::split("vx.device in {1, 2}, count(a, b),x[1,2]"),
              (V{"vx.device in {1, 2}", "count(a, b)", "x[1,2]"}));
    EXPECT_EQ(RecordColumns::split("capture.stream == \"a,\\\"b\", y"), (V{"capture.stream == \"a,\\\"b\"", "y"}));
    EXPECT_EQ(RecordColumns::split(" , ,"), V{});
    EXPECT_EQ(RecordColumns::split("a)),b"), (V{"a))", "b"}));  // unbalanced: no harm
}

TEST_F(RecordListColumns, ApplyAsColumnAddsTheLinesFieldAndTheSettingsKeepIt) {
    {
        CMyTarvikView view(port, settings);
        ASSERT_TRUE(view.openRecordFile(path));
        const std::size_t row = firstRowOf(view, "7027");
        view.OnRowSelectionChanged(row);
        // A title line names no field.
        EXPECT_FALSE(view.OnApplyAsColumn(reportLine("Record type")));
        EXPECT_TRUE(port.recordColumns.empty());

        ASSERT_TRUE(view.OnApplyAsColumn(reportLine("Number of detection Points")));
        ASSERT_EQ(port.recordColumns, std::vector<std::string>{"7027.number_of_detection_points"});
        EXPECT_EQ(view.recordColumnText(row, 0), "8");
        EXPECT_EQ(view.recordColumnText(firstRowOf(view, "7000"), 0), "");
        // Once only; a column that does not compile is refused with the reason.
        EXPECT_FALSE(view.OnApplyAsColumn(reportLine("Number of detection Points")));
        EXPECT_FALSE(view.addRecordColumn("7027.qualty"));
        ASSERT_FALSE(port.messages.empty());
        EXPECT_NE(port.messages.back().find("did you mean"), std::string::npos) << port.messages.back();
        ASSERT_TRUE(view.addRecordColumn("vx.device * 2"));
        EXPECT_EQ(view.recordColumnText(row, 1), "14250");
    }
    // A window opened later has them.
    MemoryPort again;
    again.setText(controls::kRecordFilter, "ALL RECORDS");
    {
        CMyTarvikView view(again, settings);
        EXPECT_EQ(view.recordColumns().titles(), (std::vector<std::string>{"7027.number_of_detection_points", "vx.device * 2"}));
        EXPECT_EQ(again.recordColumns, view.recordColumns().titles());
        view.OnRemoveRecordColumn(0);
        EXPECT_EQ(again.recordColumns, std::vector<std::string>{"vx.device * 2"});
    }
    MemoryPort third;
    CMyTarvikView view(third, settings);
    EXPECT_EQ(view.recordColumns().titles(), std::vector<std::string>{"vx.device * 2"});
}

TEST_F(RecordListColumns, ApplyAsFilterListsTheRecordsWithTheLinesValue) {
    CMyTarvikView view(port, settings);
    ASSERT_TRUE(view.openRecordFile(path));
    std::size_t bathymetry = 0;
    for (std::size_t r = 0; r < view.recordRowCount(); ++r) bathymetry += view.rowText(r, 0) == "7027";
    view.OnRowSelectionChanged(firstRowOf(view, "7027"));
    ASSERT_TRUE(view.OnApplyAsFilter(reportLine("Quality")));
    EXPECT_EQ(port.text(controls::kFilterExpression), "7027.quality == 31");
    EXPECT_EQ(view.recordRowCount(), bathymetry);
    EXPECT_TRUE(view.filterProblem().empty());

    // A header line: the device.
    view.OnRowSelectionChanged(0);
    ASSERT_TRUE(view.OnApplyAsFilter(reportLine("   Device")));
    EXPECT_EQ(port.text(controls::kFilterExpression), "vx.device == 7125");
    // The report was emptied by the new list: nothing to apply until a row is chosen.
    EXPECT_FALSE(view.OnApplyAsFilter(0));
}

TEST_F(RecordListColumns, ThePlotTakesTheShownRowsAndAClickSelectsOne) {
    CMyTarvikView view(port, settings);
    EXPECT_FALSE(view.plotShownRows({"count"}, plot::Axis::Time).ok());  // live records: nothing to plot
    ASSERT_TRUE(view.openRecordFile(path));
    port.setText(controls::kFilterExpression, "7027");
    ASSERT_TRUE(view.OnFilterExpressionEntered());
    auto p = view.plotShownRows({"7027.number_of_detection_points", "count"}, plot::Axis::Time);
    ASSERT_TRUE(p.ok()) << p.error();
    ASSERT_EQ(p->series[0].points.size(), view.recordRowCount());
    EXPECT_EQ(p->series[1].points.back().y, static_cast<double>(view.recordRowCount()));
    auto bad = view.plotShownRows({"7027.qualty"}, plot::Axis::Time);
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.error().find("did you mean"), std::string::npos);

    const std::size_t row = p->series[0].points.back().row;
    view.OnPlotPointClicked(row);
    EXPECT_EQ(port.selectedRecordRow(), row);
    ASSERT_FALSE(port.reportLines.empty());
    EXPECT_NE(port.reportLines[0].text.find("Record # " + view.rowText(row, 2)), std::string::npos)
        << port.reportLines[0].text;
}
