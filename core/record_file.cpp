#include "core/record_file.h"

#include "core/read_ahead.h"
#include "core/text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

RecordFile::~RecordFile() { close(); }

std::optional<std::string> notRegularFileText(unsigned mode) {
    if (S_ISREG(mode)) return std::nullopt;
    if (S_ISDIR(mode)) return "it is a directory";
    if (S_ISFIFO(mode)) return "it is a FIFO (named pipe), not a record file";
    if (S_ISSOCK(mode)) return "it is a socket, not a record file";
    if (S_ISCHR(mode)) return "it is a character device, not a record file";
    if (S_ISBLK(mode)) return "it is a block device, not a record file";
    return "it is not a regular file";
}

bool RecordFile::open(const std::string& path) {
    close();
    notRegular_ = false;
    // Non-blocking, so that a FIFO without a writer cannot hold the open; only
    // regular files are read, and they never block.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error_ = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (auto what = notRegularFileText(st.st_mode)) {
        error_ = *what;
        notRegular_ = true;
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    path_ = path;
    error_.clear();
    return true;
}

void RecordFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
}

std::uint64_t RecordFile::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t RecordFile::nextData(std::uint64_t offset) const {
    if (fd_ < 0 || offset > static_cast<std::uint64_t>(INT64_MAX)) return offset;
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
    if (at >= 0) return std::max<std::uint64_t>(offset, static_cast<std::uint64_t>(at));
    return errno == ENXIO ? std::max(offset, size()) : offset;
}

std::size_t RecordFile::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    int failure = 0;
    return readFully(fd_, offset, out, failure);
}

Bytes ReadFrame(const RecordFile& file, const RecordIndexEntry& entry) {
    std::uint64_t fileSize = file.size();
    std::uint64_t offset = entry.offset();
    if (offset >= fileSize) return {};
    std::uint64_t count = std::min<std::uint64_t>(entry.size(), fileSize - offset);
    Bytes frame(static_cast<std::size_t>(count));
    frame.resize(file.readAt(offset, frame));
    return frame;
}

namespace {

// Sequential header reads through one large buffer: a walk over small frames
// costs a memory copy per frame instead of a system call.
class BufferedReader {
public:
    explicit BufferedReader(const RecordFile& file) : file_(file) {}

    // Copies up to out.size() bytes at `offset`; returns the count available.
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset < start_ || offset + out.size() > start_ + filled_) refill(offset, out.size());
        if (offset < start_) return 0;
        std::uint64_t rel = offset - start_;
        if (rel >= filled_) return 0;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), filled_ - rel));
        std::memcpy(out.data(), buffer_.data() + rel, n);
        ++servedSinceRefill_;
        return n;
    }

private:
    void refill(std::uint64_t offset, std::size_t need) {
        // Large frames leave one header per buffer: read just a page for them.
        std::size_t want = servedSinceRefill_ > 1 || filled_ == 0 ? kLarge : kSmall;
        // No more than the file holds from here on: a small file needs no megabyte of buffer.
        const std::uint64_t size = file_.size();
        // (At or past the end, only what was asked for: the read finds nothing there.)
        want = offset < size ? static_cast<std::size_t>(std::min<std::uint64_t>(want, size - offset)) : 0;
        want = std::max(want, need);
        if (buffer_.size() < want) buffer_.resize(want);
        start_ = offset;
        filled_ = file_.readAt(offset, std::span(buffer_.data(), want));
        servedSinceRefill_ = 0;
    }

    static constexpr std::size_t kLarge = std::size_t{1} << 20;
    static constexpr std::size_t kSmall = 4096;
    const RecordFile& file_;
    Bytes buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    std::size_t servedSinceRefill_ = 0;
};

} // namespace

