// The Wireshark dissector that catalogue --export-wireshark writes, run in
// tshark on generated captures and compared with what tarvik-cli reads from
// the same captures. tshark starts slowly: each test runs it once or twice
// over a whole capture and compares everything from that one output.

#include "core/frame.h"
#include "net/packets.h"
#include "tests/support/calibration_layout.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <tuple>

using tarvik::testing::calibrationRecord;
using tarvik::testing::kCalibrationLayout;
using tarvik::testing::onPath;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;
using tarvik::testing::writeText;

namespace {
const std::string kCli = TARVIK_CLI;
const std::string kSource = TARVIK_SOURCE_DIR;

std::vector<std::string> split(const std::string& text, char at) {
    std::vector<std::string> out;
    std::string piece;
    std::stringstream in(text);
    while (std::getline(in, piece, at)) out.push_back(piece);
    if (!text.empty() && text.back() == at) out.emplace_back();
    return out;
}

// tshark -T fields with every occurrence: per field, its values over the
// whole capture in frame order.
struct FieldValues {
    std::map<std::string, std::vector<std::string>> values;
    std::vector<std::vector<std::vector<std::string>>> rows;  // frame, field, occurrence
    const std::vector<std::string>& operator[](const std::string& f) const {
        static const std::vector<std::string> none;
        auto it = values.find(f);
        return it == values.end() ? none : it->second;
    }
};

struct Tshark {
    std::string program = onPath("tshark");
    std::vector<std::string> base(const std::string& lua) const {
        // Out-of-order segments are put back in order, as tarvik-cli does.
        return {"-n", "-X", "lua_script:" + lua, "-o", "tcp.reassemble_out_of_order:TRUE"};
    }
    FieldValues fields(const std::string& lua, const std::string& capture, const std::vector<std::string>& names,
                       const std::string& filter, std::string* err = nullptr) const {
        std::vector<std::string> args = base(lua);
        for (const std::string& a : {std::string("-r"), capture, std::string("-T"), std::string("fields"),
                                     std::string("-E"), std::string("aggregator=;"), std::string("-E"),
                                     std::string("occurrence=a"), std::string("-Y"), filter})
            args.push_back(a);
        for (const std::string& n : names) {
            args.push_back("-e");
            args.push_back(n);
        }
        const auto r = runProgram(program, args);
        EXPECT_EQ(r.status, 0) << r.err;
        if (err) *err = r.err;
        FieldValues out;
        for (const std::string& line : split(r.out, '\n')) {
            if (line.empty()) continue;
            const std::vector<std::string> cols = split(line, '\t');
            std::vector<std::vector<std::string>> row;
            for (std::size_t i = 0; i < names.size(); ++i) {
                std::vector<std::string> occ = i < cols.size() && !cols[i].empty() ? split(cols[i], ';')
                                                                                     : std::vector<std::string>{};
                auto& all = out.values[names[i]];
                all.insert(all.end(), occ.begin(), occ.end());
                row.push_back(std::move(occ));
            }
            out.rows.push_back(std::move(row));
        }
        return out;
    }
};

std::string exportLua(const TempDir& dir, const std::string& name, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"catalogue", "--export-wireshark", dir.file(name)};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = runProgram(kCli, args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Wrote a Wireshark dissector"), std::string::npos) << r.out;
    return dir.file(name);
}

std::vector<nlohmann::json> reports(const std::string& capture) {
    const auto r = runProgram(kCli, {"report", capture, "--all", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<nlohmann::json> out;
    for (const std::string& line : split(r.out, '\n'))
        if (!line.empty()) out.push_back(nlohmann::json::parse(line));
    return out;
}

using RecordKey = std::tuple<long, long, long, long, long>;  // type, size, device, enumerator, counter

// The records of a report: whole frames only (lost-packet rows are not records).
std::vector<RecordKey> reportedRecords(const std::vector<nlohmann::json>& docs) {
    std::vector<RecordKey> out;
    for (const nlohmann::json& d : docs) {
        const auto& h = d["header"];
        if (h["syncPattern"].get<long>() != 0xFFFF) continue;
        out.emplace_back(h["recordType"].get<long>(), h["size"].get<long>(), h["deviceIdentifier"].get<long>(),
                         h["systemEnumerator"].get<long>(), h["recordCounter"].get<long>());
    }
    return out;
}

std::vector<RecordKey> dissectedRecords(const FieldValues& v) {
    std::vector<RecordKey> out;
    const auto& types = v["vx.record_type"];
    for (std::size_t i = 0; i < types.size(); ++i)
        out.emplace_back(std::stol(types[i]), std::stol(v["vx.size"].at(i)), std::stol(v["vx.device"].at(i)),
                         std::stol(v["vx.enumerator"].at(i)), std::stol(v["vx.counter"].at(i)));
    return out;
}

// The values of one top-level item over the records of `type`, in list order
// (records of several packets too: the dissector puts them back together).
std::vector<double> itemValues(const std::vector<nlohmann::json>& docs, long type, const std::string& item) {
    std::vector<double> out;
    for (const nlohmann::json& d : docs) {
        if (d["header"]["recordType"].get<long>() != type) continue;
        for (const nlohmann::json& i : d["items"])
            if (i["name"] == item && i.contains("value")) out.push_back(i["value"].get<double>());
    }
    return out;
}

void expectSameNumbers(const std::vector<std::string>& dissected, const std::vector<double>& reported,
                       const std::string& what, double tolerance = 1e-6) {
    SCOPED_TRACE(what);
    ASSERT_EQ(dissected.size(), reported.size());
    ASSERT_FALSE(reported.empty());
    for (std::size_t i = 0; i < reported.size(); ++i)
        EXPECT_NEAR(std::stod(dissected[i]), reported[i], tolerance * std::max(1.0, std::fabs(reported[i]))) << i;
}

const std::vector<std::string> kHeaderFields = {"vx.record_type", "vx.size", "vx.device", "vx.enumerator",
                                                "vx.counter"};

} // namespace

TEST(CliWireshark, RecordsAndFieldsMatchListAndReport) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    TempDir dir;
    const std::string lua = exportLua(dir, "vx.lua");
    ASSERT_EQ(runProgram(kCli, {"generate", "--capture", dir.file("plain.pcapng"), "--plain"}).status, 0);

    std::vector<std::string> names = kHeaderFields;
    const std::vector<std::string> chosen = {
        "vx.ping", "vx.checksum.bad", "vx.7000.frequency_hz", "vx.7000.ping_number", "vx.7027.number_of_detection_points",
        "vx.7027.sample_rate_hz", "vx.7006.sound_velocity_m_s", "vx.7004.number_of_receiver_beams",
        "vx.7001.number_of_devices", "vx.7008.samples_in_ping", "vx.7022.version", "vx.7027.detection_point",
        "vx.7004.beam_horiz_direction_angle_deg", "vx.7027.vx_raw_detection_data"};
    names.insert(names.end(), chosen.begin(), chosen.end());
    std::string err;
    const FieldValues v = tshark.fields(lua, dir.file("plain.pcapng"), names, "vx", &err);
    EXPECT_EQ(err.find("Lua"), std::string::npos) << err;

    const std::vector<nlohmann::json> docs = reports(dir.file("plain.pcapng"));
    // The list rows are the report's records, in the same order.
    const auto listed = runProgram(kCli, {"list", dir.file("plain.pcapng")});
    ASSERT_EQ(listed.status, 0);
    const std::vector<RecordKey> reported = reportedRecords(docs);
    std::size_t row = 0;
    for (const std::string& line : split(listed.out, '\n')) {
        if (line.empty()) continue;
        ASSERT_LT(row, reported.size());
        EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(std::get<0>(reported[row])));
        EXPECT_NE(line.find("\t" + std::to_string(std::get<1>(reported[row])) + " bytes\t"), std::string::npos) << line;
        ++row;
    }
    EXPECT_EQ(row, reported.size());

