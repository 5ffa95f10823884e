#include "capture/capture_file.h"

#include "core/file_window.h"
#include "core/frame.h"
#include "core/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace tarvik::capture {

namespace {
constexpr std::size_t kWriteChunk = 1u << 20;

bool writeAll(int fd, ByteSpan bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The line a frame's row shows in place of its bytes when the capture no
// longer holds them as they were read.
constexpr std::string_view kChangedOnDisk =
    "TEXT Record not readable: the capture was cut short or written over on disk since it was read";
} // namespace

// ---- Temporary records -----------------------------------------------------

TemporaryRecords::~TemporaryRecords() { clear(); }

void TemporaryRecords::forgetName() {
    if (!diskFile_.empty()) ::unlink(diskFile_.c_str());
    diskFile_.clear();
}

void TemporaryRecords::clear() {
    forgetName();
    if (fd_ >= 0 && fd_ != memoryFd_) ::close(fd_);
    if (memoryFd_ >= 0) ::close(memoryFd_);
    memoryFd_ = fd_ = -1;
    path_.clear();
    pending_ = Bytes();
    size_ = hole_ = 0;
    error_ = 0;
    failure_.clear();
}

bool TemporaryRecords::create(std::uint64_t memoryBytes, std::string& message) {
    clear();
    memoryBytes_ = memoryBytes;
    const int fd = ::memfd_create("tarvik-capture", MFD_CLOEXEC);
    if (fd >= 0) {
        memoryFd_ = fd_ = fd;
        path_ = "/proc/self/fd/" + std::to_string(fd);
    } else if (!spill()) {
        message = failure_;
        return false;
    }
    pending_.reserve(kWriteChunk + 65536);
    return true;
}

bool TemporaryRecords::startAt(std::uint64_t offset) {
    if (error_ != 0 || size_ != 0 || fd_ < 0) return false;
    // A hole up to `offset`: it takes neither memory nor disk.
    if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0 || ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        error_ = errno ? errno : EIO;
        return false;
    }
    size_ = hole_ = offset;
    return true;
}

bool TemporaryRecords::append(ByteSpan bytes) {
    if (error_ != 0) return false;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    size_ += bytes.size();
    if (pending_.size() >= kWriteChunk) {
        if (!writeAll(fd_, pending_)) error_ = errno ? errno : EIO;
        pending_.clear();
        if (error_ == 0 && fd_ == memoryFd_ && size_ - hole_ > memoryBytes_ && !spill()) error_ = -1;
    }
    return error_ == 0;
}

bool TemporaryRecords::finish(std::string& message) {
    if (error_ == 0 && !pending_.empty() && !writeAll(fd_, pending_)) error_ = errno ? errno : EIO;
    pending_ = Bytes();
    if (fd_ >= 0 && fd_ != memoryFd_) ::close(fd_);
    fd_ = -1;
    if (error_ == 0) return true;
    message = error_ > 0 ? std::string("could not write the records of the capture to a temporary file: ") +
                               std::strerror(error_)
                         : failure_;
    return false;
}

bool TemporaryRecords::spill() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "tarvik-capture-XXXXXX").string();
    if (ec) pattern = "/tmp/tarvik-capture-XXXXXX";
    const int disk = ::mkstemp(pattern.data());
    if (disk < 0) {
        failure_ = std::string("could not create a temporary file for the capture: ") + std::strerror(errno);
        return false;
    }
    diskFile_ = pattern;
    if (hole_ > 0 && (::ftruncate(disk, static_cast<off_t>(hole_)) != 0 ||
                      ::lseek(disk, static_cast<off_t>(hole_), SEEK_SET) < 0)) {
        failure_ = std::string("could not write the records of the capture to a temporary file: ") + std::strerror(errno);
        ::close(disk);
        return false;
    }
    if (memoryFd_ >= 0) {
        // What the memory file holds so far moves to the disk file.
        Bytes buffer(kWriteChunk);
        auto at = static_cast<off_t>(hole_);
        for (ssize_t n; (n = ::pread(memoryFd_, buffer.data(), buffer.size(), at)) > 0; at += n) {
            buffer.resize(static_cast<std::size_t>(n));
            if (!writeAll(disk, buffer)) {
                failure_ = std::string("could not write the records of the capture to a temporary file: ") +
                           std::strerror(errno);
                ::close(disk);
                return false;
            }
            buffer.resize(kWriteChunk);
        }
        ::close(memoryFd_);
        memoryFd_ = -1;
    }
    fd_ = disk;
    path_ = diskFile_;
    return true;
}

// ---- The capture as a record file ------------------------------------------

CaptureRecordFile::~CaptureRecordFile() { clear(); }

void CaptureRecordFile::forgetTemporaryFile() { temporary_.forgetName(); }

