#include "export/record_sources.h"

#include "capture/capture_file.h"
#include "capture/capture_source.h"
#include "core/record_file_source.h"
#include "core/text.h"

#include <algorithm>

namespace tarvik {

OpenedSource openRecordSource(const std::string& path, const std::vector<std::uint16_t>& capturePorts,
                              bool readPastDamage) {
    OpenedSource out;
    if (capture::isCaptureFile(path)) {
        auto capture = std::make_shared<capture::CaptureRecordSource>();
        capture::CaptureOptions options;
        options.ports = capturePorts;
        std::string message;
        if (!capture->build(path, options, message)) {
            out.error = message;
            return out;
        }
        // One warning per line: the early end, each stream given up.
        for (std::size_t at = 0; at < message.size();) {
            const std::size_t end = std::min(message.find('\n', at), message.size());
            out.warnings.push_back(message.substr(at, end - at));
            at = end + 1;
        }
        // Damaged packets are rows of the list, not records: a caller that
        // sees only the records is told they were there.
        if (const std::uint64_t damaged = capture->capture().counts().damaged; damaged > 0)
            out.warnings.push_back(strprintf("the capture %s holds %llu damaged packet%s (not record frames), "
                                             "left out of its records",
                                             shownName(path).c_str(), static_cast<unsigned long long>(damaged),
                                             damaged == 1 ? "" : "s"));
        out.source = std::move(capture);
        return out;
    }
    auto file = std::make_shared<FileRecordSource>();
    if (!file->open(path)) {
        out.error = file->openFailure(path);  // the window's text
        return out;
    }
    std::optional<std::string> problem = file->build(readPastDamage);
    if (!file->catalogDisagreement().empty()) out.warnings.push_back(file->catalogDisagreement());
    if (problem) out.warnings.push_back(*problem);
    if (std::optional<std::string> cut = file->cutFrameMessage()) out.warnings.push_back(std::move(*cut));
    out.source = std::move(file);
    return out;
}

FileCheckResult checkRecordSource(const FileChecker& checker, const std::string& path,
                                  const std::vector<std::uint16_t>& capturePorts,
                                  const CheckedFrameObserver& observer) {
    if (!capture::isCaptureFile(path)) return checker.check(path, observer);
    // A capture's frames are checked as the record file they make.
    capture::CaptureRecordFile captured;
    RecordIndex index;
    std::string message;
    capture::CaptureOptions options;
    options.ports = capturePorts;
    FileCheckResult result;
    if (!captured.load(path, options, index, message)) {
        result.path = path;
        result.unreadable = message;
        return result;
    }
    result = checker.check(captured.temporaryPath(), observer);
    result.path = path;
    // What the capture itself lost is a problem of the file like a broken
    // frame; a capture cut short is checked as far as it goes.
    CheckProblemList& list = result.problems[static_cast<std::size_t>(CheckProblemKind::Capture)];
    for (const capture::CaptureProblem& p : captured.problems())
        if (list.first.size() < checker.options().keepPerKind)
            list.first.push_back({CheckProblemKind::Capture, p.framesBefore, p.offset, p.text});
    list.count += captured.problemCount();
    return result;
}

} // namespace tarvik