    // Record by record: type, size, device, enumerator and counter, in order.
    // A record of several packets is shown with the packet that completes it,
    // where the list shows it too.
    EXPECT_EQ(dissectedRecords(v), reported);
    std::size_t large = 0;
    for (const RecordKey& k : reported) large += std::get<1>(k) > long(tarvik::net::kMaxPayload) ? 1 : 0;
    EXPECT_EQ(large, 2u);
    EXPECT_GE(reported.size(), 40u);

    // Chosen fields, record by record.
    expectSameNumbers(v["vx.7000.frequency_hz"], itemValues(docs, 7000, "Frequency (Hz)"), "7000 frequency");
    expectSameNumbers(v["vx.7000.ping_number"], itemValues(docs, 7000, "Ping number"), "7000 ping");
    expectSameNumbers(v["vx.7027.number_of_detection_points"], itemValues(docs, 7027, "Number of detection Points"),
                      "7027 detections");
    expectSameNumbers(v["vx.7027.sample_rate_hz"], itemValues(docs, 7027, "Sample rate (Hz)"), "7027 sample rate");
    expectSameNumbers(v["vx.7006.sound_velocity_m_s"], itemValues(docs, 7006, "Sound velocity (m/s)"), "7006");
    expectSameNumbers(v["vx.7004.number_of_receiver_beams"], itemValues(docs, 7004, "Number of receiver beams"), "7004");
    expectSameNumbers(v["vx.7001.number_of_devices"], itemValues(docs, 7001, "Number of devices"), "7001");
    expectSameNumbers(v["vx.7008.samples_in_ping"], itemValues(docs, 7008, "Samples in ping"), "7008");
    // The repeat block: one subtree holding the count, one field per block.
    expectSameNumbers(v["vx.7027.vx_raw_detection_data"], itemValues(docs, 7027, "Number of detection Points"),
                      "7027 block count");
    double detections = 0;
    for (double n : itemValues(docs, 7027, "Number of detection Points")) detections += n;
    EXPECT_EQ(double(v["vx.7027.detection_point"].size()), detections);