void CaptureRecordFile::clear() {
    temporary_.clear();
    captureFile_.close();
    blocks_.clear();
    blocks_.shrink_to_fit();
    blockSizes_.clear();
    blockUsed_ = 0;
    memoryUsed_ = 0;
    copies_.close();
    places_ = {};
    pieces_ = {};
    copied_ = 0;
    whole_.reset();
    streams_.clear();
    counts_ = {};
    problems_.clear();
    problemCount_ = 0;
    lostPackets_ = 0;
}

void CaptureRecordFile::addProblem(std::uint64_t framesBefore, std::uint64_t offset, std::string text) {
    ++problemCount_;
    if (problems_.size() < kKeptProblems) problems_.push_back({framesBefore, offset, std::move(text)});
}

bool CaptureRecordFile::load(const std::string& capturePath, const CaptureOptions& options, RecordIndex& index,
                             std::string& message) {
    index.clear();
    Sink sink;
    sink.frame = [&](const RecordIndexEntry& entry) { index.push_back(entry); };
    const bool ok = load(capturePath, options, sink, message);
    if (!ok) index.clear();
    return ok;
}

bool CaptureRecordFile::load(const std::string& capturePath, const CaptureOptions& options, const Sink& sink,
                             std::string& message) {
    clear();
    message.clear();
    CaptureOptions readerOptions = options;
    readerOptions.findRecordsInFile = leaveFramesInCapture;
    CaptureReader reader(readerOptions);
    if (!reader.open(capturePath)) {
        message = shownName("could not read the capture " + capturePath + ": " + reader.error());
        return false;
    }
    // Copies kept aside go to memory first and to the temporary file only past
    // the memory allowed, so that file goes to disk at once.
    // Frames handed to the sink's `bytes` need none until one is refused.
    bool handing = sink.bytes && !leaveFramesInCapture;
    if (!handing && !temporary_.create(leaveFramesInCapture ? 0 : memoryBytes, message)) return false;
    // The frames left in the capture are read later from the very file
    // libpcap reads now, whatever happens to its name meanwhile.
    const bool inPlace = leaveFramesInCapture && reader.fileDescriptor() >= 0 &&
                         captureFile_.open("/proc/self/fd/" + std::to_string(reader.fileDescriptor()));

    std::uint64_t offset = 0, frames = 0;
    bool writeFailed = false;
    std::string writeFailure;
    const bool complete = reader.readInPlace([&](const CapturedRecordView& record) {
        if (writeFailed) return;
        const FrameView frame(record.bytes);
        if (record.kind != CapturedKind::Frame || !frame.isFrame()) {
            // The reader's own text lines; shown on one line whatever they hold.
            const auto* text = reinterpret_cast<const char*>(record.bytes.data());
            const std::string line = shownName(std::string_view(text, record.bytes.size()));
            const std::string where = record.stream < reader.streams().size()
                                          ? " on the stream " + streamText(reader.streams()[record.stream])
                                          : std::string();
            // Lost packets are rows of their own, as on a live connection; a
            // damaged packet is a problem of the capture.
            if (record.kind == CapturedKind::Damaged)
                addProblem(frames, offset, "a damaged packet" + where + " (" + line + ")");
            if (record.kind == CapturedKind::LostPacket) ++lostPackets_;
            if (sink.text) sink.text(line, CaptureEntry{record.time, record.stream, true});
            return;
        }
        ++frames;
        // The entry's size is the bytes held, whatever the frame's Size field says.
        RecordIndexEntry entry = RecordIndexEntry::fromHeader(frame, offset);
        const auto held = static_cast<std::uint32_t>(record.bytes.size());
        std::memcpy(entry.raw.data(), &held, sizeof held);
        CaptureEntry{record.time, record.stream, false}.storeIn(entry);
        if (sink.frame) sink.frame(entry);
        if (handing) {
            if (sink.bytes(record.bytes)) {
                offset += record.bytes.size();
                return;
            }
            // This frame and all after it go to the file, where they stand
            // after the frames handed over.
            handing = false;
            if (!temporary_.create(memoryBytes, writeFailure) || !temporary_.startAt(offset)) {
                if (writeFailure.empty()) temporary_.finish(writeFailure);
                writeFailed = true;
                return;
            }
        }
        offset += record.bytes.size();
        if (leaveFramesInCapture) {
            if (inPlace && record.fileOffset >= 0) {
                places_.push_back(static_cast<std::uint64_t>(record.fileOffset));
                return;
            }
            if (inPlace && keepPieces(record.pieces)) return;
            ++copied_;
            if (memoryUsed_ + record.bytes.size() <= memoryBytes) {
                places_.push_back(copy(record.bytes));
                return;
            }
            places_.push_back(kCopied | kOnDisk | temporary_.size());
        }
        if (!temporary_.append(record.bytes)) writeFailed = true;
    });
    if (!writeFailed && !temporary_.finish(writeFailure)) writeFailed = true;
    streams_ = reader.streams();
    counts_ = reader.counts();
    for (const std::string& problem : reader.problems()) {
        addProblem(frames, offset, problem);
        message += (message.empty() ? "" : "\n") + problem;
    }
    if (writeFailed) {
        message = writeFailure;
        clear();
        return false;
    }
    if (!complete) {
        const std::string cut =
            shownName("the capture " + capturePath + " could not be read to its end: " + reader.error());
        addProblem(frames, offset, cut);
        message = cut + (message.empty() ? "" : "\n") + message;
    }
    if (leaveFramesInCapture) {
        if (!copies_.open(temporary_.path())) {
            message = "could not read the records of the capture back: " + copies_.lastError();
            clear();
            return false;
        }
        whole_ = std::make_unique<Whole>();
    }
    return true;
}

