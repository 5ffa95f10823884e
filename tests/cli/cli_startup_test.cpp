// What tarvik-cli loads before it does any work: libpcap only once a capture
// is opened, the YAML library only once a layout or profile file is read, and
// a clear refusal (with the package to install) when either cannot be loaded.
// Judged by what the dynamic loader reports, never by wall time.

#include "net/packets.h"
#include "tests/support/calibration_layout.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;
const std::string kEnv = "/usr/bin/env";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The program run with `variables` set in its environment.
tarvik::testing::ProgramResult runWith(const std::vector<std::string>& variables, std::vector<std::string> args) {
    std::vector<std::string> all = variables;
    all.push_back(kCli);
    all.insert(all.end(), args.begin(), args.end());
    return runProgram(kEnv, all);
}

// A capture of one packet; with `libpcapOnly`, a custom block comes before
// it, which only libpcap reads (the common formats are read without it).
std::string smallCapture(const TempDir& dir, bool libpcapOnly = true) {
    tarvik::synth::PcapngWriter w;
    if (libpcapOnly)
        for (const std::uint32_t word : {0x00000BADu, 16u, 0u, 16u})
            for (int i = 0; i < 4; ++i) w.bytes().push_back(static_cast<std::uint8_t>(word >> (8 * i)));
    const tarvik::synth::CaptureEndpoint server{0x0A000001, 7000}, client{0x0A000002, 40000};
    w.packet(1'700'000'000'000'000'000ull,
             tarvik::synth::udpFrame(server, client, tarvik::net::Packetize(tarvik::synth::sampleFrame(7000, 1, 0, 0))[0]));
    return dir.write(libpcapOnly ? "small.pcapng" : "plain.pcapng", w.bytes());
}
} // namespace

TEST(CliStartup, LibpcapIsLoadedOnlyWhenACaptureIsOpened) {
    TempDir dir;
    const std::string file = dir.file("small.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "10"}).status, 0);
    const std::string capture = smallCapture(dir);

    const auto version = runWith({"LD_DEBUG=libs"}, {"--version"});
    ASSERT_EQ(version.status, 0);
    ASSERT_TRUE(contains(version.err, "calling init")) << "the loader's report is missing";
    EXPECT_FALSE(contains(version.err, "libpcap")) << version.err;

    const auto list = runWith({"LD_DEBUG=libs"}, {"list", file});
    ASSERT_EQ(list.status, 0);
    EXPECT_FALSE(contains(list.err, "libpcap"));

    // The same probe sees the library when a capture needs it.
    const auto listed = runWith({"LD_DEBUG=libs"}, {"list", capture});
    EXPECT_EQ(listed.status, 0);
    EXPECT_TRUE(contains(listed.err, "libpcap"));
    const auto plain = runWith({"LD_DEBUG=libs"}, {"list", smallCapture(dir, false)});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, listed.out);
    EXPECT_FALSE(contains(plain.err, "libpcap")) << "a capture of the common formats needs no libpcap";
}

TEST(CliStartup, AMissingLibpcapNamesTheFileAndThePackage) {
    TempDir dir;
    const std::string capture = smallCapture(dir);
    const std::string missing = "TARVIK_PCAP_LIBRARY=" + dir.file("libpcap-missing.so.0.8");
    for (const char* command : {"list", "check", "report"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args{command, capture};
        if (std::string(command) == "report") args.push_back("--all");
        const auto r = runWith({missing}, args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(contains(r.err, "libpcap-missing.so.0.8")) << r.err;
        EXPECT_TRUE(contains(r.err, "libpcap0.8")) << r.err;
    }
    // A record file needs no libpcap at all.
    const std::string file = dir.file("small.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "3"}).status, 0);
    EXPECT_EQ(runWith({missing}, {"list", file}).status, 0);
}

TEST(CliStartup, TheYamlLibraryIsLoadedOnlyWhenALayoutOrProfileFileIsRead) {
    TempDir dir;
    const std::string file = dir.write("calibration.vxr", tarvik::testing::calibrationRecord().build());
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--version"}, {"list", file}, {"check", file}, {"report", file}, {"check", "--help"}}) {
        SCOPED_TRACE(args[0]);
        const auto r = runWith({"LD_DEBUG=libs"}, args);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_TRUE(contains(r.err, "calling init")) << "the loader's report is missing";
        EXPECT_FALSE(contains(r.err, "libyaml-cpp")) << r.err;
        EXPECT_FALSE(contains(r.err, "libtarvik-yaml")) << r.err;
    }

    // A layout file still loads, as before, through the module.
    tarvik::testing::writeText(dir.file("layouts/calibration.yaml"), tarvik::testing::kCalibrationLayout);
    const auto decoded = runWith({"LD_DEBUG=libs"}, {"report", file, "--layouts", dir.file("layouts")});
    EXPECT_EQ(decoded.status, 0);
    EXPECT_TRUE(contains(decoded.out, "Sonar serial number 42\nCalibration state 1 - Calibrated\n")) << decoded.out;
    EXPECT_TRUE(contains(decoded.err, "libyaml-cpp"));
    const auto broken = runProgram(kCli, {"catalogue", "--check", dir.file("layouts/calibration.yaml")});
    EXPECT_EQ(broken.status, 0) << broken.err;

    // So does a profile.
    tarvik::testing::writeText(dir.file("empty.yaml"), "profile: sums\nrules:\n  - name: checksums\n    integrity: checksums\n");
    const auto judged = runWith({"LD_DEBUG=libs"}, {"expect", dir.file("empty.yaml"), file});
    EXPECT_EQ(judged.status, 0) << judged.err;
    EXPECT_TRUE(contains(judged.out, "pass  checksums")) << judged.out;
    EXPECT_TRUE(contains(judged.err, "libyaml-cpp"));
}

TEST(CliStartup, AMissingYamlModuleNamesThePackageAndEndsAsAFaultOfTheInstallation) {
    TempDir dir;
    const std::string file = dir.write("calibration.vxr", tarvik::testing::calibrationRecord().build());
    tarvik::testing::writeText(dir.file("layouts/calibration.yaml"), tarvik::testing::kCalibrationLayout);
    tarvik::testing::writeText(dir.file("empty.yaml"), "profile: sums\nrules:\n  - name: checksums\n    integrity: checksums\n");
    const std::string missing = "TARVIK_YAML_MODULE=" + dir.file("libtarvik-yaml-missing.so");

    const auto layouts = runWith({missing}, {"check", "--layouts", dir.file("layouts"), file});
    EXPECT_EQ(layouts.status, 2) << layouts.err;
    EXPECT_TRUE(contains(layouts.err, dir.file("layouts/calibration.yaml") + ": cannot be read: ")) << layouts.err;
    EXPECT_TRUE(contains(layouts.err, "libtarvik-yaml-missing.so")) << layouts.err;
    EXPECT_TRUE(contains(layouts.err, "libyaml-cpp0.7")) << layouts.err;
    // The file itself is still checked against the built-in layouts.
    EXPECT_TRUE(contains(layouts.out, "no problems found")) << layouts.out;

    const auto profile = runWith({missing}, {"expect", dir.file("empty.yaml"), file});
    EXPECT_EQ(profile.status, 2) << profile.err;
    EXPECT_TRUE(contains(profile.err, "libyaml-cpp0.7")) << profile.err;

    // Without a text to read the module is never looked for.
    EXPECT_EQ(runWith({missing}, {"check", file}).status, 0);
}
