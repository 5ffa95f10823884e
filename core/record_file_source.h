#pragma once
// A record file as a record source: its index comes from the file's catalog
// when that is usable, else from a walk over the frames; frames are read back
// from the file when a row asks for them.

#include "core/record_file.h"
#include "core/record_source.h"

#include <optional>
#include <string>

namespace tarvik {

class FileRecordSource final : public IndexedRecordSource {
public:
    // Opens the file; false (and the reason in file().lastError()) when it cannot be read.
    bool open(const std::string& path);
    // What the window says when open(path) failed: the fixed line, then why
    // (what the path is when it is not a regular file, otherwise the system's reason).
    std::string openFailure(const std::string& path) const;
    // (Re)builds the index in one pass and lists the rows under the current
    // filter. Returns the message to show when the walk stopped at a broken
    // frame. Reading past damage, the walk goes on at the next sync pattern
    // instead, with a text row saying how many bytes it skipped.
    std::optional<std::string> build(bool readPastDamage = false);
    // The walk went on past a broken frame at least once.
    bool skippedDamage() const { return !textRows().empty(); }

    std::string name() const override { return file_.path(); }
    std::string path() const override { return file_.path(); }
    Bytes readFrame(std::size_t position) const override;
    const RecordFile* frameFile() const override { return &file_; }
    bool entriesKeepHeader() const override { return true; }

    const RecordFile& file() const { return file_; }
    // Why the file's catalog was not used (it disagrees with the frames it
    // points at), empty when it was used or there was none.
    const std::string& catalogDisagreement() const { return catalogDisagreement_; }
    // What to tell the user when the file ends inside its last listed frame
    // (the frame is listed, with the bytes that are there); nullopt when every
    // listed frame is whole.
    std::optional<std::string> cutFrameMessage() const;

private:
    RecordFile file_;
    std::string catalogDisagreement_;
};

// The text row for bytes a walk skipped to reach the next frame (or the end of the file).
std::string skippedBytesText(std::uint64_t bytes, bool toEnd);

} // namespace tarvik
