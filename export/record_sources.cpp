#include "export/record_sources.h"

#include "capture/capture_file.h"
#include "capture/capture_source.h"
#include "core/record_file_source.h"
#include "core/text.h"

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
        if (!message.empty()) out.warnings.push_back(message);
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
    if (!message.empty() && !result.unreadable) result.unreadable = message;
    return result;
}

} // namespace tarvik
