// The compiled Wireshark dissector plugin against the Lua dissector: both made
// from the same catalogue, run in tshark over the same captures, must declare
// the same fields and show the same values, trees and expert infos; and both
// put records that travel in several packets back together.
//
// tshark loads the plugin from a personal plugin folder under a scratch HOME,
// never from what is installed. It skips personal folders when run as root, so
// a root test run starts it as the unprivileged user nobody (setpriv).

#include "core/frame.h"
#include "net/packets.h"
#include "tests/support/calibration_layout.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <unistd.h>

using tarvik::testing::onPath;
using tarvik::testing::ProgramResult;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;
const std::string kPluginDir = TARVIK_WIRESHARK_PLUGIN_DIR;  // empty: the plugin was not built

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, '\t');) out.push_back(cell);
    if (!line.empty() && line.back() == '\t') out.emplace_back();
    return out;
}

// The user nobody may read what the test wrote, whatever the umask.
void letNobodyRead(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    const fs::perms readable = fs::perms::others_read | fs::perms::group_read;
    const fs::perms enterable = readable | fs::perms::others_exec | fs::perms::group_exec;
    fs::permissions(path, fs::is_directory(path) ? enterable : readable, fs::perm_options::add);
    if (!fs::is_directory(path)) return;
    for (const auto& e : fs::recursive_directory_iterator(path))
        if (!e.is_symlink()) fs::permissions(e.path(), e.is_directory() ? enterable : readable, fs::perm_options::add);
}

// tshark with either dissector: the Lua file by -X lua_script, the plugin from
// the scratch HOME's personal plugin folder.
class Dissectors {
public:
    Dissectors() {
        if (tshark_.empty()) {
            why_ = "tshark is not installed";
            return;
        }
        if (kPluginDir.empty()) {
            why_ = "the plugin was not built (Wireshark's development files are missing)";
            return;
        }
        asNobody_ = geteuid() == 0;
        if (asNobody_ && setpriv_.empty()) {
            why_ = "running as root without setpriv: tshark would not load a personal plugin";
            return;
        }
        const auto exported = runProgram(kCli, {"catalogue", "--export-wireshark", dir_.file("vx.lua")});
        EXPECT_EQ(exported.status, 0) << exported.err;
        std::filesystem::create_directories(dir_.path() / "home/.local/lib/wireshark");
        std::filesystem::create_directory_symlink(kPluginDir, dir_.path() / "home/.local/lib/wireshark/plugins");
        std::filesystem::create_directories(dir_.path() / "home/.config");
        ready_ = true;
    }
    bool ready() const { return ready_; }
    const std::string& why() const { return why_; }
    const TempDir& dir() const { return dir_; }

    ProgramResult lua(std::vector<std::string> args) const {
        args.insert(args.begin(), {"-X", "lua_script:" + dir_.file("vx.lua")});
        return run(args, false);
    }
    ProgramResult plugin(const std::vector<std::string>& args) const { return run(args, true); }

private:
    ProgramResult run(const std::vector<std::string>& args, bool plugin) const {
        // Scratch folders for both: no personal plugin or preference of the user's
        // reaches either, and the Lua run does not see the plugin.
        const std::string home = dir_.file("home");
        std::vector<std::string> all;
        std::string program = onPath("env");
        if (asNobody_) {
            letNobodyRead(dir_.path());
            for (const std::string& a : args)
                if (std::filesystem::is_regular_file(a)) letNobodyRead(a);
            program = setpriv_;
            all = {"--reuid=65534", "--regid=65534", "--clear-groups", onPath("env")};
        }
        all.push_back("HOME=" + (plugin ? home : dir_.file("no-home")));
        all.push_back("XDG_CONFIG_HOME=" + home + "/.config");
        all.push_back(tshark_);
        all.insert(all.end(), args.begin(), args.end());
        return runProgram(program, all);
    }

    std::string tshark_ = onPath("tshark");
    std::string setpriv_ = onPath("setpriv");
    TempDir dir_;
    bool asNobody_ = false;
    bool ready_ = false;
    std::string why_;
};

