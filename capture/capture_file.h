#pragma once
// A packet capture read as a record file. One pass over the capture writes
// its records back to back into a temporary record file and builds the record
// index as it goes; each index position also keeps the capture time and the
// stream of its record. The temporary file lives in memory (an anonymous
// memory file) up to kMemoryBytes, which makes opening a capture about as
// fast as reading it; a larger capture moves it to a file in the temporary
// folder, so memory stays bounded whatever the capture's size.

#include "capture/capture_reader.h"
#include "core/record_index.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvik::capture {

// What the index cannot say about a record of a capture. The index entries of
// a capture carry it in their last 16 bytes, which a record file's catalog
// leaves unused, so that a capture's index costs no more memory than a file's.
struct CaptureEntry {
    CaptureTime time;
    std::uint32_t stream = 0;
    bool text = false;  // a text line ("TEXT Lost Packet"), not a frame

    static constexpr std::size_t kAt = 32;
    static CaptureEntry of(const RecordIndexEntry& entry);
    void storeIn(RecordIndexEntry& entry) const;
};

// Something wrong with the capture itself, where it happened in the list of
// its frames: a packet that is not a record frame, a stream given up for the
// memory budget, the capture ending early.
struct CaptureProblem {
    std::uint64_t framesBefore = 0;  // frames listed before it
    std::uint64_t offset = 0;        // byte offset of the next frame in the temporary record file
    std::string text;
};

class CaptureRecordFile {
public:
    CaptureRecordFile() = default;
    ~CaptureRecordFile();
    CaptureRecordFile(const CaptureRecordFile&) = delete;
    CaptureRecordFile& operator=(const CaptureRecordFile&) = delete;

    // Where the records go as the capture is read, in order: each frame's
    // index entry (its bytes are in the temporary file, its capture time and
    // stream in the entry), and each text line ("TEXT Lost Packet").
    struct Sink {
        std::function<void(const RecordIndexEntry&)> frame;
        std::function<void(std::string text, const CaptureEntry&)> text;
    };
    // Reads the capture into a new temporary record file. False when the
    // capture cannot be read at all or the temporary file cannot be written;
    // `message` then says why. A capture that ends early, or whose reader had
    // to give up a stream, keeps what it held, returns true and leaves the
    // reasons in `message`, one a line.
    bool load(const std::string& capturePath, const CaptureOptions& options, const Sink& sink, std::string& message);
    // The same, with every frame's entry into `index` (text lines are left out).
    bool load(const std::string& capturePath, const CaptureOptions& options, RecordIndex& index,
              std::string& message);
    // Records held in memory before they move to a file on disk.
    static constexpr std::uint64_t kMemoryBytes = 512ull << 20;
    std::uint64_t memoryBytes = kMemoryBytes;

    // The temporary record file, to be opened like any record file while this
    // object lives (a path of this process's open files for one in memory).
    const std::string& temporaryPath() const { return path_; }
    // Removes the name of a temporary file on disk: what is open of it stays readable.
    void forgetTemporaryFile();
    void clear();

    bool loaded() const { return !path_.empty(); }
    const std::vector<StreamInfo>& streams() const { return streams_; }
    const CaptureCounts& counts() const { return counts_; }
    // The first of the problems met while loading (problemCount() in all).
    const std::vector<CaptureProblem>& problems() const { return problems_; }
    std::uint64_t problemCount() const { return problemCount_; }
    static constexpr std::size_t kKeptProblems = 64;
    // The line the report shows above the frame header of a captured record:
    // "Captured YYYY-MM-DD HH:MM:SS.nnnnnnnnn UTC, TCP a.b.c.d:p -> a.b.c.d:p (server to client)".
    std::string caption(const RecordIndexEntry& entry) const;

private:
    bool spill(int& fd, std::string& message);
    int memoryFd_ = -1;     // the memory file, kept open while it is in use
    std::string path_;      // what to open
    std::string diskFile_;  // the name of a temporary file on disk, until forgotten
    void addProblem(std::uint64_t framesBefore, std::uint64_t offset, std::string text);
    std::vector<StreamInfo> streams_;
    CaptureCounts counts_;
    std::vector<CaptureProblem> problems_;
    std::uint64_t problemCount_ = 0;
};

} // namespace tarvik::capture
