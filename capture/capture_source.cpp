#include "capture/capture_source.h"

namespace tarvik::capture {

bool CaptureRecordSource::build(const std::string& path, const CaptureOptions& options, std::string& message) {
    clearEntries();
    path_ = path;
    CaptureRecordFile::Sink sink;
    sink.frame = [this](const RecordIndexEntry& entry) { addFrame(entry); };
    sink.text = [this](std::string text, const CaptureEntry&) { addText(std::move(text)); };
    capture_.leaveFramesInCapture = true;
    const bool ok = capture_.load(path, options, sink, message);
    capture_.forgetTemporaryFile();
    if (!ok) clearEntries();
    rebuildRows();
    return ok;
}

Bytes CaptureRecordSource::readFrame(std::size_t position) const {
    if (position >= index().size()) return {};
    return capture_.readFrame(position, index()[position]);
}

std::optional<RecordOrigin> CaptureRecordSource::frameOrigin(std::size_t position) const {
    if (position >= index().size()) return std::nullopt;
    const CaptureEntry e = CaptureEntry::of(index()[position]);
    RecordOrigin origin;
    origin.seconds = e.time.seconds;
    origin.microseconds = e.time.nanoseconds / 1000;
    if (e.stream < capture_.streams().size()) origin.stream = streamText(capture_.streams()[e.stream]);
    return origin;
}

} // namespace tarvik::capture
