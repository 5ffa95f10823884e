#pragma once
// A packet capture read as a record file. One pass over the capture builds
// the record index as it goes; each index position also keeps the capture
// time and the stream of its record. The index's offsets are those of the
// frames written back to back as one record file, which load() writes to a
// temporary file. A reader that only needs each frame's bytes can leave the
// frames in the capture (leaveFramesInCapture): a frame that lies whole in one
// packet is then read from the capture by offset, one put together from
// several whole packets piece by piece, and only the frames whose bytes the
// capture does not hold as they are (a packet split across TCP segments,
// segments resent or out of order) are copied aside. The
// temporary file lives in memory (an anonymous memory file) up to
// kMemoryBytes; past that it moves to a file in the temporary folder, so
// memory stays bounded whatever the capture's size.

#include "capture/capture_reader.h"
#include "core/record_file.h"
#include "core/record_index.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tarvik {
class FileWindow;
}

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

// Records written back to back into a new temporary file: an anonymous
// memory file up to `memoryBytes`, then a file in the temporary folder.
class TemporaryRecords {
public:
    TemporaryRecords() = default;
    ~TemporaryRecords();
    TemporaryRecords(const TemporaryRecords&) = delete;
    TemporaryRecords& operator=(const TemporaryRecords&) = delete;

    // Starts an empty file. False with `message` saying why.
    bool create(std::uint64_t memoryBytes, std::string& message);
    // Makes an empty file start at `offset`: the bytes before it are a hole
    // that takes no room (they read as zeros). False when it cannot.
    bool startAt(std::uint64_t offset);
    // Appends bytes (written out a megabyte at a time). False once a write failed.
    bool append(ByteSpan bytes);
    // Writes out what is buffered. False with `message` saying why, when a write failed.
    bool finish(std::string& message);
    std::uint64_t size() const { return size_; }
    // What to open, while this object lives (a path of this process's open
    // files for one in memory).
    const std::string& path() const { return path_; }
    // Removes the name of a file on disk: what is open of it stays readable.
    void forgetName();
    void clear();

private:
    bool spill();
    std::uint64_t memoryBytes_ = 0;
    int memoryFd_ = -1;     // the memory file, kept open while it is in use
    int fd_ = -1;           // where the bytes go
    std::string path_;
    std::string diskFile_;  // the name of a file on disk, until forgotten
    Bytes pending_;
    std::uint64_t size_ = 0;
    std::uint64_t hole_ = 0;  // bytes at the start never written (startAt)
    int error_ = 0;         // errno of the failed write, -1 for a failed move to disk
    std::string failure_;
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
    // With `bytes` set, each frame's bytes go to it (after its entry) and
    // not to the temporary file, until it refuses one (returns false): that
    // frame and every one after it are then written to the temporary file at
    // the offsets their entries give, with a hole before them. Without
    // leaveFramesInCapture only.
    struct Sink {
        std::function<void(const RecordIndexEntry&)> frame;
        std::function<void(std::string text, const CaptureEntry&)> text;
        std::function<bool(ByteSpan frame)> bytes;
    };
    // Reads the capture into a new temporary record file (see Sink::bytes
    // for one that needs none). False when the
    // capture cannot be read at all or the temporary file cannot be written;
    // `message` then says why. A capture that ends early, or whose reader had
    // to give up a stream, keeps what it held, returns true and leaves the
    // reasons in `message`, one a line.
    bool load(const std::string& capturePath, const CaptureOptions& options, const Sink& sink, std::string& message);
    // The same, with every frame's entry into `index` (text lines are left out).
    bool load(const std::string& capturePath, const CaptureOptions& options, RecordIndex& index,
              std::string& message);
    // Records held in memory before they move to a file on disk (with
    // leaveFramesInCapture: the copies kept in memory before the rest go to one).
    static constexpr std::uint64_t kMemoryBytes = 512ull << 20;
    std::uint64_t memoryBytes = kMemoryBytes;
    // Frames that lie whole in one packet stay in the capture and are read
    // from it with readFrame(); the temporary file then holds only the others.
    bool leaveFramesInCapture = false;

    // The temporary record file, to be opened like any record file while this
    // object lives (a path of this process's open files for one in memory).
    const std::string& temporaryPath() const { return temporary_.path(); }
    // Removes the name of a temporary file on disk: what is open of it stays readable.
    void forgetTemporaryFile();
    void clear();

