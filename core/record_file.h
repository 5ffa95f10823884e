#pragma once
// Reading record files: a file of Data Record Frames back to back, optionally
// opened by a file header record (7200) that points at a closing file catalog
// record (7300). The index comes from the catalog when it is usable, else from
// a walk over the frames.

#include "core/bytes.h"
#include "core/record_index.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace tarvik {

inline constexpr std::uint32_t kFileHeaderRecordType = 7200;
inline constexpr std::uint32_t kFileCatalogRecordType = 7300;

// An open record file, read with positioned reads (offsets are 64-bit).
class RecordFile {
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens a regular file for binary reading; on failure returns false and
    // keeps the reason: errno's text, or what the path is when it is not a
    // regular file (a directory, a FIFO, a device), which is refused at once.
    bool open(const std::string& path);
    // The last open failed because the path is not a regular file.
    bool notRegularFile() const { return notRegular_; }
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    const std::string& lastError() const { return error_; }
    // The open descriptor (-1 when closed), for readers that map the file.
    int descriptor() const { return fd_; }

    // Current length of the file (it may still be growing).
    std::uint64_t size() const;
    // The first offset at or after `offset` that may hold data: holes of a
    // sparse file read as zeros and can be skipped. `offset` itself when the
    // file system cannot tell; the file's size when only a hole follows.
    std::uint64_t nextData(std::uint64_t offset) const;
    // Reads up to out.size() bytes at `offset`; returns the count read (short at end of file).
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
    bool notRegular_ = false;
};

// What a path is when it is not a regular file ("it is a directory", ...),
// from its st_mode; nullopt for a regular file.
std::optional<std::string> notRegularFileText(unsigned mode);

// Reads an entry's frame: Size bytes at its offset, clamped to what the file holds.
Bytes ReadFrame(const RecordFile& file, const RecordIndexEntry& entry);

// Fills the index from the file's catalog. False (and the index left empty)
// when the file has no usable catalog. Each entry is checked against the frame
// it points at (sync pattern, Size, record type); when one disagrees the
// catalog is not used and `disagreement`, when given, says which and why.
bool ReadCatalog(const RecordFile& file, RecordIndex& index, std::string* disagreement = nullptr);

// Fills the index by walking the frames. Returns the message to show the user
// when the walk stopped at a broken frame (nullopt when it simply ran out).
std::optional<std::string> ScanFrames(const RecordFile& file, RecordIndex& index);

// Reading past damage: where a frame is broken (no sync pattern, a Size
// smaller than the header) the walk goes on at the next sync pattern that
// starts a frame, and `skipped(at, bytes)` is told what it passed over (to the
// end of the file when no frame follows). Returns nullopt, or the message of
// an empty or too small file.
std::optional<std::string> ScanFramesPastDamage(const RecordFile& file, RecordIndex& index,
                                                const std::function<void(std::uint64_t at, std::uint64_t bytes)>& skipped);

// The offset of the next frame after `from`: a sync pattern in place and a
// Size that holds at least the header. nullopt when none follows in the file.
std::optional<std::uint64_t> FindNextFrame(const RecordFile& file, std::uint64_t from);

// The record-type filter rule: everything passes "ALL RECORDS"; otherwise a type
// passes when its decimal text occurs anywhere in the filter text.
inline constexpr std::string_view kAllRecords = "ALL RECORDS";
bool passesRecordFilter(std::string_view filterText, std::uint32_t recordType);

} // namespace tarvik
