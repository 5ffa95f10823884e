#pragma once
// The frames of a record file one after another, read through a sliding
// window of the file: memory stays bounded by the window and the largest frame
// held, however long the file. A broken frame is stepped over to the next sync
// pattern; a frame too large to hold is skipped. Both are counted and described.

#include "core/bytes.h"
#include "core/file_window.h"
#include "core/record_file.h"
#include "core/result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::compare {

struct StreamedFrame {
    ByteSpan bytes;             // valid until the next call of next()
    std::uint64_t position = 0; // the frame's number in the file, from 0 (what the list shows)
    std::uint64_t offset = 0;   // where it starts in the file
};

class FrameStream {
public:
    // Frames above this size are not held: they are skipped and counted.
    static constexpr std::uint32_t kMaxFrame = std::uint32_t{64} << 20;

    static Result<std::unique_ptr<FrameStream>> open(const std::string& path);

    // The next frame, or nullopt at the end of the file.
    std::optional<StreamedFrame> next();
    // The bytes of a frame met earlier, read again (empty when they cannot be).
    Bytes reread(std::uint64_t offset, std::uint32_t size) const;

    const std::string& path() const { return file_.path(); }
    // What was stepped over, one line each (at most a few are kept; see skipped()).
    const std::vector<std::string>& notes() const { return notes_; }
    std::uint64_t skipped() const { return skipped_; }

private:
    FrameStream() = default;
    void note(std::string text);

    RecordFile file_;
    std::uint64_t fileSize_ = 0;
    std::unique_ptr<FileWindow> window_;
    std::uint64_t offset_ = 0;
    std::uint64_t position_ = 0;
    std::vector<std::string> notes_;
    std::uint64_t skipped_ = 0;
};

} // namespace tarvik::compare
