#include "capture/capture_file.h"

#include "core/frame.h"
#include "core/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/mman.h>
#include <unistd.h>

namespace tarvik::capture {

namespace {
constexpr std::size_t kWriteChunk = 1u << 20;

bool writeAll(int fd, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

CaptureRecordFile::~CaptureRecordFile() { clear(); }

void CaptureRecordFile::forgetTemporaryFile() {
    if (!diskFile_.empty()) ::unlink(diskFile_.c_str());
    diskFile_.clear();
}

void CaptureRecordFile::clear() {
    forgetTemporaryFile();
    if (memoryFd_ >= 0) ::close(memoryFd_);
    memoryFd_ = -1;
    path_.clear();
    streams_.clear();
    counts_ = {};
    problems_.clear();
    problemCount_ = 0;
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
    CaptureReader reader(options);
    if (!reader.open(capturePath)) {
        message = shownName("could not read the capture " + capturePath + ": " + reader.error());
        return false;
    }
    int fd = ::memfd_create("tarvik-capture", MFD_CLOEXEC);
    if (fd >= 0) {
        memoryFd_ = fd;
        path_ = "/proc/self/fd/" + std::to_string(fd);
    } else if (!spill(fd, message)) {
        return false;
    }

    Bytes pending;
    pending.reserve(kWriteChunk + 65536);
    std::uint64_t offset = 0, frames = 0;
    int writeError = 0;
    const bool complete = reader.readInPlace([&](const CapturedRecordView& record) {
        if (writeError) return;
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
        pending.insert(pending.end(), record.bytes.begin(), record.bytes.end());
        offset += record.bytes.size();
        if (pending.size() >= kWriteChunk) {
            if (!writeAll(fd, pending)) writeError = errno ? errno : EIO;
            pending.clear();
            if (fd == memoryFd_ && offset > memoryBytes && !spill(fd, message)) writeError = -1;
        }
    });
    if (!writeError && !pending.empty() && !writeAll(fd, pending)) writeError = errno ? errno : EIO;
    if (fd != memoryFd_) ::close(fd);
    streams_ = reader.streams();
    counts_ = reader.counts();
    for (const std::string& problem : reader.problems()) {
        addProblem(frames, offset, problem);
        message += (message.empty() ? "" : "\n") + problem;
    }
    if (writeError) {
        if (writeError > 0)
            message = std::string("could not write the records of the capture to a temporary file: ") +
                      std::strerror(writeError);
        clear();
        return false;
    }
    if (!complete) {
        const std::string cut =
            shownName("the capture " + capturePath + " could not be read to its end: " + reader.error());
        addProblem(frames, offset, cut);
        message = cut + (message.empty() ? "" : "\n") + message;
    }
    return true;
}

bool CaptureRecordFile::spill(int& fd, std::string& message) {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "tarvik-capture-XXXXXX").string();
    if (ec) pattern = "/tmp/tarvik-capture-XXXXXX";
    const int disk = ::mkstemp(pattern.data());
    if (disk < 0) {
        message = std::string("could not create a temporary file for the capture: ") + std::strerror(errno);
        return false;
    }
    diskFile_ = pattern;
    if (memoryFd_ >= 0) {
        // What the memory file holds so far moves to the disk file.
        Bytes buffer(kWriteChunk);
        off_t at = 0;
        for (ssize_t n; (n = ::pread(memoryFd_, buffer.data(), buffer.size(), at)) > 0; at += n) {
            buffer.resize(static_cast<std::size_t>(n));
            if (!writeAll(disk, buffer)) {
                message = std::string("could not write the records of the capture to a temporary file: ") +
                          std::strerror(errno);
                ::close(disk);
                return false;
            }
            buffer.resize(kWriteChunk);
        }
        ::close(memoryFd_);
        memoryFd_ = -1;
    }
    fd = disk;
    path_ = diskFile_;
    return true;
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
