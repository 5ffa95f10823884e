// Test profiles: loading (messages with their lines, budgets) and the rule
// checker over records made by the frame builder.

#include "decode/layout_loader.h"
#include "profiles/profile.h"
#include "profiles/report.h"
#include "profiles/rule_checker.h"
#include "tools/synth/sample_records.h"
#include "tools/synth/server_records.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvik;
using namespace tarvik::profiles;

namespace {

const LayoutCatalogue& catalogue() {
    static const LoadedDefinitions definitions = loadLayouts({}, false);
    return definitions.catalogue;
}

Profile load(const std::string& text) {
    Result<Profile> p = parseProfile("p.yaml", text, catalogue());
    EXPECT_TRUE(p.ok()) << p.error();
    return p.ok() ? std::move(*p) : Profile{};
}

std::string loadError(const std::string& text) {
    Result<Profile> p = parseProfile("p.yaml", text, catalogue());
    return p.ok() ? "(loaded)" : p.error();
}

const synth::SimDevice kDevice;
const synth::PingShape kShape;

VxTIME at(double seconds) {
    VxTIME t;
    t.year = 2024;
    t.day = 65;
    t.hours = 7;
    t.minutes = static_cast<std::uint8_t>(seconds / 60);
    t.seconds = static_cast<float>(seconds - 60.0 * t.minutes);
    return t;
}

Bytes settings(std::uint32_t ping, double seconds) { return synth::restamped(synth::sonarSettings(kDevice, ping, ping), at(seconds)); }
Bytes detections(std::uint32_t ping, double seconds) {
    return synth::restamped(synth::detections(kDevice, ping, ping, kShape), at(seconds));
}

const RuleResult& named(const std::vector<RuleResult>& results, const std::string& name) {
    for (const RuleResult& r : results)
        if (r.name == name) return r;
    static RuleResult none;
    ADD_FAILURE() << "no rule " << name;
    return none;
}

} // namespace

TEST(ProfileLoading, ProblemsNameTheFileAndLine) {
    EXPECT_EQ(loadError("rules:\n  - name: a\n    value: \"7027.qualty > 2\"\n"),
              "p.yaml:3: value: unknown field \"7027.qualty\" (did you mean vx.7027.quality?) at column 1");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    scope: \"7999\"\n    presence: {at_least: 1}\n"),
              "p.yaml:3: scope: no layout defines record type 7999");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    integrity: checksums\n    colour: red\n").substr(0, 38),
              "p.yaml:4: unknown key \"colour\" in a ru");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    order: sideways\n"),
              "p.yaml:3: order \"sideways\" is not one of ping-gaps, time-increasing, counter-increasing");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    integrity: damaged\n  - name: a\n    integrity: checksums\n"),
              "p.yaml:4: a second rule named \"a\"");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    integrity: damaged\n    order: ping-gaps\n"),
              "p.yaml:2: rule \"a\" needs exactly one check: presence, value, relation, order, stable, log or integrity");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    presence: {every_seconds: -1}\n"),
              "p.yaml:3: every_seconds must be above 0 and at most 1000000 seconds");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    stable: vx.device\n"),
              "p.yaml:3: stable must be a field of a record's layout, not of its header");
    EXPECT_EQ(loadError("rules:\n  - name: a\n    relation: {each: \"7000\", has: \"7027\"}\n"),
              "p.yaml:3: a relation needs a key (ping, device or a list of fields) or within_seconds");
    EXPECT_EQ(loadError("rules: [\n"), "p.yaml:2: not valid YAML: end of sequence flow not found");
    EXPECT_EQ(loadError("rules: []\n"), "p.yaml:1: the profile has no rules");
}

TEST(ProfileLoading, BuiltInLayoutsLookedUpInTheImageServeAsWell) {
    // The window and list look the built-in layouts up one at a time; a
    // profile's record types and fields are named from all of them.
    const LoadedDefinitions looked = loadLayoutsForLookups({}, false);
    ASSERT_NE(looked.catalogue.builtIns, nullptr);
    const std::string scoped = "rules:\n  - name: a\n    scope: \"7027\"\n    presence: {at_least: 1}\n";
    EXPECT_TRUE(parseProfile("p.yaml", scoped, looked.catalogue).ok());
    Result<Profile> unknown =
        parseProfile("p.yaml", "rules:\n  - name: a\n    scope: \"7999\"\n    presence: {at_least: 1}\n",
                     looked.catalogue);
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.error(), "p.yaml:3: scope: no layout defines record type 7999");
    EXPECT_TRUE(parseProfile("p.yaml", "rules:\n  - name: a\n    value: \"7027.quality > 2\"\n", looked.catalogue).ok());
}

