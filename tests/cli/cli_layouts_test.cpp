// User layout definition files with tarvik-cli: a layout placed in the user's
// configuration folder decodes a record that the built-in catalogue only
// names; checking, listing the sources and exporting the built-in files.

#include "tests/support/calibration_layout.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using tarvik::testing::calibrationRecord;
using tarvik::testing::kCalibrationLayout;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;
using tarvik::testing::writeText;

namespace {
const std::string kCli = TARVIK_CLI;

// Points the programs run from here at a configuration folder of the test's own.
class ConfigFolder {
public:
    ConfigFolder() {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) old_ = old;
        had_ = old != nullptr;
        setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    }
    ~ConfigFolder() {
        if (had_) setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
    }
    std::string layouts() const { return dir_.file("config") + "/Nerith/Tarvik/layouts"; }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    std::string old_;
    bool had_ = false;
};

} // namespace

TEST(CliLayouts, AUserLayoutDecodesATitleOnlyRecord) {
    ConfigFolder config;
    const tarvik::Bytes record = calibrationRecord().build();
    const std::string file = config.dir().write("calibration.vxr", record);

    auto before = runProgram(kCli, {"report", file});
    EXPECT_EQ(before.status, 0);
    EXPECT_NE(before.out.find("Record type 7005, Vx Calibration data\n"), std::string::npos);
    EXPECT_EQ(before.out.find("Sonar serial number"), std::string::npos);

    writeText(config.layouts() + "/calibration.yaml", kCalibrationLayout);
    auto after = runProgram(kCli, {"report", file});
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(after.err, "");
    EXPECT_NE(after.out.find("Sonar serial number 42\nCalibration state 1 - Calibrated\nNumber of receiver channels 2\n"
                             "Receiver gain 1.500 2.500\nReceiver phase 0.250 0.500\nElement status 7 9\n"
                             "Bytes consumed 98, Record size 102, probably ends in checksum\n"),
              std::string::npos)
        << after.out;

    auto sources = runProgram(kCli, {"catalogue", "--sources"});
    EXPECT_EQ(sources.status, 0);
    EXPECT_NE(sources.out.find(config.layouts() + "/calibration.yaml\t1 added\t2 replaced\t0 problems\n"
                                                  "  added\tenumeration calibration-state\n"),
              std::string::npos)
        << sources.out;
    EXPECT_NE(sources.out.find("  replaced\tvector 7005/2\n  replaced\trecord 7005\n"), std::string::npos);
    // Each command repeat block under its own command.
    EXPECT_NE(sources.out.find("  added\tcommand repeat P1007/0\n"), std::string::npos) << sources.out;
    EXPECT_EQ(sources.out.find("command repeat /0"), std::string::npos);
    EXPECT_NE(runProgram(kCli, {"catalogue", "--record", "7005"}).out.find("Element status\tvector\t2\n"),
              std::string::npos);
}

TEST(CliLayouts, ProblemsOfAUserFileAreShownAndTheRestLoads) {
    ConfigFolder config;
    TempDir extra;
    writeText(extra.file("more/broken.yaml"), "records:\n  - {type: 7005, title: \"x\", items: [[\"A\", u, 3]]}\n"
                                              "  - {type: 7010, title: \"Replaced\"}\n");
    auto listed = runProgram(kCli, {"catalogue", "--layouts", extra.file("more")});
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, extra.file("more/broken.yaml") + ":2: the width must be 1, 2, 4, 8 or 16 for format \"u\": 3\n");
    EXPECT_NE(listed.out.find("7010\tReplaced\t0\n"), std::string::npos);
    EXPECT_NE(listed.out.find("7005\tVx Calibration data\t0\n"), std::string::npos);

    auto missing = runProgram(kCli, {"catalogue", "--layouts", extra.file("nowhere")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, extra.file("nowhere") + ": is not a folder\n");
}

TEST(CliLayouts, CheckAndExport) {
    ConfigFolder config;
    TempDir dir;
    auto exported = runProgram(kCli, {"catalogue", "--export", dir.file("out")});
    EXPECT_EQ(exported.status, 0);
    EXPECT_NE(exported.out.find(dir.file("out") + "/records-7000.yaml\n"), std::string::npos);
    // Exporting again keeps what is there.
    auto again = runProgram(kCli, {"catalogue", "--export", dir.file("out")});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("records-7000.yaml exists, kept as it is"), std::string::npos);

    auto good = runProgram(kCli, {"catalogue", "--check", dir.file("out/records-7000.yaml"), dir.file("out/records-1000.yaml")});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out, "2 files checked, no problems\n");

    writeText(dir.file("bad.yaml"), "vectors:\n  - {type: 7004, block: 0, element: \"E\", format: vector, width: 4}\n");
    auto bad = runProgram(kCli, {"catalogue", "--check", dir.file("bad.yaml")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, dir.file("bad.yaml") + ":2: unknown format \"vector\" for a vector element\n");
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--check"}).status, 2);
}

TEST(CliLayouts, CheckSaysWhatLayoutFileItCouldNotLoad) {
    // A file checked clean against layouts that were not all loaded is not called clean.
    ConfigFolder config;
    TempDir dir;
    const std::string file = dir.write("calibration.vxr", calibrationRecord().build());
    writeText(dir.file("layouts/good.yaml"), kCalibrationLayout);
    auto good = runProgram(kCli, {"check", "--layouts", dir.file("layouts"), file});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.err, "");

    writeText(dir.file("layouts/broken.yaml"), "records: [is not\n");
    for (const bool json : {false, true}) {
        std::vector<std::string> args{"check", "--layouts", dir.file("layouts"), file};
        if (json) args.push_back("--json");
        auto broken = runProgram(kCli, args);
        EXPECT_EQ(broken.status, 1) << json;
        EXPECT_EQ(broken.err.rfind(dir.file("layouts/broken.yaml") + ":", 0), 0u) << broken.err;
        EXPECT_NE(broken.out.find(json ? "\"clean\": true" : "no problems found"), std::string::npos) << broken.out;
    }
    // Without the walk no layout file is read.
    auto unwalked = runProgram(kCli, {"check", "--no-layouts", "--layouts", dir.file("layouts"), file});
    EXPECT_EQ(unwalked.status, 0) << unwalked.err;
}