    // vx.ping: the ping number of every ping record, the small and the large.
    std::vector<double> pings;
    for (const nlohmann::json& d : docs) {
        const long type = d["header"]["recordType"].get<long>();
        if (type != 7006 && type != 7008) continue;
        for (const nlohmann::json& i : d["items"])
            if (i["name"] == "Ping number") pings.push_back(i["value"].get<double>());
    }
    std::vector<double> dissectedPings;
    for (const std::string& p : v["vx.ping"]) dissectedPings.push_back(std::stod(p));
    std::sort(dissectedPings.begin(), dissectedPings.end());
    std::sort(pings.begin(), pings.end());
    EXPECT_EQ(dissectedPings, pings);

    // A vector: every element, against the numbers of the report's line.
    std::vector<double> angles;
    for (const nlohmann::json& d : docs) {
        if (d["header"]["recordType"].get<long>() != 7004) continue;
        for (const nlohmann::json& i : d["items"]) {
            if (i["name"] != "Beam hor. angle (deg)") continue;
            std::stringstream line(i["lines"][0].get<std::string>().substr(std::string("Beam horiz. direction angle (deg)").size()));
            for (double a; line >> a;) angles.push_back(a);
        }
    }
    expectSameNumbers(v["vx.7004.beam_horiz_direction_angle_deg"], angles, "7004 angles", 0.0006);

    // Texts, and the checksum verdict of every whole record.
    for (const std::string& version : v["vx.7022.version"]) EXPECT_EQ(version, "5.1.2.3");
    EXPECT_FALSE(v["vx.7022.version"].empty());
    // The verdict field is there only for a checksum that is wrong.
    EXPECT_TRUE(v["vx.checksum.bad"].empty());
}