TEST(ProfileLoading, BudgetsHoldAgainstLargeAndNestedFiles) {
    // More rules than a profile may hold.
    std::string many = "rules:\n";
    for (std::size_t i = 0; i <= kMaxRules; ++i) many += "  - {name: r" + std::to_string(i) + ", integrity: damaged}\n";
    EXPECT_EQ(loadError(many), "p.yaml:2: more than 500 rules");
    // Too large, too deep, and aliases that would expand without end.
    EXPECT_EQ(loadError(std::string(kMaxProfileBytes + 1, '#')), "p.yaml: the file is larger than 1024 KiB");
    EXPECT_EQ(loadError("rules: " + std::string(40, '[')).substr(0, 40), "p.yaml:1: nested deeper than 16 levels");
    std::string bomb = "a: &a [x, x, x, x, x, x, x, x, x, x]\n";
    for (char c = 'b'; c <= 'h'; ++c)
        bomb += std::string(1, c) + ": &" + c + " [*" + char(c - 1) + ", *" + char(c - 1) + ", *" + char(c - 1) +
                ", *" + char(c - 1) + ", *" + char(c - 1) + ", *" + char(c - 1) + ", *" + char(c - 1) + "]\n";
    EXPECT_NE(loadError(bomb).find("once its aliases are expanded"), std::string::npos) << loadError(bomb);
    // A file that is not there, or not a file.
    EXPECT_EQ(loadProfile("/nonexistent/p.yaml", catalogue()).error(), "/nonexistent/p.yaml: no such file");
    EXPECT_EQ(loadProfile("/tmp", catalogue()).error(), "/tmp: not a regular file");
}

TEST(ProfileLoading, BuiltInProfilesLoad) {
    const std::vector<std::string> files = builtInProfiles();
    ASSERT_EQ(files.size(), 4u);
    for (const std::string& f : files) {
        Result<Profile> p = loadProfile(f, catalogue());
        EXPECT_TRUE(p.ok()) << p.error();
    }
    EXPECT_EQ(std::filesystem::path(resolveProfile("bathymetry-feed")).filename(), "bathymetry-feed.yaml");
    EXPECT_EQ(resolveProfile("no-such-profile"), "no-such-profile");
}

TEST(RuleChecker, RulesWhoseRecordsNeverComeAreNotEvaluatedNeverPassed) {
    const Profile p = load(R"(rules:
  - {name: value, scope: "7027", value: "7027.number_of_detection_points < 5"}
  - {name: pairs, relation: {each: "7027", has: "7000", key: ping}}
  - {name: gaps, order: ping-gaps}
  - {name: stable, stable: vx.7027.number_of_detection_points}
  - {name: sums, integrity: checksums}
  - {name: link, integrity: connection}
  - {name: count, scope: "7027", presence: {at_least: 1}}
)");
    RuleChecker checker(p);
    checker.record(settings(1, 0), 0);
    const auto results = checker.results();
    for (const char* name : {"value", "pairs", "gaps", "stable", "link"})
        EXPECT_EQ(named(results, name).outcome, Outcome::NotEvaluated) << name;
    EXPECT_EQ(named(results, "link").note, "not a live run");
    EXPECT_EQ(named(results, "sums").outcome, Outcome::Passed);
    // A presence rule is the one that speaks of absence.
    EXPECT_EQ(named(results, "count").outcome, Outcome::Failed);
    EXPECT_FALSE(anyErrorFailed({named(results, "value")}));
}

