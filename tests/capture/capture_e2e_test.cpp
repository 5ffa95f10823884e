// A capture of real loopback traffic: tarvik-cli listen talks to
// vxcenter-sim while tcpdump records the connection; the capture must list
// the records listen listed, in the same order.

#include "pipeline/arrival_pipeline.h"
#include "capture/capture_reader.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"
#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik::capture {
namespace {
using tarvik::testing::slurp;

// tcpdump in the background, writing packets as they come (-U).
class Tcpdump {
public:
    Tcpdump(const std::string& file, const std::string& port, const std::string& log) {
        pid_ = fork();
        if (pid_ == 0) {
            std::FILE* err = std::fopen(log.c_str(), "w");
            if (err) dup2(fileno(err), 2);
            std::FILE* out = std::fopen("/dev/null", "w");
            if (out) dup2(fileno(out), 1);
            execlp("tcpdump", "tcpdump", "-i", "lo", "-U", "-n", "-w", file.c_str(), "tcp", "port", port.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        // Capturing has begun once it says it is listening; it fails fast when not allowed.
        for (int i = 0; i < 500; ++i) {
            const std::string text = slurp(log);
            if (text.find("listening on") != std::string::npos) {
                running_ = true;
                return;
            }
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                why_ = text;
                return;
            }
            usleep(10'000);
        }
        why_ = "tcpdump did not start capturing within 5 s";
    }
    ~Tcpdump() { stop(); }
    bool running() const { return running_; }
    const std::string& why() const { return why_; }
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGINT);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool running_ = false;
    std::string why_;
};

TEST(CaptureOfLoopbackTraffic, ListsWhatListenListedInTheSameOrder) {
    if (::access("/usr/bin/tcpdump", X_OK) != 0 && ::access("/usr/sbin/tcpdump", X_OK) != 0)
        GTEST_SKIP() << "tcpdump is not installed: the loopback capture is not tested";
    testing::TempDir dir;
    testing::SimProcess sim({"--devices", "2", "--ping-rate", "20"});
    ASSERT_FALSE(sim.port().empty());
    const std::string file = dir.file("loopback.pcap");
    Tcpdump tcpdump(file, sim.port(), dir.file("tcpdump.log"));
    if (!tcpdump.running())
        GTEST_SKIP() << "capturing on the loopback interface is not permitted here: " << tcpdump.why();

    const auto listen = testing::runProgram(TARVIK_CLI, {"listen", "127.0.0.1", sim.port(), "--seconds", "1.5"});
    ASSERT_EQ(listen.status, 0) << listen.err;
    // tcpdump writes each packet as it takes it (-U); packets it has not taken
    // yet when it stops are lost, so stop only once the file stops growing.
    std::uintmax_t size = 0;
    for (int quiet = 0, i = 0; quiet < 5 && i < 100; ++i) {
        usleep(100'000);
        std::error_code ec;
        const std::uintmax_t now = std::filesystem::file_size(file, ec);
        quiet = !ec && now == size ? quiet + 1 : 0;
        size = ec ? size : now;
    }
    tcpdump.stop();

    std::vector<std::string> listed;
    std::stringstream lines(listen.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("device\t", 0) != 0) listed.push_back(line);
    ASSERT_GT(listed.size(), 10u);

    CaptureOptions options;
    options.ports = {static_cast<std::uint16_t>(std::stoi(sim.port()))};
    const CaptureReader::Result r = readCapture(file, options);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.counts.holes, 0u);
    std::vector<std::string> captured;
    for (const CapturedRecord& record : r.records) {
        if (!r.streams.at(record.stream).fromServer) continue;  // the client's own requests
        captured.push_back(CArrivalPipeline::entryText(record.bytes, 0) + "\t" +
                           CArrivalPipeline::entryText(record.bytes, 1));
    }
    // The server may have sent a few more than listen took before it stopped.
    ASSERT_GE(captured.size(), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) ASSERT_EQ(captured[i], listed[i]) << "row " << i;
}

} // namespace
} // namespace tarvik::capture