TEST(CliWireshark, HardCasesAndHoles) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    TempDir dir;
    const std::string lua = exportLua(dir, "vx.lua");
    ASSERT_EQ(runProgram(kCli, {"generate", "--capture", dir.file("hard.pcapng")}).status, 0);
    std::vector<std::string> names = kHeaderFields;
    names.push_back("vx.checksum.bad");
    const FieldValues v = tshark.fields(lua, dir.file("hard.pcapng"), names, "vx");
    std::vector<RecordKey> dissected = dissectedRecords(v);
    std::vector<RecordKey> reported = reportedRecords(reports(dir.file("hard.pcapng")));
    std::sort(dissected.begin(), dissected.end());
    std::sort(reported.begin(), reported.end());
    // Every record the dissector shows is one Tarvik lists; only the stream
    // with the hole (enumerator 0) may lose records in Wireshark, which does
    // not look for the next packet behind a hole as Tarvik does.
    EXPECT_TRUE(std::includes(reported.begin(), reported.end(), dissected.begin(), dissected.end()));
    auto elsewhere = [](std::vector<RecordKey> r) {
        r.erase(std::remove_if(r.begin(), r.end(), [](const RecordKey& k) { return std::get<3>(k) == 0; }), r.end());
        return r;
    };
    EXPECT_EQ(elsewhere(dissected), elsewhere(reported));
    EXPECT_GE(dissected.size(), reported.size() * 3 / 4);
    EXPECT_TRUE(v["vx.checksum.bad"].empty());

    // The same traffic with the client's acknowledgements: the same records are
    // dissected, and each connection's acknowledgements only move forward, up
    // to the last byte the server sent.
    ASSERT_EQ(runProgram(kCli, {"generate", "--capture", dir.file("acked.pcapng"), "--acked"}).status, 0);
    std::vector<RecordKey> acked = dissectedRecords(tshark.fields(lua, dir.file("acked.pcapng"), names, "vx"));
    std::sort(acked.begin(), acked.end());
    EXPECT_EQ(acked, dissected);
    const FieldValues acks =
        tshark.fields(lua, dir.file("acked.pcapng"), {"tcp.srcport", "tcp.dstport", "tcp.ack", "tcp.nxtseq"},
                      "tcp and not tcp.flags.syn==1 and not tcp.flags.fin==1");
    std::map<std::string, long> lastAck, serverEnd;  // by client port
    for (const auto& row : acks.rows) {
        ASSERT_EQ(row.size(), 4u);
        if (row[0].empty() || row[1].empty() || row[2].empty()) continue;
        if (row[0][0] == "7000") {
            if (!row[3].empty()) serverEnd[row[1][0]] = std::max(serverEnd[row[1][0]], std::stol(row[3][0]));
            continue;
        }
        long& last = lastAck[row[0][0]];
        EXPECT_GE(std::stol(row[2][0]), last) << "an acknowledgement from port " << row[0][0] << " went back";
        last = std::stol(row[2][0]);
    }
    ASSERT_EQ(lastAck.size(), 2u);
    for (const auto& [port, ack] : lastAck) {
        EXPECT_GT(ack, 1000) << port;
        EXPECT_LE(ack, serverEnd[port]) << port;
    }
}

namespace {

// A capture of one TCP connection on `port` carrying `records`.
tarvik::Bytes tcpCapture(const std::vector<tarvik::Bytes>& records, std::uint16_t port) {
    using namespace tarvik::synth;
    const CaptureEndpoint server{0xC000020A, port}, client{0xC0000214, 50000};
    PcapngWriter pcap;
    std::uint64_t clock = 1'765'000'000ull * 1'000'000'000ull;
    std::uint32_t seq = 1000;
    pcap.packet(clock, tcpFrame(client, server, 5000, 0, kTcpSyn, {}));
    pcap.packet(clock += 1000, tcpFrame(server, client, seq, 5001, kTcpSyn | kTcpAck, {}));
    ++seq;
    for (const tarvik::Bytes& r : records)
        for (const tarvik::Bytes& p : tarvik::net::Packetize(r)) {
            pcap.packet(clock += 1000, tcpFrame(server, client, seq, 5001, kTcpAck | kTcpPsh, p));
            seq += static_cast<std::uint32_t>(p.size());
        }
    return pcap.bytes();
}

} // namespace