bool ReadCatalog(const RecordFile& file, RecordIndex& index, std::string* disagreement) {
    index.clear();
    const std::uint64_t fileSize = file.size();
    std::array<std::uint8_t, kFrameHeaderSize> header{};
    if (file.readAt(0, header) != header.size()) return false;
    FrameView first(header);
    if (first.recordType() != kFileHeaderRecordType || first.optionalDataId() != kFileCatalogRecordType) return false;

    std::array<std::uint8_t, 12> pointer{};
    if (first.optionalDataOffset() == 0 || file.readAt(first.optionalDataOffset(), pointer) != pointer.size())
        return false;
    const auto catalogSize = readLEOr0<std::uint32_t>(pointer, 0);
    const auto catalogOffset = readLEOr0<std::uint64_t>(pointer, 4);
    if (catalogOffset == 0 || catalogSize == 0) return false;

    if (file.readAt(catalogOffset, header) != header.size()) return false;
    FrameView catalog(header);
    if (catalog.recordType() != kFileCatalogRecordType) return false;

    // The data section begins at 4 + Offset (60 when a writer left Offset 0).
    const std::uint64_t dataStart = catalogOffset + (catalog.offset() == 0 ? 64u : catalog.dataStart());
    std::array<std::uint8_t, 14> dataHeader{};
    if (file.readAt(dataStart, dataHeader) != dataHeader.size()) return false;
    const std::uint64_t n = readLEOr0<std::uint32_t>(dataHeader, 6);

    // A count or entries that the file cannot hold mean the catalog is not to be trusted.
    const std::uint64_t entriesAt = dataStart + dataHeader.size();
    if (!fits(fileSize, entriesAt, n * RecordIndexEntry::kSize)) return false;

    index.grow(static_cast<std::size_t>(n));
    for (std::size_t done = 0; done < n;) {
        auto run = index.chunkRun(done, static_cast<std::size_t>(n) - done);
        std::span<std::uint8_t> target(reinterpret_cast<std::uint8_t*>(run.data()), run.size_bytes());
        if (file.readAt(entriesAt + done * RecordIndexEntry::kSize, target) != target.size()) {
            index.clear();
            return false;
        }
        done += run.size();
    }
    // Every entry must point at a frame that agrees with it: a catalog that
    // is off by a few bytes, or lists one frame many times, would otherwise
    // list rows whose bytes are no frame or not of the type shown.
    BufferedReader reader(file);
    std::array<std::uint8_t, kFrameHeaderSize> pointed{};
    for (std::size_t i = 0; i < n; ++i) {
        const RecordIndexEntry& e = index[i];
        std::string what;
        if (!fits(fileSize, e.offset(), e.size()) || e.size() < kFrameHeaderSize ||
            reader.read(e.offset(), pointed) != pointed.size()) {
            what = "it points past the end of the file";
        } else if (const FrameView frame(pointed); frame.syncPattern() != kSyncPattern) {
            what = "no sync pattern where it points";
        } else if (frame.size() != e.size()) {
            what = strprintf("the frame's Size is %lu", (unsigned long)frame.size());
        } else if (static_cast<std::uint16_t>(frame.recordType()) != e.recordType()) {
            what = strprintf("the frame's record type is %lu", (unsigned long)frame.recordType());
        }
        if (what.empty()) {
            // The frame's header is at hand: the entry keeps what the catalog leaves out.
            index[i].keepHeader(FrameView(pointed));
            continue;
        }
        if (disagreement) {
            // Entries are numbered from 1, as the catalog's report numbers its "Index data" blocks.
            const std::string name(fileNameOf(file.path()));
            *disagreement = strprintf("The file catalog of %s does not match its frames: entry %llu (record type "
                                      "%u, size %lu at byte %llu): %s. The file is listed by walking its frames.",
                                      name.c_str(), (unsigned long long)i + 1, e.recordType(), (unsigned long)e.size(),
                                      (unsigned long long)e.offset(), what.c_str());
        }
        index.clear();
        return false;
    }
    index.push_back(RecordIndexEntry::keepingHeader(catalog, catalogOffset));
    return true;
}

std::optional<std::string> ScanFrames(const RecordFile& file, RecordIndex& index) {
    const std::string name(fileNameOf(file.path()));
    BufferedReader reader(file);
    std::array<std::uint8_t, kFrameHeaderSize> header{};
    std::uint64_t position = 0;
    for (std::uint64_t k = 0;; ++k) {
        std::size_t got = reader.read(position, header);
        if (got == 0) {
            if (k == 0) return strprintf("File %s Is Empty", name.c_str());
            return std::nullopt;
        }
        if (got < kFrameHeaderSize) {
            if (k == 0) return strprintf("First Record Of File %s Is Too Small", name.c_str());
            return std::nullopt;  // a truncated last frame is ignored
        }
        FrameView frame(header);
        if (frame.syncPattern() != kSyncPattern) {
            if (k == 1) return strprintf("Second Record Of File %s Does Not Have The Sync Pattern", name.c_str());
            return strprintf("Record %llu Of File %s Does Not Have The Sync Pattern",
                             static_cast<unsigned long long>(k), name.c_str());
        }
        // A Size of 0 would leave the walk on the same frame for ever.
        if (frame.size() == 0)
            return strprintf("Record %llu Of File %s Has A Size Of 0", static_cast<unsigned long long>(k),
                             name.c_str());
        index.push_back(RecordIndexEntry::keepingHeader(frame, position));
        position += frame.size();
        if (frame.recordType() == kFileCatalogRecordType) return std::nullopt;
    }
}

