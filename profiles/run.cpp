#include "profiles/run.h"

#include "sources/open_source.h"

namespace tarvik::profiles {

Result<SourceVerdict> judgeFile(const Profile& profile, const FileChecker& checker, const std::string& path,
                                const std::vector<std::uint16_t>& capturePorts, CheckerOptions options) {
    options.live = false;
    RuleChecker rules(profile, options);
    // The rows the source lists between its frames (a capture's lost packets)
    // reach the rules where they stand among the frames.
    std::vector<IndexedRecordSource::TextRow> texts;
    std::vector<std::string> warnings;
    {
        // Closed again before the check reads the file on its own.
        SourceOptions sourceOptions;
        sourceOptions.capturePorts = capturePorts;
        const Result<OpenedSource> opened = openSource(path, sourceOptions);
        if (opened && opened->source) {
            texts = opened->source->textRows();
            warnings = opened->warnings();
        }
    }
    std::size_t nextText = 0;
    auto textsBefore = [&](std::uint64_t frames) {
        for (; nextText < texts.size() && texts[nextText].framesBefore <= frames; ++nextText)
            rules.textRow(texts[nextText].text, frames);
    };
    const FileCheckResult checked = checkRecordSource(checker, path, capturePorts, [&](const CheckedFrame& f) {
        textsBefore(f.index);
        // A frame too large to hold, or cut off by the end of the file, has no
        // bytes here: the check reports it, and it reaches the rules as damage.
        if (!f.bytes.empty()) rules.record(f.bytes, f.index);
    });
    textsBefore(UINT64_MAX);
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
    verdict.warnings = std::move(warnings);
    verdict.results = rules.results(true);
    return verdict;
}

} // namespace tarvik::profiles