void CaptureRecordFile::BlockRelease::operator()(std::uint8_t*) const {
    if (base) ::munmap(base, length);
}

CaptureRecordFile::Block CaptureRecordFile::newBlock(std::size_t size) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    const std::size_t length = size + kHuge;
    void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    // Huge pages need aligned ranges: the block starts at the first boundary.
    const auto at = (reinterpret_cast<std::uintptr_t>(base) + kHuge - 1) & ~std::uintptr_t{kHuge - 1};
    ::madvise(reinterpret_cast<void*>(at), size, MADV_HUGEPAGE);
    return Block(reinterpret_cast<std::uint8_t*>(at), BlockRelease{base, length});
}

std::uint64_t CaptureRecordFile::copy(ByteSpan frame) {
    constexpr std::size_t kBlock = std::size_t{1} << kBlockBits;
    if (blocks_.empty() || blockSizes_.back() - blockUsed_ < frame.size()) {
        // Only what is copied into a block is read. A frame larger than a
        // block gets one of its own.
        const std::size_t size = std::max(kBlock, frame.size());
        blocks_.push_back(newBlock(size));
        blockSizes_.push_back(size);
        blockUsed_ = 0;
        memoryUsed_ += size;
    }
    std::memcpy(blocks_.back().get() + blockUsed_, frame.data(), frame.size());
    const std::uint64_t place = kCopied | (std::uint64_t{blocks_.size() - 1} << kBlockBits) | blockUsed_;
    blockUsed_ += frame.size();
    return place;
}

bool CaptureRecordFile::keepPieces(std::span<const CapturedPiece> pieces) {
    constexpr std::uint64_t kLongest = (std::uint64_t{1} << kPieceLengthBits) - 1;
    if (pieces.empty()) return false;
    for (const CapturedPiece& piece : pieces)
        if (piece.length > kLongest || piece.fileOffset >= (std::uint64_t{1} << (64 - kPieceLengthBits))) return false;
    places_.push_back(kPieces | pieces_.size());
    for (const CapturedPiece& piece : pieces) pieces_.push_back(piece.fileOffset << kPieceLengthBits | piece.length);
    return true;
}

Bytes CaptureRecordFile::readFrame(std::size_t position, const RecordIndexEntry& entry) const {
    return readFrame(position, entry, nullptr);
}

std::size_t CaptureRecordFile::readCapture(std::uint64_t at, std::span<std::uint8_t> out, FileWindow* window) const {
    if (!window) return captureFile_.readAt(at, out);
    const ByteSpan held = window->view(at, out.size(), std::max(out.size(), FileWindow::kWindow));
    std::memcpy(out.data(), held.data(), held.size());
    return held.size();
}

