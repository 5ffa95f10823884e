// The window's Rules pane and tarvik-cli expect give the same verdicts on the
// same sources: per rule its outcome, failure count and first failing row.
// The pane judges the rows of a source as they arrive in the list; the CLI
// reads the file end to end. (The Python module and the audit are held to the
// CLI's verdicts by python/tests/test_verdicts_agree.py.)

#include "app/memory_port.h"
#include "app/settings.h"
#include "app/tarvik_view.h"
#include "core/bytes.h"
#include "core/frame.h"
#include "sources/open_source.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

using namespace tarvik;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {

const std::string kCli = TARVIK_CLI;
const std::string kProfiles = std::string(TARVIK_SOURCE_DIR) + "/data/profiles/";

struct Verdict {
    std::string outcome;  // passed, failed, not_evaluated
    std::uint64_t failures = 0;
    std::optional<std::uint64_t> firstRow;  // a file's frame index from 0
    bool operator==(const Verdict&) const = default;
};
using Verdicts = std::map<std::string, Verdict>;

void PrintTo(const Verdict& r, std::ostream* os) {
    *os << r.outcome << ", " << r.failures << " failures, first row " << (r.firstRow ? std::to_string(*r.firstRow) : "-");
}

// The built-in profiles that speak of files, as one profile (their rule names do not repeat).
std::string combinedProfile(const TempDir& dir) {
    std::string text = "profile: combined\nrules:\n";
    for (const char* p : {"file-integrity", "bathymetry-feed", "remote-control-session"}) {
        const std::string file = tarvik::testing::slurp(kProfiles + p + ".yaml");
        text += file.substr(file.find("\nrules:\n") + 8);
    }
    const std::string path = dir.file("combined.yaml");
    std::ofstream(path) << text;
    return path;
}

Verdicts cliVerdicts(const std::string& profile, const std::string& source, const TempDir& dir) {
    const std::string json = dir.file("verdicts.json");
    const auto r = runProgram(kCli, {"expect", profile, source, "--json", json, "--force"});
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
    Verdicts out;
    const auto doc = nlohmann::json::parse(tarvik::testing::slurp(json), nullptr, false);
    if (doc.is_discarded() || doc["sources"].size() != 1) {
        ADD_FAILURE() << "no verdicts from the CLI: " << r.err;
        return out;
    }
    for (const auto& rule : doc["sources"][0]["rules"]) {
        Verdict v{rule["outcome"].get<std::string>(), rule["failures"].get<std::uint64_t>(), std::nullopt};
        if (!rule["rows"].empty()) v.firstRow = rule["rows"][0]["row"].get<std::uint64_t>();
        out[rule["rule"].get<std::string>()] = v;
    }
    return out;
}

// The source's rows (frames and the text rows between them, read past damage
// as the window offers) arriving at the window as a live feed would, the pane
// judging them as they are listed. The list numbers records from 1, so the
// pane's rows are one on from a file's frame index.
Verdicts paneVerdicts(const std::string& profile, const std::string& source) {
    MemoryPort port;
    MemorySettingsStore store;
    CMyTarvikView view{port, store};
    port.fileAnswers.push_back({OpenFileResult::Status::Chosen, profile});
    view.OnLoadProfile();
    EXPECT_TRUE(view.rules().loaded()) << (port.messages.empty() ? "" : port.messages[0]);

    SourceOptions options;
    options.readPastDamage = true;
    options.capturePorts = CMyTarvikView::defaultCapturePorts();
    const Result<OpenedSource> opened = openSource(source, options);
    EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error());
    if (!opened.ok()) return {};
    std::deque<Bytes> pending;
    for (std::size_t row = 0; row < opened->source->rowCount(); ++row)
        if (std::optional<Bytes> bytes = opened->source->rowRecord(row)) pending.push_back(std::move(*bytes));
    view.pipeline().takePending = [&] { return std::exchange(pending, {}); };
    view.pipeline().communicating = true;
    port.setText(controls::kRecordFilter, "ALL RECORDS");
    view.OnTimer(timers::kArrival);

    Verdicts out;
    static const char* const kOutcomes[] = {"passed", "failed", "not_evaluated"};
    for (const RulesPane::Row& r : view.rules().rows()) {
        Verdict v{kOutcomes[static_cast<int>(r.outcome)], r.failures, std::nullopt};
        if (r.firstRow) v.firstRow = *r.firstRow - 1;
        out[r.name] = v;
    }
    // Rows that come as a live feed judge the connection too; a file has none.
    out.erase("connection-kept");
    return out;
}

// Breaks the sync pattern of frame `k` of a record file without a catalog.
void breakFrame(const std::string& path, std::size_t k) {
    std::string bytes = tarvik::testing::slurp(path);
    std::size_t at = 0;
    for (std::size_t i = 0; i < k; ++i) {
        const FrameView f(ByteSpan(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, bytes.size() - at));
        ASSERT_TRUE(f.isFrame());
        at += f.size();
    }
    bytes[at + frame_offsets::syncPattern] = 'X';
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace

TEST(VerdictAgreement, TheRulesPaneAndTheCliJudgeCleanDamagedAndLossySourcesAlike) {
    TempDir dir;
    const std::string profile = combinedProfile(dir);
    const std::string clean = dir.file("clean.vxr"), damaged = dir.file("damaged.vxr"), lossy = dir.file("lossy.pcapng");
    ASSERT_EQ(runProgram(kCli, {"generate", clean, "--frames", "200"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"generate", damaged, "--frames", "200", "--no-catalog"}).status, 0);
    breakFrame(damaged, 52);  // a detections record (7027): its ping goes without one
    ASSERT_EQ(runProgram(kCli, {"generate", lossy, "--capture"}).status, 0);

    for (const std::string& source : {clean, damaged, lossy}) {
        SCOPED_TRACE(source);
        const Verdicts cli = cliVerdicts(profile, source, dir);
        const Verdicts pane = paneVerdicts(profile, source);
        Verdicts judged = cli;
        ASSERT_EQ(judged.size(), 13u);
        EXPECT_EQ(judged["connection-kept"].outcome, "not_evaluated");
        judged.erase("connection-kept");
        EXPECT_EQ(pane, judged);
    }
    // The sources are what they claim to be: the comparison saw failures.
    const Verdicts broken = cliVerdicts(profile, damaged, dir);
    EXPECT_EQ(broken.at("no-damage").outcome, "failed");
    EXPECT_EQ(broken.at("detections-each-ping").outcome, "failed");
    EXPECT_EQ(cliVerdicts(profile, lossy, dir).at("no-lost-packets").outcome, "failed");
    for (const auto& [rule, v] : cliVerdicts(profile, clean, dir)) EXPECT_NE(v.outcome, "failed") << rule;
}
