#pragma once
// Judges a profile's rules over a run of records taken one at a time, so that
// the same checker serves a live stream (as a sink of the arrival pipeline) and
// a file or a capture (fed by the whole-file check's pass). Besides records it
// takes what the reader noticed on the way (lost packets, damaged data, the
// connection ending), and at the end gives per rule: passed, failed (how many
// times, the first failing rows) or not evaluated (and why).

#include "core/bytes.h"
#include "profiles/profile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::profiles {

enum class Outcome { Passed, Failed, NotEvaluated };
const char* outcomeName(Outcome o);  // "pass", "fail", "not evaluated"

// A row a rule points at: the record's number in the run (a file's frame
// index from 0, the live list's record number), its time when it has one,
// and what was wrong there.
struct RuleRow {
    std::uint64_t row = 0;
    std::optional<double> time;  // seconds since 1970, UTC
    std::string text;
};

struct RuleResult {
    std::string name;
    std::string description;
    Severity severity = Severity::Error;
    CheckKind kind = CheckKind::Value;
    Outcome outcome = Outcome::NotEvaluated;
    std::uint64_t judged = 0;    // records (or pings, pairs) the rule judged
    std::uint64_t failures = 0;  // of them, those that failed
    std::vector<RuleRow> rows;   // the first failing rows (a log rule: the first changes)
    std::optional<RuleRow> latest;  // the failing row furthest on in the run
    std::uint64_t changes = 0;   // a log rule: changes seen
    std::string note;            // not evaluated: why; otherwise what was judged
};

// Things the reader saw that are not records.
enum class Incident {
    LostPacket,      // a packet of a record lost on the way (live or in a capture)
    Damaged,         // bytes that are not a whole, sound frame
    ConnectionLost,  // the connection ended without being asked to
};

struct CheckerOptions {
    std::size_t rowsKept = 10;  // failing rows kept per rule (the rest are counted)
    bool live = false;          // a live run: connection rules are judged
};

class RuleChecker {
public:
    RuleChecker(const Profile& profile, CheckerOptions options = {});
    ~RuleChecker();
    RuleChecker(const RuleChecker&) = delete;
    RuleChecker& operator=(const RuleChecker&) = delete;

    // The next record of the run (a frame as it was read or received).
    void record(ByteSpan frame, std::uint64_t row);
    // Something the reader saw at this point of the run.
    void incident(Incident what, std::uint64_t row, std::string text);
    // A text row of a live list ("TEXT Lost Packet" and the like): taken as
    // the incident it stands for.
    void textRow(std::string_view text, std::uint64_t row);

    // The verdicts so far, rule by rule in the profile's order; a run that
    // goes on may ask again. `finished` judges what waits for the end (counts,
    // pairs not found, the time since the last record).
    std::vector<RuleResult> results(bool finished = true) const;

    const Profile& profile() const { return profile_; }

private:
    struct State;
    const Profile& profile_;
    CheckerOptions options_;
    std::unique_ptr<State> state_;
};

// Error rules failed: the run fails (warnings alone do not make it fail).
bool anyErrorFailed(const std::vector<RuleResult>& results);

} // namespace tarvik::profiles