Bytes CaptureRecordFile::readFrame(std::size_t position, const RecordIndexEntry& entry, FileWindow* window) const {
    if (position >= places_.size()) return {};
    const std::uint64_t place = places_[position];
    if (place & kPieces) {
        // The frame's pieces, until it is whole.
        constexpr std::uint64_t kLengthMask = (std::uint64_t{1} << kPieceLengthBits) - 1;
        const std::size_t first = static_cast<std::size_t>(place & ~kPieces);
        std::size_t last = first;
        std::uint64_t total = 0, from = UINT64_MAX, to = 0;
        for (; last < pieces_.size() && total < entry.size(); ++last) {
            const std::uint64_t at = pieces_[last] >> kPieceLengthBits, length = pieces_[last] & kLengthMask;
            total += length;
            from = std::min(from, at);
            to = std::max(to, at + length);
        }
        if (total != entry.size()) return {};
        Bytes bytes(entry.size());
        std::size_t held = 0;
        // Pieces close together (the packets of one record follow each other
        // in the capture) are read at once and taken apart here: one system
        // call per frame, as for a record file. A piece the capture no longer
        // holds leaves the frame short.
        Bytes stretch;
        if (!window && to - from <= 2 * total + (std::uint64_t{64} << 10)) {
            stretch.resize(static_cast<std::size_t>(to - from));
            stretch.resize(captureFile_.readAt(from, stretch));
        }
        for (std::size_t p = first; p < last; ++p) {
            const std::uint64_t at = pieces_[p] >> kPieceLengthBits;
            const std::size_t length = static_cast<std::size_t>(pieces_[p] & kLengthMask);
            const std::span<std::uint8_t> into = std::span(bytes).subspan(held, length);
            std::size_t got = 0;
            if (stretch.empty()) {
                got = readCapture(at, into, window);
            } else if (fits(stretch.size(), at - from, length)) {
                std::memcpy(into.data(), stretch.data() + (at - from), length);
                got = length;
            }
            held += got;
            if (got != length) break;
        }
        bytes.resize(held);
        return checkedInCapture(std::move(bytes), entry);
    }
    if ((place & (kCopied | kOnDisk)) == kCopied) {
        const std::size_t block = (place & ~kCopied) >> kBlockBits, at = place & ((std::uint64_t{1} << kBlockBits) - 1);
        if (block >= blocks_.size() || !fits(blockSizes_[block], at, entry.size())) return {};
        const std::uint8_t* bytes = blocks_[block].get() + at;
        return Bytes(bytes, bytes + entry.size());
    }
    Bytes bytes(entry.size());
    if (place & kCopied) {
        bytes.resize(copies_.readAt(place & ~(kCopied | kOnDisk), bytes));
        return bytes;
    }
    bytes.resize(readCapture(place, bytes, window));
    return checkedInCapture(std::move(bytes), entry);
}

Bytes CaptureRecordFile::checkedInCapture(Bytes bytes, const RecordIndexEntry& entry) {
    // The frame must still be the one indexed: all of it held, and a header
    // that gives the same entry.
    const FrameView frame(bytes);
    if (bytes.size() != entry.size() || !frame.isFrame()) return Bytes(kChangedOnDisk.begin(), kChangedOnDisk.end());
    const RecordIndexEntry now = RecordIndexEntry::fromHeader(frame, entry.offset());
    if (!std::equal(now.raw.begin() + 4, now.raw.begin() + CaptureEntry::kAt, entry.raw.begin() + 4))
        return Bytes(kChangedOnDisk.begin(), kChangedOnDisk.end());
    return bytes;
}

const RecordFile* CaptureRecordFile::recordFile(const RecordIndex& index) const {
    if (!whole_) return nullptr;
    std::call_once(whole_->made, [&] {
        std::string message;
        if (!whole_->temporary.create(memoryBytes, message)) return;
        // The frames lie in the capture in about the order of the index: it
        // is read from start to end through one window, not a read per piece.
        FileWindow window(captureFile_, captureFile_.size());
        for (std::size_t q = 0; q < index.size(); ++q) {
            Bytes frame = readFrame(q, index[q], &window);
            // A frame the capture no longer holds keeps its place, as zeros
            // (no frame header there), so that every later offset stays true.
            if (frame.size() != index[q].size() || !FrameView(frame).isFrame()) frame.assign(index[q].size(), 0);
            if (!whole_->temporary.append(frame)) break;
        }
        whole_->ok = whole_->temporary.finish(message) && whole_->file.open(whole_->temporary.path());
        whole_->temporary.forgetName();
    });
    return whole_->ok ? &whole_->file : nullptr;
}

CaptureEntry CaptureEntry::of(const RecordIndexEntry& entry) {
    CaptureEntry e;
    e.time.seconds = readLEOr0<std::int64_t>(entry.raw, kAt);
    const std::uint32_t nanoseconds = readLEOr0<std::uint32_t>(entry.raw, kAt + 8);
    e.time.nanoseconds = nanoseconds & 0x3FFFFFFFu;
    e.text = (nanoseconds & 0x80000000u) != 0;
    e.stream = readLEOr0<std::uint32_t>(entry.raw, kAt + 12);
    return e;
}

void CaptureEntry::storeIn(RecordIndexEntry& entry) const {
    // Nanoseconds need 30 bits; the top bit marks a text line.
    const std::uint32_t nanoseconds = (time.nanoseconds & 0x3FFFFFFFu) | (text ? 0x80000000u : 0u);
    std::memcpy(entry.raw.data() + kAt, &time.seconds, 8);
    std::memcpy(entry.raw.data() + kAt + 8, &nanoseconds, 4);
    std::memcpy(entry.raw.data() + kAt + 12, &stream, 4);
}

std::string CaptureRecordFile::caption(const RecordIndexEntry& entry) const {
    const CaptureEntry e = CaptureEntry::of(entry);
    std::string text = "Captured " + captureTimeText(e.time);
    if (e.stream < streams_.size()) text += ", " + streamText(streams_[e.stream]);
    return text;
}

} // namespace tarvik::capture
