#pragma once
// A packet capture as a record source: indexed in one pass (frames), with the
// capture's text lines ("TEXT Lost Packet") between them; each frame keeps
// where and when it was seen. Frames are read from the capture itself, those
// put together from several packets piece by piece; only frames whose bytes
// the capture does not hold as they are (a packet split across TCP segments,
// segments resent or out of order) are copied aside.

#include "capture/capture_file.h"
#include "core/record_file.h"
#include "core/record_source.h"

#include <optional>
#include <string>

namespace tarvik::capture {

class CaptureRecordSource final : public IndexedRecordSource {
public:
    // Reads the capture and lists the rows under the current filter. False
    // when nothing could be read (`message` says why); true with a message
    // when the capture ended early (what it held is listed).
    bool build(const std::string& path, const CaptureOptions& options, std::string& message);

    std::string name() const override { return path_; }
    std::string path() const override { return path_; }
    Bytes readFrame(std::size_t position) const override;
    std::optional<RecordOrigin> frameOrigin(std::size_t position) const override;
    // The frames back to back as one record file, written out the first time
    // it is asked for (a reader of record files, such as the condensed copy).
    const RecordFile* frameFile() const override { return capture_.recordFile(index()); }

    const CaptureRecordFile& capture() const { return capture_; }
    // Frames copied aside rather than read from the capture.
    std::uint64_t copiedFrames() const { return capture_.copiedFrames(); }

private:
    std::string path_;
    CaptureRecordFile capture_;
};

} // namespace tarvik::capture