TEST(CliWireshark, AUserLayoutForATitleOnlyRecordShowsItsFieldsOnAnyPort) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    TempDir dir;
    tarvik::FrameBuilder b = calibrationRecord();
    b.device(7125, 2).counter(9);
    // Two more records: a checksum that is wrong, and one summed over signed bytes.
    tarvik::FrameBuilder other(7000);
    other.data().u64(0x8080808080808080ull).u32(100);
    tarvik::Bytes wrong = other.build();
    wrong.back() ^= 1;
    tarvik::Bytes signedSum = other.build();
    const std::uint32_t sum = tarvik::computeSignedChecksum(signedSum, signedSum.size() - 4);
    for (int i = 0; i < 4; ++i) signedSum[signedSum.size() - 4 + i] = static_cast<std::uint8_t>(sum >> (8 * i));
    // Port 7010 is not in the port table: the stream is found by its first bytes.
    const std::string capture = dir.write("calibration.pcapng", tcpCapture({b.build(), wrong, signedSum}, 7010));

    const std::string before = exportLua(dir, "before.lua");
    std::ifstream in(before);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[7005]=\"Vx Calibration data\""), std::string::npos);
    EXPECT_EQ(text.find("vx.7005.sonar_serial_number"), std::string::npos);

    writeText(dir.file("layouts/calibration.yaml"), kCalibrationLayout);
    const std::string after = exportLua(dir, "after.lua", {"--layouts", dir.file("layouts")});
    const FieldValues v = tshark.fields(
        after, capture,
        {"vx.record_type", "vx.device", "vx.enumerator", "vx.7005.sonar_serial_number", "vx.7005.calibration_state",
         "vx.7005.number_of_receiver_channels", "vx.7005.receiver_gain", "vx.7005.receiver_gain_2",
         "vx.7005.element_status", "vx.7005.element_status_2", "vx.checksum.bad", "vx.checksum.signed"},
        "vx");
    ASSERT_EQ(v.rows.size(), 3u);
    EXPECT_EQ(v["vx.record_type"], (std::vector<std::string>{"7005", "7000", "7000"}));
    EXPECT_EQ(v["vx.device"], (std::vector<std::string>{"7125", "0", "0"}));
    EXPECT_EQ(v["vx.enumerator"], (std::vector<std::string>{"2", "0", "0"}));
    EXPECT_EQ(v["vx.checksum.bad"], (std::vector<std::string>{"1"}));
    EXPECT_EQ(v["vx.checksum.signed"], (std::vector<std::string>{"1"}));
    EXPECT_EQ(v["vx.7005.sonar_serial_number"], std::vector<std::string>{"42"});
    EXPECT_EQ(v["vx.7005.calibration_state"], std::vector<std::string>{"1"});
    EXPECT_EQ(v["vx.7005.number_of_receiver_channels"], std::vector<std::string>{"2"});
    // The vector item holds the count; its elements, named like it but of
    // another kind, take the next free name.
    EXPECT_EQ(v["vx.7005.receiver_gain"], std::vector<std::string>{"2"});
    EXPECT_EQ(v["vx.7005.receiver_gain_2"], (std::vector<std::string>{"1.5", "2.5"}));
    EXPECT_EQ(v["vx.7005.element_status_2"], (std::vector<std::string>{"7", "9"}));
}

