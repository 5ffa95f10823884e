// The live reload of layout files through the in-memory port: a saved layout
// changes the selected record's report and the shading of its bytes; a broken
// save lists its problem and a fixed one clears it; bursts of saves coalesce.

#include "app/controls.h"
#include "app/layout_watch.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "tests/support/hidden_records.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

using namespace tarvik;
using namespace tarvik::testing;
namespace fs = std::filesystem;

namespace {

bool contains(const std::vector<ReportLine>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const ReportLine& l) { return l.text.find(part) != std::string::npos; });
}

class LayoutReload : public ::testing::Test {
protected:
    LayoutReload() {
        saved_ = CMyTarvikView::layoutOptions();
        layouts = (dir.path() / "layouts").string();
        fs::create_directories(layouts);
        CMyTarvikView::layoutOptions() = {layouts, false};
        port.setText(controls::kRecordFilter, "ALL RECORDS");
        view = std::make_unique<CMyTarvikView>(port, settings);
        view->reportCoverage = true;
        Bytes file;
        for (std::uint32_t i = 0; i < 4; ++i) {
            const Bytes r = hiddenRecord(i);
            file.insert(file.end(), r.begin(), r.end());
        }
        EXPECT_TRUE(view->openRecordFile(dir.write("hidden.vxr", file)));
        port.selectedRow = 1;
        view->OnRowSelectionChanged(1);
    }
    ~LayoutReload() override { CMyTarvikView::layoutOptions() = saved_; }

    // Writes the file as an editor saves it, and lets the reload's timer fire.
    void save(const std::string& text) {
        std::ofstream(layouts + "/7032.yaml", std::ios::trunc) << text;
        view->OnLayoutFilesChanged();
        EXPECT_EQ(port.runningTimers.count(kLayoutReloadTimer), 1u);
        view->OnTimer(kLayoutReloadTimer);
    }
    std::size_t dataBytes() const { return kHiddenFixedPart + ((1 * 7) % 23 + 1) * kHiddenElement; }

    TempDir dir;
    std::string layouts;
    MemoryPort port;
    MemorySettingsStore settings;
    std::unique_ptr<CMyTarvikView> view;

private:
    LayoutOptions saved_;
};

} // namespace

TEST_F(LayoutReload, ASavedLayoutChangesTheReportAndTheShading) {
    // Title only: every data byte shaded, the report says so at its end.
    using Shade = std::vector<std::pair<std::size_t, std::size_t>>;
    EXPECT_EQ(port.shadedBytes, (Shade{{64, dataBytes()}}));
    EXPECT_EQ(port.reportLines.back().text, "   NOT DECODED: " + std::to_string(dataBytes()) + " of " +
                                                std::to_string(dataBytes()) + " data bytes at 64-" +
                                                std::to_string(64 + dataBytes() - 1));
    EXPECT_TRUE(port.layoutProblems.empty());

    save(kHiddenLayout);
    EXPECT_EQ(view->layoutWatch().reloads(), 1u);
    EXPECT_TRUE(contains(port.reportLines, "Ping"));
    EXPECT_TRUE(port.shadedBytes.empty());
    EXPECT_EQ(port.reportLines.back().text, "   All " + std::to_string(dataBytes()) + " data bytes decoded");
    EXPECT_EQ(port.selectedRow, std::optional<std::size_t>(1));  // the selection is kept
    EXPECT_TRUE(port.messages.empty());

    // Half written: the record falls back to its title-only report and the problem is listed.
    save("records:\n  - type: 7032\n    title: \"Vx 7032 Record\"\n    items:\n      - [\"Serial\", zz, 8]\n");
    ASSERT_EQ(port.layoutProblems.size(), 1u);
    EXPECT_EQ(port.layoutProblems[0].rfind(layouts + "/7032.yaml:5: ", 0), 0u) << port.layoutProblems[0];
    EXPECT_FALSE(contains(port.reportLines, "Ping"));
    EXPECT_EQ(port.shadedBytes, (Shade{{64, dataBytes()}}));
    EXPECT_EQ(view->recordRowCount(), 4u);  // nothing is lost from the list
    EXPECT_TRUE(port.messages.empty());     // no message box on a save

    save(kHiddenLayout);
    EXPECT_TRUE(port.layoutProblems.empty());
    EXPECT_TRUE(port.shadedBytes.empty());

    // The folder deleted while watched: the built-in layouts stay, the problem is listed.
    fs::remove_all(layouts);
    view->OnLayoutFilesChanged();
    view->OnTimer(kLayoutReloadTimer);
    ASSERT_EQ(port.layoutProblems.size(), 1u);
    EXPECT_FALSE(contains(port.reportLines, "Ping"));
    EXPECT_EQ(view->layoutCatalogue().records.size(), 112u);
}