namespace tarvik::capture {
namespace {

TEST(CaptureCommands, GenerateACaptureAndConvertItIntoARecordFile) {
    testing::TempDir dir;
    const std::string capture = dir.file("session.pcapng"), vxr = dir.file("session.vxr");
    auto generated = testing::runProgram(TARVIK_CLI, {"generate", capture, "--capture", "--frames", "30"});
    ASSERT_EQ(generated.status, 0) << generated.err;
    ASSERT_TRUE(isCaptureFile(capture));

    auto converted = testing::runProgram(TARVIK_CLI, {"convert", capture, vxr});
    ASSERT_EQ(converted.status, 0) << converted.err;
    EXPECT_NE(converted.err.find("2 lost-packet lines not written"), std::string::npos) << converted.err;
    auto listed = testing::runProgram(TARVIK_CLI, {"list", vxr});
    ASSERT_EQ(listed.status, 0) << listed.err;
    // The file header record first, then every frame of the capture.
    EXPECT_EQ(listed.out.substr(0, 5), "7200\t");
    const CaptureReader::Result r = readCapture(capture);
    std::size_t frames = 0;
    for (const CapturedRecord& record : r.records) frames += record.bytes.size() >= 64;
    EXPECT_EQ(static_cast<std::size_t>(std::count(listed.out.begin(), listed.out.end(), '\n')), frames + 1);

    // An existing output is kept unless --force; the capture itself is never the output.
    auto again = testing::runProgram(TARVIK_CLI, {"convert", capture, vxr});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
    EXPECT_EQ(testing::runProgram(TARVIK_CLI, {"convert", capture, vxr, "--force"}).status, 0);
    EXPECT_EQ(testing::runProgram(TARVIK_CLI, {"convert", capture, capture, "--force"}).status, 2);
    EXPECT_TRUE(isCaptureFile(capture));
    // A file that is no capture, and a port out of range.
    auto notCapture = testing::runProgram(TARVIK_CLI, {"convert", vxr, dir.file("x.vxr")});
    EXPECT_EQ(notCapture.status, 1);
    EXPECT_NE(notCapture.err.find("could not read the capture"), std::string::npos) << notCapture.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.vxr")));
    EXPECT_EQ(testing::runProgram(TARVIK_CLI, {"convert", capture, dir.file("y.vxr"), "--port", "70000"}).status, 2);
}

} // namespace
} // namespace tarvik::capture

namespace tarvik::capture {
namespace {

// The commands that read record files take a capture alike.
TEST(CaptureCommands, ListReportAndCheckReadACaptureAsARecordFile) {
    testing::TempDir dir;
    const synth::SampleCapture sample = synth::sampleCapture({});
    const std::string capture = dir.write("session.pcapng", sample.file);
    const CaptureReader::Result r = readCapture(capture);
    ASSERT_TRUE(r.ok);

    // One row per record or text line, in the reader's order.
    auto listed = testing::runProgram(TARVIK_CLI, {"list", capture});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::vector<std::string> rows;
    std::stringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), r.records.size());
    std::size_t frame = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Bytes& bytes = r.records[i].bytes;
        const std::string expected = FrameView(bytes).isFrame()
                                         ? CArrivalPipeline::entryText(bytes, 0) + "\t" +
                                               CArrivalPipeline::entryText(bytes, 1) + "\t" + std::to_string(frame++)
                                         : "\tTEXT Lost Packet\t";
        EXPECT_EQ(rows[i], expected) << "row " << i;
    }
    // Only the given port's traffic: none here on port 80.
    auto none = testing::runProgram(TARVIK_CLI, {"list", capture, "--port", "80"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "");

    // The report opens with the capture time and the stream, above the frame header.
    auto report = testing::runProgram(TARVIK_CLI, {"report", capture, "--row", "0"});
    ASSERT_EQ(report.status, 0) << report.err;
    const StreamInfo& first = r.streams.at(r.records[0].stream);
    const std::string expectedLine = "   Captured " + captureTimeText(r.records[0].time).substr(0, 26) + " UTC, " +
                                     streamText(first) + "\n   Record # 0 ";
    EXPECT_EQ(report.out.substr(0, expectedLine.size()), expectedLine);
    auto json = testing::runProgram(TARVIK_CLI, {"report", capture, "--row", "0", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"stream\": \"" + streamText(first) + "\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"seconds\": " + std::to_string(r.records[0].time.seconds)), std::string::npos);

    // check reads the capture's frames; each stream keeps its own time line and pings, so what
    // it finds is only the records the missing segment took.
    auto check = testing::runProgram(TARVIK_CLI, {"check", capture});
    EXPECT_EQ(check.status, 1) << check.out;
    EXPECT_NE(check.out.find("1 problem:\n    capture: "), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("records whose bytes never all came"), std::string::npos) << check.out;
    EXPECT_EQ(check.out.rfind(capture + "\n", 0), 0u) << check.out;

    // A capture of a link type not read: the message names it.
    synth::PcapngWriter wifi(105);
    wifi.packet(1, Bytes(40, 0));
    auto refused = testing::runProgram(TARVIK_CLI, {"list", dir.write("wifi.pcapng", wifi.bytes())});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("link type 105"), std::string::npos) << refused.err;
}

} // namespace
} // namespace tarvik::capture