TEST(CliWireshark, HostileCapturesGiveMalformedPacketsNotLuaErrors) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    TempDir dir;
    const std::string lua = exportLua(dir, "vx.lua");
    // Luac is the first check: a file that does not parse never reaches Wireshark.
    const std::string luac = onPath("luac5.2");
    if (!luac.empty()) {
        const auto parsed = runProgram(luac, {"-p", lua});
        EXPECT_EQ(parsed.status, 0) << parsed.err;
    }

    using namespace tarvik::synth;
    const CaptureEndpoint server{0xC000020A, 7000}, client{0xC0000214, 50600};
    PcapngWriter pcap;
    std::uint64_t clock = 1'765'000'000ull * 1'000'000'000ull;
    auto datagram = [&](const tarvik::Bytes& payload) {
        for (const tarvik::Bytes& f : udpFrames(server, client, payload, static_cast<std::uint16_t>(clock / 1000)))
            pcap.packet(clock += 1000, f);
    };
    // Records with every byte open to change: counts, sizes, offsets, lengths.
    std::mt19937 random(5);
    const auto& types = sampleRecordTypes();
    for (int i = 0; i < 300; ++i) {
        tarvik::Bytes record = sampleFrame(types[static_cast<std::size_t>(i) % types.size()], 7125, i, 100, 0);
        for (int n = 0; n < 1 + i % 4; ++n) {
            std::size_t at = std::uniform_int_distribution<std::size_t>(0, record.size() - 1)(random);
            if (i % 3 == 0) at = 64 + at % 40;  // the first fields of the data: the counts
            record[at] = static_cast<std::uint8_t>(random());
        }
        std::vector<tarvik::Bytes> packets = tarvik::net::Packetize(record);
        if (i % 7 == 0) packets[0].resize(packets[0].size() / 2);  // a datagram shorter than it says
        for (const tarvik::Bytes& p : packets) datagram(p);
    }
    // The same over TCP, a connection for every few records: a broken packet
    // size ends what can be read of a connection.
    for (int c = 0; c < 40; ++c) {
        const CaptureEndpoint from{0xC000020A, 7000}, to{0xC0000214, static_cast<std::uint16_t>(51000 + c)};
        std::uint32_t seq = 1000;
        pcap.packet(clock += 1000, tcpFrame(to, from, 5000, 0, kTcpSyn, {}));
        pcap.packet(clock += 1000, tcpFrame(from, to, seq++, 5001, kTcpSyn | kTcpAck, {}));
        for (int i = 0; i < 3; ++i) {
            tarvik::Bytes record = sampleFrame(types[static_cast<std::size_t>(c + i) % types.size()], 7125, i, 100, 0);
            tarvik::Bytes packet = tarvik::net::Packetize(record)[0];
            for (int n = 0; n < 1 + c % 3; ++n) {
                std::size_t at = std::uniform_int_distribution<std::size_t>(0, packet.size() - 1)(random);
                if (c % 2 == 0) at %= 100;  // the network frame and the frame header
                packet[at] = static_cast<std::uint8_t>(random());
            }
            pcap.packet(clock += 1000, tcpFrame(from, to, seq, 5001, kTcpAck | kTcpPsh, packet));
            seq += static_cast<std::uint32_t>(packet.size());
        }
    }
    // Network frames out of range.
    datagram(tarvik::Bytes(10, 0xAB));
    tarvik::Bytes tiny = tarvik::net::Packetize(sampleFrame(7000, 7125, 1, 1, 0))[0];
    tiny[12] = 20, tiny[13] = tiny[14] = tiny[15] = 0;
    datagram(tiny);
    const std::string hostile = dir.write("hostile.pcapng", pcap.bytes());

    std::vector<std::string> captures = {hostile};
    const std::string mergecap = onPath("mergecap");
    std::vector<std::string> corpus;
    for (const auto& e : std::filesystem::directory_iterator(kSource + "/fuzz/corpus/capture_fuzz"))
        corpus.push_back(e.path().string());
    std::sort(corpus.begin(), corpus.end());
    if (!mergecap.empty() && !corpus.empty()) {
        std::vector<std::string> args = {"-F", "pcapng", "-a", "-w", dir.file("corpus.pcapng")};
        args.insert(args.end(), corpus.begin(), corpus.end());
        const auto merged = runProgram(mergecap, args);
        EXPECT_EQ(merged.status, 0) << merged.err;
        captures.push_back(dir.file("corpus.pcapng"));
    }
    for (const std::string& capture : captures) {
        SCOPED_TRACE(capture);
        std::vector<std::string> args = tshark.base(lua);
        for (const std::string& a : {std::string("-r"), capture, std::string("-V")}) args.push_back(a);
        const auto r = runProgram(tshark.program, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("Lua Error"), std::string::npos) << r.out.substr(r.out.find("Lua Error"), 400);
        EXPECT_EQ(r.err.find("Lua"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("Malformed"), std::string::npos);
    }
}

namespace {

// Every object named `name` in a report document, at any depth.
std::size_t countNamed(const nlohmann::json& j, const std::string& name) {
    std::size_t n = 0;
    if (j.is_object()) {
        if (j.contains("name") && j["name"] == name) ++n;
        for (const auto& [k, v] : j.items()) n += countNamed(v, name);
    } else if (j.is_array()) {
        for (const auto& v : j) n += countNamed(v, name);
    }
    return n;
}

} // namespace

TEST(CliWireshark, BlocksThatRunIntoTheChecksumAreWalkedAsTheReportWalksThem) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    TempDir dir;
    const std::string lua = exportLua(dir, "vx.lua");
    // A 7027 that claims two detection points and holds one and 2 bytes: the
    // second block's "Detection point" lies on the checksum bytes.
    tarvik::FrameBuilder b(7027);
    b.device(7125, 0);
    b.data().u64(1).u32(5).u16(0).u32(2).u32(0).u8(0).u32(0).f32(1000).f32(0).f32(0);
    for (int i = 0; i < 60; ++i) b.data().u8(0);
    b.data().u16(3).f32(1.5f).f32(0).u32(0).u32(0).f32(0).f32(0).f32(0).f32(0);
    b.data().u16(4);
    const std::string capture = dir.write("short7027.pcapng", tcpCapture({b.build()}, 7000));

    const std::vector<nlohmann::json> docs = reports(capture);
    ASSERT_EQ(docs.size(), 1u);
    const std::size_t reported = countNamed(docs[0], "Detection point");
    ASSERT_EQ(reported, 2u) << docs[0].dump();
    const FieldValues v =
        tshark.fields(lua, capture, {"vx.7027.detection_point", "vx.7027.beam_descriptor"}, "vx.record_type == 7027");
    EXPECT_EQ(v["vx.7027.detection_point"].size(), reported);
    EXPECT_EQ(v["vx.7027.beam_descriptor"], (std::vector<std::string>{"3", "4"}));
}