    // With leaveFramesInCapture: the bytes of frame `position` of the index
    // (`entry` its entry), read from the capture or from the temporary file.
    // A frame the capture no longer holds as it was read (the file was cut
    // short or written over meanwhile) comes back as a text line saying so.
    Bytes readFrame(std::size_t position, const RecordIndexEntry& entry) const;
    // Frames copied aside (put together from packets that are not all found
    // in the capture as they are, such as a packet split across TCP segments).
    std::uint64_t copiedFrames() const { return copied_; }
    // With leaveFramesInCapture: the frames of `index` written back to back as
    // one record file (the file load() writes without it), made on the first
    // call; nullptr when it cannot be written.
    const RecordFile* recordFile(const RecordIndex& index) const;

    bool loaded() const { return !temporaryPath().empty(); }
    const std::vector<StreamInfo>& streams() const { return streams_; }
    const CaptureCounts& counts() const { return counts_; }
    // The first of the problems met while loading (problemCount() in all).
    const std::vector<CaptureProblem>& problems() const { return problems_; }
    std::uint64_t problemCount() const { return problemCount_; }
    // Records of which bytes never came ("TEXT Lost Packet" lines).
    std::uint64_t lostPackets() const { return lostPackets_; }
    static constexpr std::size_t kKeptProblems = 64;
    // The line the report shows above the frame header of a captured record:
    // "Captured YYYY-MM-DD HH:MM:SS.nnnnnnnnn UTC, TCP a.b.c.d:p -> a.b.c.d:p (server to client)".
    std::string caption(const RecordIndexEntry& entry) const;

private:
    TemporaryRecords temporary_;
    // With leaveFramesInCapture: the capture (the file libpcap read), the
    // frames copied aside, and where each frame lies: an offset into the
    // capture; with kCopied set, a place in memory (block and offset within
    // it) or with kOnDisk too, an offset into the temporary file.
    // With kPieces set, the place is the first of the frame's pieces: a frame
    // put together from several packets whose every piece lies in the capture
    // is read from there, piece by piece, instead of being copied.
    static constexpr std::uint64_t kCopied = std::uint64_t{1} << 63, kOnDisk = std::uint64_t{1} << 62,
                                   kPieces = std::uint64_t{1} << 61;
    static constexpr unsigned kBlockBits = 24;  // 16 MiB blocks
    std::uint64_t copy(ByteSpan frame);
    RecordFile captureFile_;
    // Blocks are mapped memory of their own, in huge pages where the system
    // allows: a page fault per 4 KiB would cost more than the copy itself.
    struct BlockRelease {
        void* base = nullptr;
        std::size_t length = 0;
        void operator()(std::uint8_t*) const;
    };
    using Block = std::unique_ptr<std::uint8_t[], BlockRelease>;
    static Block newBlock(std::size_t size);
    std::vector<Block> blocks_;
    std::vector<std::size_t> blockSizes_;
    std::size_t blockUsed_ = 0;
    std::uint64_t memoryUsed_ = 0;
    RecordFile copies_;  // the temporary file, for copies beyond the memory allowed
    std::vector<std::uint64_t> places_;
    // The pieces of frames put together from several packets, each an offset
    // into the capture (high bits) and a length (the low kPieceLengthBits),
    // a frame's pieces one after another.
    static constexpr unsigned kPieceLengthBits = 24;
    bool keepPieces(std::span<const CapturedPiece> pieces);
    // A frame read from the capture, or the text saying the capture changed
    // since it was read.
    static Bytes checkedInCapture(Bytes bytes, const RecordIndexEntry& entry);
    // Reads of the capture, through `window` when one is given.
    Bytes readFrame(std::size_t position, const RecordIndexEntry& entry, FileWindow* window) const;
    std::size_t readCapture(std::uint64_t at, std::span<std::uint8_t> out, FileWindow* window) const;
    // (In blocks: a capture of millions of pieces never moves them.)
    std::deque<std::uint64_t> pieces_;
    std::uint64_t copied_ = 0;
    // The whole record file, once asked for.
    struct Whole {
        std::once_flag made;
        TemporaryRecords temporary;
        RecordFile file;
        bool ok = false;
    };
    mutable std::unique_ptr<Whole> whole_;
    void addProblem(std::uint64_t framesBefore, std::uint64_t offset, std::string text);
    std::vector<StreamInfo> streams_;
    CaptureCounts counts_;
    std::vector<CaptureProblem> problems_;
    std::uint64_t problemCount_ = 0;
    std::uint64_t lostPackets_ = 0;
};

} // namespace tarvik::capture