TEST(RuleChecker, FailuresCountWithTheirFirstRows) {
    const Profile p = load(R"(rules:
  - {name: few, scope: "7027", value: "7027.number_of_detection_points < 5"}
  - {name: soon, scope: "7000", presence: {every_seconds: 3}}
  - {name: gaps, scope: "7000", order: ping-gaps}
  - {name: back, order: time-increasing}
  - {name: freq, stable: vx.7000.frequency_hz}
  - {name: sums, integrity: checksums}
)");
    RuleChecker checker(p, {2, false});
    std::uint64_t row = 0;
    for (std::uint32_t ping : {1u, 2u, 3u, 6u, 7u}) {
        checker.record(settings(ping, ping), row++);
        checker.record(detections(ping, ping + 0.5), row++);
    }
    // Time going back, a late settings record, and a bad checksum.
    checker.record(settings(8, 2), row++);
    Bytes bad = settings(9, 40);
    bad[100] ^= 0xFF;
    checker.record(bad, row++);
    const auto results = checker.results();

    const RuleResult& few = named(results, "few");
    EXPECT_EQ(few.outcome, Outcome::Failed);
    EXPECT_EQ(few.judged, 5u);
    EXPECT_EQ(few.failures, 5u);  // the sample has more than 5 points
    ASSERT_EQ(few.rows.size(), 2u);  // only the first rows are kept
    EXPECT_EQ(few.rows[0].row, 1u);

    const RuleResult& gaps = named(results, "gaps");
    EXPECT_EQ(gaps.failures, 1u);  // 3 -> 6
    ASSERT_FALSE(gaps.rows.empty());
    EXPECT_EQ(gaps.rows[0].row, 6u);
    EXPECT_NE(gaps.rows[0].text.find("ping 6 after ping 3 (2 missing)"), std::string::npos);

    EXPECT_EQ(named(results, "soon").failures, 1u);  // 3 s to ping 6 is allowed, 33 s to the last one is not
    EXPECT_EQ(named(results, "back").failures, 1u);
    EXPECT_EQ(named(results, "back").rows[0].row, 10u);
    EXPECT_EQ(named(results, "freq").outcome, Outcome::Passed);
    EXPECT_EQ(named(results, "sums").failures, 1u);
    EXPECT_EQ(named(results, "sums").rows[0].row, 11u);
}

TEST(RuleChecker, RelationsPairByPingAndExcuseWhatALossTook) {
    const Profile p = load(R"(rules:
  - {name: each-ping, relation: {each: "7000", has: "7027", key: ping}}
  - {name: soon, relation: {each: "7000", has: "7027", within_seconds: 1}}
  - {name: lost, integrity: lost-packets}
)");
    {
        RuleChecker checker(p);
        // The detections may come before or after their settings; ping 2 has none.
        checker.record(detections(1, 0.1), 0);
        checker.record(settings(1, 0), 1);
        checker.record(settings(2, 5), 2);
        checker.record(settings(3, 10), 3);
        checker.record(detections(3, 10.5), 4);
        checker.record(settings(4, 15), 5);  // the ping under way when the run ends
        const auto results = checker.results();
        const RuleResult& r = named(results, "each-ping");
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_EQ(r.judged, 4u);
        ASSERT_EQ(r.failures, 1u);
        EXPECT_EQ(r.rows[0].row, 2u);
        EXPECT_EQ(r.rows[0].text, "no 7027 with device 7125, enumerator 0, ping 2");
        EXPECT_EQ(named(results, "soon").failures, 1u);
        EXPECT_EQ(named(results, "lost").outcome, Outcome::Passed);
    }
    {
        // A packet lost while ping 2 was under way: the loss is the verdict, not the pair.
        RuleChecker checker(p, {10, true});
        checker.record(settings(1, 0), 0);
        checker.record(detections(1, 0.1), 1);
        checker.record(settings(2, 5), 2);
        checker.textRow("TEXT Lost Packet", 0);
        checker.record(settings(3, 10), 3);
        checker.record(detections(3, 10.5), 4);
        const auto results = checker.results();
        EXPECT_EQ(named(results, "each-ping").outcome, Outcome::Passed);
        EXPECT_EQ(named(results, "soon").outcome, Outcome::Passed);
        EXPECT_EQ(named(results, "lost").failures, 1u);
    }
    {
        // The detections of 20,000 pings, then their settings: a pair is found
        // while its detections are among the latest 16,384 kept, the oldest are
        // forgotten, and what is forgotten does not hide what is kept.
        RuleChecker checker(p);
        std::uint64_t row = 0;
        for (std::uint32_t ping = 1; ping <= 20000; ++ping) checker.record(detections(ping, 0.5), row++);
        for (std::uint32_t ping = 1; ping <= 20000; ++ping) checker.record(settings(ping, 1), row++);
        const auto results = checker.results();
        const RuleResult& r = named(results, "each-ping");
        EXPECT_EQ(r.judged, 20000u);
        EXPECT_EQ(r.failures, 20000u - 16384u);
        ASSERT_FALSE(r.rows.empty());
        EXPECT_EQ(r.rows[0].row, 20000u);
        EXPECT_EQ(r.latest->row, 20000u + 20000u - 16384u - 1u);
    }
}

