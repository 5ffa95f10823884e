// "Compare With...": the shown file against a second recording, through the in-memory port.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::testing::TempDir;
using Mark = RecordComparison::Mark;

namespace {

// Six pings of a ping record (7006) and a bathymetry record (7027); B lacks
// ping 3's 7006 and its ping 5's 7027 holds another ping number.
std::string recording(const TempDir& dir, const std::string& name, bool changed) {
    Bytes all;
    for (std::uint32_t n = 1; n <= 6; ++n) {
        const Bytes ping = synth::sampleFrame(7006, 7125, 2 * n, n);
        const Bytes bathymetry = synth::sampleFrame(7027, 7125, 2 * n + 1, changed && n == 5 ? 50 : n);
        if (!changed || n != 3) all.insert(all.end(), ping.begin(), ping.end());
        all.insert(all.end(), bathymetry.begin(), bathymetry.end());
    }
    return dir.write(name, all);
}

} // namespace

TEST(CompareWith, RowsAreMarkedAndTheReportShowsBothSides) {
    TempDir dir;
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
    port.setText(controls::kRecordFilter, "ALL RECORDS");

    view.OnCompareWith();  // nothing shown yet
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_TRUE(port.fileRequests.empty());

    const std::string a = recording(dir, "a.vxr", false), b = recording(dir, "b.vxr", true);
    port.fileAnswers.push_back(OpenFileResult::chosen(a));
    view.OnReadVxFile();
    ASSERT_EQ(view.recordRowCount(), 12u);
    port.fileAnswers.push_back(OpenFileResult::chosen(b));
    view.OnCompareWith();
    ASSERT_TRUE(view.comparison().has_value());
    EXPECT_EQ(port.messages.back(), "Compared with " + b + ": 1 pairs differ, 1 only here, 0 only there");
    for (std::size_t row = 0; row < 12; ++row)
        EXPECT_EQ(view.rowComparison(row), row == 4 ? Mark::Unpaired : row == 9 ? Mark::Differs : Mark::Equal) << row;

    // The differing row: its report, then its partner's (B's record 8), the
    // lines that differ marked on both sides.
    view.OnRowSelectionChanged(9);
    const std::vector<ReportLine>& lines = port.reportLines;
    std::size_t heading = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].text == "Compared with " + b + ", record 8:") heading = i;
    ASSERT_LT(heading, lines.size());
    std::size_t markedA = 0, markedB = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) (i < heading ? markedA : markedB) += lines[i].changed;
    EXPECT_GE(markedA, 1u);
    EXPECT_EQ(markedA, markedB);

    view.OnRowSelectionChanged(4);
    EXPECT_EQ(port.reportLines.back().text, "Compared with " + b + ": no partner for this record");

    // Another file shown ends the comparison.
    port.fileAnswers.push_back(OpenFileResult::chosen(b));
    view.OnReadVxFile();
    EXPECT_FALSE(view.comparison().has_value());
    EXPECT_EQ(view.rowComparison(0), Mark::None);
}
