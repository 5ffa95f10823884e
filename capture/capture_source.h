#pragma once
// A packet capture as a record source: read in one pass into a temporary
// record file and its index (frames), with the capture's text lines ("TEXT
// Lost Packet") between them; each frame keeps where and when it was seen.

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
    const RecordFile* frameFile() const override { return &records_; }

    const CaptureRecordFile& capture() const { return capture_; }
    // The temporary record file the frames were written to (frames back to
    // back, no file header record).
    const RecordFile& records() const { return records_; }

private:
    std::string path_;
    CaptureRecordFile capture_;
    RecordFile records_;
};

} // namespace tarvik::capture