std::optional<std::uint64_t> FindNextFrame(const RecordFile& file, std::uint64_t from) {
    constexpr std::size_t kFirstChunk = std::size_t{4} << 10;
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const std::uint64_t fileSize = file.size();
    // Damage is mostly short: the first read is small, later ones grow to a
    // megabyte for long stretches of garbage.
    Bytes buffer(kFirstChunk);
    // The sync pattern sits 4 bytes into the frame; the scan looks for its
    // first byte with memchr, at memory speed through other bytes.
    for (std::uint64_t at = from + 1; at + kFrameHeaderSize <= fileSize;) {
        // A hole of a sparse file holds only zeros: no pattern can begin in it.
        if (const std::uint64_t data = file.nextData(at + 4); data > at + 4) {
            at = data - 4;
            continue;
        }
        const std::size_t got = file.readAt(at + 4, buffer);
        if (got < 4) return std::nullopt;
        const std::uint8_t* p = buffer.data();
        const std::uint8_t* end = buffer.data() + got - 3;
        while (p < end) {
            p = static_cast<const std::uint8_t*>(std::memchr(p, 0xFF, static_cast<std::size_t>(end - p)));
            if (!p) break;
            if (p[1] == 0xFF && p[2] == 0 && p[3] == 0) {
                const std::uint64_t frame = at + static_cast<std::uint64_t>(p - buffer.data());
                if (frame + kFrameHeaderSize > fileSize) return std::nullopt;
                std::array<std::uint8_t, 4> size{};
                if (file.readAt(frame + frame_offsets::size, size) == size.size() &&
                    readLEOr0<std::uint32_t>(size, 0) >= kFrameHeaderSize)
                    return frame;
            }
            ++p;
        }
        at += got - 3;
        if (buffer.size() < kChunk) buffer.resize(std::min(kChunk, buffer.size() * 8));
    }
    return std::nullopt;
}

std::optional<std::string> ScanFramesPastDamage(const RecordFile& file, RecordIndex& index,
                                                const std::function<void(std::uint64_t, std::uint64_t)>& skipped) {
    const std::string name(fileNameOf(file.path()));
    const std::uint64_t fileSize = file.size();
    BufferedReader reader(file);
    std::array<std::uint8_t, kFrameHeaderSize> header{};
    std::uint64_t position = 0;
    for (std::uint64_t k = 0;; ++k) {
        const std::size_t got = reader.read(position, header);
        if (got == 0 && k == 0) return strprintf("File %s Is Empty", name.c_str());
        if (got < kFrameHeaderSize) {
            if (got > 0 && k == 0) return strprintf("First Record Of File %s Is Too Small", name.c_str());
            return std::nullopt;  // a truncated last frame is ignored
        }
        const FrameView frame(header);
        if (frame.syncPattern() != kSyncPattern || frame.size() < kFrameHeaderSize) {
            const std::optional<std::uint64_t> next = FindNextFrame(file, position);
            const std::uint64_t resume = next.value_or(fileSize);
            if (skipped) skipped(position, resume - position);
            if (!next) return std::nullopt;
            position = *next;
            continue;
        }
        index.push_back(RecordIndexEntry::keepingHeader(frame, position));
        position += frame.size();
        if (frame.recordType() == kFileCatalogRecordType) return std::nullopt;
    }
}

bool passesRecordFilter(std::string_view filterText, std::uint32_t recordType) {
    if (filterText == kAllRecords) return true;
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, recordType);
    (void)ec;
    return filterText.find(std::string_view(digits, static_cast<std::size_t>(end - digits))) != std::string_view::npos;
}

} // namespace tarvik