TEST(RuleChecker, ALogRulePassesAndListsEachChange) {
    const Profile p = load("rules:\n  - {name: log, log: vx.7000.ping_number}\n  - {name: same, stable: vx.7000.ping_number}\n");
    RuleChecker checker(p);
    for (std::uint32_t ping : {1, 2, 3, 3, 3, 1}) checker.record(settings(ping, ping), ping);
    const auto results = checker.results();
    EXPECT_EQ(named(results, "log").outcome, Outcome::Passed);
    EXPECT_EQ(named(results, "log").changes, 3u);
    EXPECT_EQ(named(results, "log").rows[2].text, "device 7125, enumerator 0: vx.7000.ping_number changed from 3 to 1");
    EXPECT_EQ(named(results, "log").rows[0].text, "device 7125, enumerator 0: vx.7000.ping_number changed from 1 to 2");
    EXPECT_EQ(named(results, "same").failures, 3u);
}

TEST(RuleChecker, DamageAndUnframedBytesReachTheIntegrityRulesOnly) {
    const Profile p = load(R"(rules:
  - {name: damage, integrity: damaged}
  - {name: lost, integrity: lost-packets}
  - {name: link, integrity: connection}
  - {name: value, value: "7000.frequency_hz > 0"}
)");
    RuleChecker checker(p, {10, true});
    checker.record(settings(1, 0), 1);
    Bytes cut = settings(2, 1);
    cut.resize(80);  // the walk ends before the frequency
    checker.record(cut, 2);
    checker.textRow("garbage", 3);
    checker.textRow("! ! ! 7000 DROPPED PING AFTER # 1", 4);  // the list's own note
    checker.textRow("TEXT Rows Left The List Early, It Holds At Most 48 MB Of Records", 4);  // so is this
    checker.textRow("TEXT 364 Bytes Skipped To The Next Sync Pattern", 4);  // a file read past damage
    checker.incident(Incident::ConnectionLost, 5, "the connection ended");
    const auto results = checker.results();
    EXPECT_EQ(named(results, "damage").failures, 2u);
    EXPECT_EQ(named(results, "damage").rows[0].row, 3u);
    EXPECT_EQ(named(results, "damage").rows[1].row, 4u);
    EXPECT_EQ(named(results, "lost").outcome, Outcome::Passed);
    EXPECT_EQ(named(results, "link").failures, 1u);
    EXPECT_EQ(named(results, "value").outcome, Outcome::Passed);
    EXPECT_EQ(named(results, "value").judged, 1u);
}

TEST(ProfileReport, JUnitCountsErrorsAndKeepsTheXmlWellFormed) {
    const Profile p = load(R"(profile: "a<b"
rules:
  - {name: "x&y", scope: "7000", value: "7000.frequency_hz < 0"}
  - {name: w, severity: warning, scope: "7000", value: "7000.frequency_hz < 0"}
  - {name: n, scope: "7027", value: "7027.number_of_detection_points > 0"}
)");
    RuleChecker checker(p);
    checker.record(settings(1, 0), 0);
    SourceVerdict v{"f\xff.vxr", checker.results(), {}};
    const std::string xml = verdictJUnit(p, {v});
    EXPECT_NE(xml.find("<testsuites name=\"a&lt;b\" tests=\"3\" failures=\"1\" errors=\"0\" skipped=\"1\">"),
              std::string::npos) << xml;
    EXPECT_NE(xml.find("name=\"x&amp;y\""), std::string::npos);
    EXPECT_NE(xml.find("<testsuite name=\"f?.vxr\""), std::string::npos);  // not UTF-8: made '?'
    EXPECT_NE(xml.find("<system-out>warning: 1 failures"), std::string::npos);
    const std::string json = verdictJson(p, {v});
    EXPECT_NE(json.find("\"passed\": false"), std::string::npos);
    EXPECT_NE(json.find("\"outcome\": \"not_evaluated\""), std::string::npos);
}