TEST(CliWireshark, ABlockSmallerThanItsLayoutShowsOnlyTheItemsItHolds) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    TempDir dir;
    const std::string lua = exportLua(dir, "vx.lua");
    // A 7027 whose data field size says 22 bytes a detection point: each block
    // ends after "Uncertainty", the next begins 22 bytes on.
    tarvik::FrameBuilder b(7027);
    b.data().u64(1).u32(5).u16(0).u32(2).u32(22).u8(0).u32(0).f32(1000).f32(0).f32(0);
    for (int i = 0; i < 60; ++i) b.data().u8(0);
    for (std::uint16_t beam : {3, 4}) b.data().u16(beam).f32(1.5f).f32(0).u32(0).u32(0).f32(0.25f);
    const std::string capture = dir.write("narrow7027.pcapng", tcpCapture({b.build()}, 7000));

    const std::vector<nlohmann::json> docs = reports(capture);
    ASSERT_EQ(docs.size(), 1u);
    ASSERT_EQ(countNamed(docs[0], "Uncertainty"), 2u) << docs[0].dump();
    ASSERT_EQ(countNamed(docs[0], "Signal strength"), 0u) << docs[0].dump();
    const FieldValues v = tshark.fields(lua, capture,
                                        {"vx.7027.beam_descriptor", "vx.7027.uncertainty", "vx.7027.signal_strength"},
                                        "vx.record_type == 7027");
    EXPECT_EQ(v["vx.7027.beam_descriptor"], (std::vector<std::string>{"3", "4"}));
    EXPECT_EQ(v["vx.7027.uncertainty"], (std::vector<std::string>{"0.25", "0.25"}));
    EXPECT_TRUE(v["vx.7027.signal_strength"].empty());
}

TEST(CliWireshark, ATextSizedByTheValueTwoItemsBeforeItTakesThisRecordsValue) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    TempDir dir;
    const std::string lua = exportLua(dir, "vx.lua");
    // A 7051's event message is as long as its "Message length" (its closing
    // zero included), two items before it: each record's own length, not one
    // an earlier record left.
    auto event = [](const std::string& text, std::uint32_t counter) {
        const auto length = static_cast<std::uint16_t>(text.size() + 1);
        tarvik::FrameBuilder b(7051);
        b.counter(counter);
        b.data().u64(42).u16(7).u16(length).u16(9).fixedText(text, length);
        return b.build();
    };
    tarvik::FrameBuilder settings(7000);
    settings.data().u64(1).u32(2).u16(3).u16(4).u32(5);
    const std::string capture = dir.write(
        "events.pcapng",
        tcpCapture({settings.build(), event("hello", 1), event("hello again", 2), event("abc", 3)}, 7000));
    const FieldValues v = tshark.fields(lua, capture, {"vx.7051.event_message"}, "vx.record_type == 7051");
    EXPECT_EQ(v["vx.7051.event_message"], (std::vector<std::string>{"hello", "hello again", "abc"}));
}

TEST(CliWireshark, TheReadmesChecksumFilterFindsTheWrongChecksumOnly) {
    Tshark tshark;
    if (tshark.program.empty()) GTEST_SKIP() << "tshark is not installed: the dissector cannot be run";
    std::ifstream readme(kSource + "/README.md");
    const std::string text((std::istreambuf_iterator<char>(readme)), std::istreambuf_iterator<char>());
    const auto at = text.find("`vx.checksum.bad");
    ASSERT_NE(at, std::string::npos) << "the README names no checksum filter";
    const std::string filter = text.substr(at + 1, text.find('`', at + 1) - at - 1);

    TempDir dir;
    const std::string lua = exportLua(dir, "vx.lua");
    tarvik::FrameBuilder good(7000);
    good.data().u64(0x0102030405060708ull).u32(100);
    good.counter(1);
    tarvik::FrameBuilder badOne = good;
    badOne.counter(2);
    tarvik::Bytes wrong = badOne.build();
    wrong.back() ^= 1;
    const std::string capture = dir.write("sums.pcapng", tcpCapture({good.build(), wrong, good.build()}, 7000));
    const FieldValues v = tshark.fields(lua, capture, {"vx.counter"}, filter);
    EXPECT_EQ(v["vx.counter"], std::vector<std::string>{"2"}) << filter;
}