namespace tarvik::capture {
namespace {

// The frames of a record file between its file header and its catalog.
std::vector<Bytes> framesBetweenHeaderAndCatalog(const std::string& path) {
    RecordFile file;
    RecordIndex index;
    std::vector<Bytes> frames;
    if (!file.open(path) || !ReadCatalog(file, index)) return frames;
    for (std::size_t i = 0; i < index.size(); ++i)
        if (index[i].recordType() != kFileHeaderRecordType) frames.push_back(ReadFrame(file, index[i]));
    return frames;
}

// The lines of a text file that stand for records (condensed lines and gap lines), not its banner.
std::vector<std::string> recordLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && (std::isdigit(static_cast<unsigned char>(line[0])) || line[0] == '-' || line[0] == '!'))
            lines.push_back(line);
    return lines;
}

// condense, dump and image read a capture as the record file its records make.
TEST(CaptureCommands, CondenseDumpAndImageReadACaptureAsARecordFile) {
    testing::TempDir dir;
    synth::SampleOptions o;
    o.imageryPings = 40;
    const std::string vxr = dir.file("pictures.vxr");
    ASSERT_TRUE(synth::writeSampleFile(vxr, o));
    const std::vector<Bytes> frames = framesBetweenHeaderAndCatalog(vxr);
    ASSERT_GT(frames.size(), 40u);
    const std::string capture = dir.write("pictures.pcapng", synth::captureOfRecords(frames));

    // The condensed lines of the capture's records are the file's, without its file header record's.
    auto fromFile = testing::runProgram(TARVIK_CLI, {"condense", vxr, "--sep", "comma", "--out", dir.file("")});
    auto fromCapture = testing::runProgram(TARVIK_CLI, {"condense", capture, "--sep", "comma", "--out", dir.file("")});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    ASSERT_EQ(fromCapture.status, 0) << fromCapture.err;
    std::vector<std::string> fileLines = recordLines(testing::slurp(dir.file("pictures.txt")));
    const std::vector<std::string> captureLines = recordLines(testing::slurp(dir.file("pictures.pcapng.txt")));
    ASSERT_FALSE(fileLines.empty());
    EXPECT_NE(fileLines.front().find(",7200,"), std::string::npos) << fileLines.front();
    fileLines.erase(fileLines.begin());
    EXPECT_EQ(captureLines, fileLines);

    // The dump lists every row, then the report of each, with where it was captured.
    auto listed = testing::runProgram(TARVIK_CLI, {"list", capture});
    ASSERT_EQ(listed.status, 0) << listed.err;
    auto dumped = testing::runProgram(TARVIK_CLI, {"dump", capture, "--out", dir.file("")});
    ASSERT_EQ(dumped.status, 0) << dumped.err;
    const std::string dump = testing::slurp(dir.file("pictures.pcapng.000.txt"));
    std::string summary;
    std::stringstream in(listed.out);
    for (std::string line; std::getline(in, line);) summary += line + "\r\n";
    EXPECT_NE(dump.find(summary), std::string::npos);
    std::size_t captured = 0;
    for (auto at = dump.find("Captured "); at != std::string::npos; at = dump.find("Captured ", at + 1)) ++captured;
    EXPECT_EQ(captured, frames.size());

    // The pictures of the capture are the file's.
    for (const std::vector<std::string>& kind :
         {std::vector<std::string>{"--filter", "7008"}, std::vector<std::string>{"--kind", "echogram", "--filter", "7007"}}) {
        std::vector<std::string> fileArgs = {"image", vxr, "--out", dir.file("file.png"), "--force"};
        std::vector<std::string> captureArgs = {"image", capture, "--out", dir.file("capture.png"), "--force"};
        fileArgs.insert(fileArgs.end(), kind.begin(), kind.end());
        captureArgs.insert(captureArgs.end(), kind.begin(), kind.end());
        auto a = testing::runProgram(TARVIK_CLI, fileArgs);
        auto b = testing::runProgram(TARVIK_CLI, captureArgs);
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        const std::string picture = testing::slurp(dir.file("file.png"));
        EXPECT_GT(picture.size(), 1000u);
        EXPECT_EQ(testing::slurp(dir.file("capture.png")), picture) << kind.back();
    }
}

} // namespace
} // namespace tarvik::capture