// The window's Rules pane, without its widgets: fed by the arrival pipeline.
#include "pipeline/arrival_pipeline.h"
#include "app/controls.h"
#include "app/memory_port.h"
#include "app/pipeline_port_display.h"
#include "app/rules_pane.h"

#include <fstream>

TEST(RulesPane, JudgesListedRecordsBeepsOnceAndRemembersItsProfile) {
    MemoryPort port;
    MemorySettingsStore store;
    PipelinePortDisplay display{port};
    CArrivalPipeline pipeline{display};
    std::deque<Bytes> pending;
    pipeline.takePending = [&] { return std::exchange(pending, {}); };
    pipeline.communicating = true;

    const std::string dir = ::testing::TempDir();
    const std::string path = dir + "/pane.yaml";
    std::ofstream(path) << "rules:\n  - {name: each-ping, relation: {each: \"7000\", has: \"7027\", key: ping}}\n"
                           "  - {name: sums, integrity: checksums}\n";
    RulesPane pane(port, store, pipeline);
    EXPECT_FALSE(pane.load(dir + "/missing.yaml", {}, false));
    ASSERT_EQ(port.messages.size(), 1u);
    ASSERT_TRUE(pane.load(path, {}, false));

    // 200 pings, each without its detections but the last: many failures, one beep.
    for (std::uint32_t ping = 1; ping <= 200; ++ping) pending.push_back(settings(ping, ping));
    pending.push_back(detections(200, 200.5));
    pending.push_back(settings(201, 201));
    pipeline.OnArrivalTimer();
    const auto rows = pane.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].red);
    EXPECT_EQ(rows[0].failures, 199u);
    ASSERT_TRUE(rows[0].latestRow);
    EXPECT_EQ(*rows[0].latestRow, 199u);  // ping 199's settings, the 199th record listed
    EXPECT_FALSE(rows[1].red);
    EXPECT_EQ(port.beeps.size(), 1u);

    // The next pane (the next start of the window) loads the same profile, and starts afresh.
    RulesPane again(port, store, pipeline);
    EXPECT_TRUE(again.loadRemembered({}, false));
    EXPECT_EQ(again.profilePath(), path);
    EXPECT_EQ(again.rows()[0].outcome, Outcome::NotEvaluated);
}

#include "app/tarvik_view.h"

TEST(RulesPane, TheWindowLoadsAProfileAndAClickedRuleSelectsItsLatestFailingRow) {
    MemoryPort port;
    MemorySettingsStore store;
    CMyTarvikView view{port, store};
    const std::string path = ::testing::TempDir() + "/window-pane.yaml";
    std::ofstream(path) << "rules:\n  - {name: each-ping, relation: {each: \"7000\", has: \"7027\", key: ping}}\n";
    port.fileAnswers.push_back({OpenFileResult::Status::Chosen, path});
    view.OnLoadProfile();
    ASSERT_TRUE(view.rules().loaded());
    EXPECT_TRUE(port.messages.empty());

    // Pings 1 to 3 arrive without their detections; the latest failing one is the list's third row.
    std::deque<Bytes> pending = {settings(1, 1), settings(2, 2), settings(3, 3), settings(4, 4)};
    view.pipeline().takePending = [&] { return std::exchange(pending, {}); };
    view.pipeline().communicating = true;
    port.setText(controls::kRecordFilter, "ALL RECORDS");
    view.OnTimer(timers::kArrival);
    const auto rows = view.rules().rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].red);
    ASSERT_TRUE(rows[0].latestRow);
    view.OnRuleClicked(0);
    ASSERT_TRUE(port.selectedRow);
    EXPECT_EQ(view.pipeline().row(*port.selectedRow)->number, *rows[0].latestRow);
    // A rule that is not there, or a click while nothing failed, changes nothing.
    port.selectedRow.reset();
    view.OnRuleClicked(7);
    EXPECT_FALSE(port.selectedRow);
}
