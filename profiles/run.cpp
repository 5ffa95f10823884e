#include "profiles/run.h"

#include "core/text.h"
#include "sources/open_source.h"

namespace tarvik::profiles {

namespace {

// Problems of the file itself said as notes beside the verdicts, so that a
// profile without an integrity rule still tells of them (a few per kind).
constexpr std::size_t kNotesPerKind = 3;

std::vector<std::string> notesOf(const FileCheckResult& checked) {
    std::vector<std::string> notes;
    for (CheckProblemKind kind : {CheckProblemKind::Sync, CheckProblemKind::Size, CheckProblemKind::Truncated,
                                  CheckProblemKind::Catalog, CheckProblemKind::Capture}) {
        const CheckProblemList& list = checked.of(kind);
        const std::string name(checkProblemName(kind));
        std::size_t shown = 0;
        for (; shown < list.first.size() && shown < kNotesPerKind; ++shown)
            notes.push_back(name + ": frame " + std::to_string(list.first[shown].index) + ": " + list.first[shown].text);
        if (list.count > shown)
            notes.push_back(strprintf("%s: %llu more", name.c_str(), static_cast<unsigned long long>(list.count - shown)));
    }
    return notes;
}

} // namespace

Result<SourceVerdict> judgeFile(const Profile& profile, const FileChecker& checker, const std::string& path,
                                const std::vector<std::uint16_t>& capturePorts, CheckerOptions options) {
    options.live = false;
    RuleChecker rules(profile, options);
    // One pass: the check hands over each frame, and the rows a capture lists
    // between its frames (its lost packets) where they stand among them.
    const FileCheckResult checked = checkRecordSource(
        checker, path, capturePorts,
        [&](const CheckedFrame& f) {
            // A frame too large to hold, or cut off by the end of the file, has no
            // bytes here: the check reports it, and it reaches the rules as damage.
            if (!f.bytes.empty()) rules.record(f.bytes, f.index);
        },
        [&](std::uint64_t framesBefore, const std::string& text) { rules.textRow(text, framesBefore); });
    if (checked.unreadable) return failure(*checked.unreadable);
    auto feed = [&](CheckProblemKind kind, Incident as) {
        const CheckProblemList& list = checked.of(kind);
        for (const CheckProblem& p : list.first) {
            // Each lost record reached the rules as its own "TEXT Lost Packet" row.
            if (kind == CheckProblemKind::Capture && p.text.find(kRecordsNeverAllCame) != std::string::npos) continue;
            rules.incident(as, p.index, p.text);
        }
        for (std::uint64_t more = list.first.size(); more < list.count; ++more)
            rules.incident(as, 0, "none shown: more " + std::string(checkProblemName(kind)) + " problems");
    };
    for (CheckProblemKind kind : {CheckProblemKind::Sync, CheckProblemKind::Size, CheckProblemKind::Truncated,
                                  CheckProblemKind::Layout})
        feed(kind, Incident::Damaged);
    feed(CheckProblemKind::Capture, Incident::LostPacket);
    SourceVerdict verdict;
    verdict.source = path;
    verdict.warnings = notesOf(checked);
    verdict.results = rules.results(true);
    return verdict;
}

} // namespace tarvik::profiles