// Every field a dissector declares: "name<TAB>type<TAB>parent" lines of -G fields.
std::vector<std::string> declared(const ProgramResult& r) {
    std::vector<std::string> out;
    for (const std::string& line : lines(r.out)) {
        const std::vector<std::string> c = cells(line);
        if (c.size() > 4 && c[0] == "F" && c[2].rfind("vx.", 0) == 0) out.push_back(c[2] + "\t" + c[3] + "\t" + c[4]);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Says where two outputs first part, or nothing when they are the same.
std::string firstDifference(const std::string& a, const std::string& b, const std::vector<std::string>& names) {
    const std::vector<std::string> la = lines(a), lb = lines(b);
    for (std::size_t i = 0; i < std::max(la.size(), lb.size()); ++i) {
        const std::string x = i < la.size() ? la[i] : "(none)", y = i < lb.size() ? lb[i] : "(none)";
        if (x == y) continue;
        const std::vector<std::string> cx = cells(x), cy = cells(y);
        for (std::size_t k = 0; k < names.size() && k < std::max(cx.size(), cy.size()); ++k) {
            const std::string vx = k < cx.size() ? cx[k] : "", vy = k < cy.size() ? cy[k] : "";
            if (vx != vy) return "line " + std::to_string(i + 1) + ", " + names[k] + ": Lua '" + vx + "', plugin '" + vy + "'";
        }
        return "line " + std::to_string(i + 1) + ": Lua '" + x.substr(0, 300) + "', plugin '" + y.substr(0, 300) + "'";
    }
    return "";
}

// Runs both dissectors over `capture`: every Vx field and the expert infos as
// fields, then the whole Vx tree; they must agree line for line.
void expectSameDissection(const Dissectors& d, const std::vector<std::string>& fields, const std::string& capture) {
    SCOPED_TRACE(capture);
    std::vector<std::string> names = {"frame.number", "_ws.expert.message", "_ws.expert.severity", "_ws.malformed"};
    names.insert(names.end(), fields.begin(), fields.end());
    std::vector<std::string> args = {"-n", "-o", "tcp.reassemble_out_of_order:TRUE", "-r", capture, "-T", "fields",
                                     "-E", "occurrence=a", "-E", "aggregator=;"};
    for (const std::string& n : names) args.insert(args.end(), {"-e", n});
    const ProgramResult lua = d.lua(args), plugin = d.plugin(args);
    ASSERT_EQ(lua.status, 0) << lua.err;
    ASSERT_EQ(plugin.status, 0) << plugin.err;
    EXPECT_EQ(lua.err.find("Lua"), std::string::npos) << lua.err;
    EXPECT_FALSE(lua.out.empty());
    EXPECT_EQ(firstDifference(lua.out, plugin.out, names), "");

    const std::vector<std::string> tree = {"-n", "-o", "tcp.reassemble_out_of_order:TRUE", "-r", capture, "-O", "vx", "-V"};
    const ProgramResult luaTree = d.lua(tree), pluginTree = d.plugin(tree);
    EXPECT_EQ(firstDifference(luaTree.out, pluginTree.out, {}), "");

    // Without a tree (a summary, statistics): the same summary lines and expert infos.
    for (const std::vector<std::string>& bare :
         {std::vector<std::string>{"-n", "-o", "tcp.reassemble_out_of_order:TRUE", "-r", capture},
          std::vector<std::string>{"-n", "-o", "tcp.reassemble_out_of_order:TRUE", "-r", capture, "-q", "-z", "expert"}}) {
        const ProgramResult luaBare = d.lua(bare), pluginBare = d.plugin(bare);
        ASSERT_EQ(luaBare.status, 0) << luaBare.err;
        EXPECT_EQ(firstDifference(luaBare.out, pluginBare.out, {}), "") << bare.back();
    }
}

// One TCP connection from port 7000 carrying `packets` in order.
tarvik::Bytes tcpCapture(const std::vector<tarvik::Bytes>& packets) {
    using namespace tarvik::synth;
    const CaptureEndpoint server{0xC000020A, 7000}, client{0xC0000214, 50000};
    PcapngWriter pcap;
    std::uint64_t clock = 1'765'000'000ull * 1'000'000'000ull;
    std::uint32_t seq = 1000;
    pcap.packet(clock, tcpFrame(client, server, 5000, 0, kTcpSyn, {}));
    pcap.packet(clock += 1000, tcpFrame(server, client, seq, 5001, kTcpSyn | kTcpAck, {}));
    ++seq;
    for (const tarvik::Bytes& p : packets) {
        pcap.packet(clock += 1000, tcpFrame(server, client, seq, 5001, kTcpAck | kTcpPsh, p));
        seq += static_cast<std::uint32_t>(p.size());
    }
    return pcap.bytes();
}

// A 7027 of `detections` detection points (130,081 bytes for 3,821: three packets).
tarvik::Bytes large7027(std::uint32_t detections, std::uint32_t counter) {
    tarvik::FrameBuilder b(7027);
    b.device(7125, 0).counter(counter);
    b.data().u64(1).u32(5).u16(0).u32(detections).u32(0).u8(0).u32(0).f32(1000).f32(0).f32(0);
    for (int i = 0; i < 60; ++i) b.data().u8(0);
    for (std::uint32_t i = 0; i < detections; ++i)
        b.data().u16(static_cast<std::uint16_t>(i)).f32(1.5f).f32(0).u32(0).u32(0).f32(0).f32(0).f32(0).f32(0);
    return b.build();
}

void setU32(tarvik::Bytes& packet, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) packet[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::string> column(const ProgramResult& r, std::size_t k) {
    std::vector<std::string> out;
    for (const std::string& line : lines(r.out)) {
        const std::vector<std::string> c = cells(line);
        out.push_back(k < c.size() ? c[k] : "");
    }
    return out;
}

} // namespace

TEST(WiresharkPlugin, DeclaresTheLuaDissectorsFieldsAndShowsTheSameOnEveryCapture) {
    Dissectors d;
    if (!d.ready()) GTEST_SKIP() << d.why();
    // -G must come first: the Lua script goes after it.
    const std::vector<std::string> fromLua =
        declared(runProgram(onPath("tshark"), {"-G", "fields", "-X", "lua_script:" + d.dir().file("vx.lua")}));
    const std::vector<std::string> pluginFields = declared(d.plugin({"-G", "fields"}));
    ASSERT_GT(fromLua.size(), 700u);
    EXPECT_EQ(pluginFields, fromLua);
    std::vector<std::string> names;
    for (const std::string& f : fromLua) names.push_back(f.substr(0, f.find('\t')));

    // Generated traffic (records of one and of three packets over TCP and UDP,
    // reordered and resent segments, a hole), then records sent in several
    // packets with their lost-packet cases.
    ASSERT_EQ(runProgram(kCli, {"generate", "--capture", d.dir().file("plain.pcapng"), "--plain"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"generate", "--capture", d.dir().file("hard.pcapng")}).status, 0);
    expectSameDissection(d, names, d.dir().file("plain.pcapng"));
    expectSameDissection(d, names, d.dir().file("hard.pcapng"));

    const std::vector<tarvik::Bytes> whole = tarvik::net::Packetize(large7027(3821, 1));
    ASSERT_EQ(whole.size(), 3u);
    std::vector<tarvik::Bytes> packets = whole;                      // whole
    packets.insert(packets.end(), {whole[0], whole[2]});             // the middle one missing
    std::vector<tarvik::Bytes> longer = whole, shorter = whole;      // total sizes that disagree
    for (auto& p : longer) setU32(p, 16, 130081 + 10);
    for (auto& p : shorter) setU32(p, 16, 130081 - 10);
    packets.insert(packets.end(), longer.begin(), longer.end());
    packets.insert(packets.end(), shorter.begin(), shorter.end());
    packets.insert(packets.end(), {whole[0], whole[1]});             // a new record before the last packet
    packets.insert(packets.end(), whole.begin(), whole.end());
    d.dir().write("spanning.pcapng", tcpCapture(packets));
    expectSameDissection(d, names, d.dir().file("spanning.pcapng"));

    // Hostile bytes: the capture fuzzer's corpus, every damaged record it holds.
    const std::string mergecap = onPath("mergecap");
    std::vector<std::string> corpus;
    for (const auto& e : std::filesystem::directory_iterator(std::string(TARVIK_SOURCE_DIR) + "/fuzz/corpus/capture_fuzz"))
        corpus.push_back(e.path().string());
    std::sort(corpus.begin(), corpus.end());
    if (!mergecap.empty() && !corpus.empty()) {
        std::vector<std::string> args = {"-F", "pcapng", "-a", "-w", d.dir().file("corpus.pcapng")};
        args.insert(args.end(), corpus.begin(), corpus.end());
        ASSERT_EQ(runProgram(mergecap, args).status, 0);
        expectSameDissection(d, names, d.dir().file("corpus.pcapng"));
    }
}

TEST(WiresharkPlugin, RecordsThatSpanPacketsAreDecodedAndLostOnesSaidSo) {
    Dissectors d;
    if (!d.ready()) GTEST_SKIP() << d.why();
    const std::vector<tarvik::Bytes> whole = tarvik::net::Packetize(large7027(3821, 1));
    std::vector<tarvik::Bytes> packets = whole;
    packets.insert(packets.end(), {whole[0], whole[2]});  // Vx packets 3, 4: the middle packet lost
    std::vector<tarvik::Bytes> longer = whole;            // 5-7: bytes missing at the end
    for (auto& p : longer) setU32(p, 16, 130091);
    packets.insert(packets.end(), longer.begin(), longer.end());
    packets.insert(packets.end(), whole[0]);              // 8: a first packet, then
    packets.insert(packets.end(), whole.begin(), whole.end());  // 9-11: a new record begins
    const std::string capture = d.dir().write("lost.pcapng", tcpCapture(packets));

    for (const bool plugin : {false, true}) {
        SCOPED_TRACE(plugin ? "plugin" : "Lua");
        const std::vector<std::string> args = {"-n", "-r", capture, "-Y", "vx", "-T", "fields", "-e", "frame.number",
                                               "-e", "vx.record_type", "-e", "vx.reassembled",
                                               "-e", "vx.7027.number_of_detection_points", "-e", "vx.lost",
                                               "-e", "vx.lost.size", "-e", "_ws.expert.message",
                                               "-E", "occurrence=a", "-E", "aggregator=;"};
        const ProgramResult r = plugin ? d.plugin(args) : d.lua(args);
        ASSERT_EQ(r.status, 0) << r.err;
        // The whole record is decoded in the packet that completes it, once.
        ASSERT_EQ(column(r, 1), (std::vector<std::string>{"", "", "7027", "", "", "", "", "", "", "", "", "7027"}));
        EXPECT_EQ(column(r, 2)[2], "130081");
        EXPECT_EQ(column(r, 3)[2], "3821");
        EXPECT_EQ(column(r, 3)[11], "3821");
        // vx.lost (a fragment missing, a new record before the last one) and
        // vx.lost.size (the bytes disagree with the total size) mark the packet
        // where the loss shows.
        const std::vector<std::string> lost = column(r, 4), lostSize = column(r, 5);
        std::vector<std::size_t> lostAt, sizeAt;
        for (std::size_t i = 0; i < lost.size(); ++i) {
            if (!lost[i].empty()) lostAt.push_back(i);
            if (!lostSize[i].empty()) sizeAt.push_back(i);
        }
        EXPECT_EQ(lostAt, (std::vector<std::size_t>{4, 9}));
        EXPECT_EQ(sizeAt, (std::vector<std::size_t>{7}));
        EXPECT_NE(r.out.find("Record lost: a fragment is missing or out of sequence"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Record lost: the fragments hold 130081 bytes of a total size of 130091"), std::string::npos);
        EXPECT_NE(r.out.find("Record lost: a new record began before the last fragment"), std::string::npos);
    }
}

TEST(WiresharkPlugin, TheExportedFolderBuildsAPluginWithTheUsersLayouts) {
    TempDir dir;
    const std::string out = dir.file("plugin");
    tarvik::testing::writeText(dir.file("layouts/calibration.yaml"), tarvik::testing::kCalibrationLayout);
    auto r = runProgram(kCli, {"catalogue", "--export-wireshark-c", out, "--layouts", dir.file("layouts"), "--port", "7010"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Wrote a Wireshark dissector plugin (C)"), std::string::npos) << r.out;
    // An existing export is kept unless --force is given; --port needs an export.
    r = runProgram(kCli, {"catalogue", "--export-wireshark-c", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--export-wireshark-c", out, "--force"}).status, 0);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--port", "7010"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--export-wireshark-c", out, "--export-wireshark", dir.file("x.lua")}).status, 2);
    r = runProgram(kCli, {"catalogue", "--export-wireshark-c", out, "--layouts", dir.file("layouts"), "--port", "7010",
                          "--force"});
    ASSERT_EQ(r.status, 0) << r.err;

    // Built with its own CMakeLists.txt as a user would, it declares the user's fields.
    Dissectors d;
    const std::string cmake = onPath("cmake");
    if (!d.ready() || cmake.empty()) GTEST_SKIP() << (cmake.empty() ? "cmake is not installed" : d.why());
    r = runProgram(cmake, {"-S", out, "-B", dir.file("plugin/build")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    r = runProgram(cmake, {"--build", dir.file("plugin/build")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // Its own scratch plugin folder: the build tree's plugin is not loaded beside it.
    TempDir home;
    std::filesystem::create_directories(home.path() / ".local/lib/wireshark/plugins/4.0/epan");
    std::filesystem::copy_file(dir.file("plugin/build/vx.so"), home.file(".local/lib/wireshark/plugins/4.0/epan/vx.so"));
    if (geteuid() == 0) letNobodyRead(home.path());
    std::vector<std::string> args = {"HOME=" + home.path().string(), onPath("tshark"), "-G", "fields"};
    if (geteuid() == 0) args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", onPath("env")});
    r = runProgram(geteuid() == 0 ? onPath("setpriv") : onPath("env"), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\tvx.7005.sonar_serial_number\t"), std::string::npos);
    EXPECT_NE(r.out.find("\tvx.7005.receiver_gain_2\t"), std::string::npos);
}

TEST(WiresharkPlugin, APacketSizeOutOfRangeDoesNotSwallowTheRestOfTheConnection) {
    Dissectors d;
    if (!d.ready()) GTEST_SKIP() << d.why();
    // A packet claiming 1 GiB, then whole packets in segments of their own: the
    // TCP reassembly must not be asked for the 1 GiB (it would collect every
    // later segment into it); the packets behind are read afresh.
    tarvik::FrameBuilder b(7000);
    b.data().u64(1).u32(100);
    std::vector<tarvik::Bytes> packets;
    tarvik::Bytes bogus = tarvik::net::Packetize(b.counter(1).build())[0];
    setU32(bogus, 12, 0x40000000);
    packets.push_back(bogus);
    for (std::uint32_t c = 2; c <= 4; ++c) packets.push_back(tarvik::net::Packetize(b.counter(c).build())[0]);
    const std::string capture = d.dir().write("bogus.pcapng", tcpCapture(packets));
    for (const bool plugin : {false, true}) {
        SCOPED_TRACE(plugin ? "plugin" : "Lua");
        const std::vector<std::string> args = {"-n", "-r", capture, "-Y", "vx", "-T", "fields", "-e", "vx.counter",
                                               "-e", "_ws.malformed", "-e", "_ws.expert.message", "-E", "occurrence=a"};
        const ProgramResult r = plugin ? d.plugin(args) : d.lua(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(column(r, 0), (std::vector<std::string>{"", "2", "3", "4"})) << r.out;
        EXPECT_NE(lines(r.out).at(0).find("Packet size 1073741824 out of range"), std::string::npos) << r.out;
    }
}