TEST_F(LayoutReload, AFieldExpressionFilterKeepsTheSelectedRecord) {
    // The expression is compiled again and the list made again under it: the
    // selection stays on its record, which is reported under the new layout.
    port.setText(controls::kFilterExpression, "row != 0");
    ASSERT_TRUE(view->OnFilterExpressionEntered());
    ASSERT_EQ(view->recordRowCount(), 3u);
    port.selectedRow = 1;
    view->OnRowSelectionChanged(1);
    save(kHiddenLayout);
    EXPECT_EQ(view->recordRowCount(), 3u);
    EXPECT_EQ(port.selectedRow, std::optional<std::size_t>(1));
    EXPECT_EQ(view->rowRecordNumber(1), 2u);
    EXPECT_TRUE(contains(port.reportLines, "Ping"));
}

TEST_F(LayoutReload, ReloadByHandAndTheLayoutsFolder) {
    std::ofstream(layouts + "/7032.yaml") << kHiddenLayout;
    view->OnReloadLayouts();
    EXPECT_TRUE(contains(port.reportLines, "Ping"));
    EXPECT_FALSE(port.runningTimers.count(kLayoutReloadTimer));

    const std::string config = (dir.path() / "config").string();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string oldValue = old ? old : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    view->OnOpenLayoutsFolder();
    old ? setenv("XDG_CONFIG_HOME", oldValue.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(fs::is_directory(config + "/Nerith/Tarvik/layouts"));
    EXPECT_EQ(port.shownFolders, std::vector<std::string>{config + "/Nerith/Tarvik/layouts"});
}

TEST(LayoutWatch, BurstsOfChangesCoalesce) {
    int starts = 0, stops = 0, reloads = 0;
    LayoutWatch watch([&](unsigned) { ++starts; }, [&] { ++stops; }, [&] { ++reloads; });
    for (int i = 0; i < 1000; ++i) watch.changed();
    EXPECT_EQ(starts, 1);
    watch.timerFired();  // changes came after the first: one more quiet time
    EXPECT_EQ(reloads, 0);
    watch.timerFired();
    EXPECT_EQ(reloads, 1);
    EXPECT_FALSE(watch.pending());

    // Changes that never pause still reload after a few quiet times.
    watch.changed();
    for (unsigned i = 0; i <= watch.maxDeferrals; ++i) {
        watch.changed();
        watch.timerFired();
    }
    EXPECT_EQ(reloads, 2);
    watch.timerFired();  // a late tick with nothing pending reloads nothing
    EXPECT_EQ(reloads, 2);
}

TEST(LayoutWatch, WatchesFoldersTheirFilesAndTheParentOfAMissingFolder) {
    TempDir dir;
    const std::string folder = (dir.path() / "layouts").string();
    fs::create_directories(folder);
    std::ofstream(folder + "/b.yaml") << "";
    std::ofstream(folder + "/a.yml") << "";
    std::ofstream(folder + "/notes.txt") << "";
    const std::string missing = (dir.path() / "gone" / "deeper").string();
    EXPECT_EQ(layoutWatchPaths({folder, missing, ""}),
              (std::vector<std::string>{dir.path().string(), folder, folder + "/a.yml", folder + "/b.yaml"}));
}
