#include "core/condense.h"

#include "core/frame.h"
#include "core/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarvik {

bool carriesPingNumber(std::uint32_t recordType) {
    switch (recordType) {
    case 1200: case 7000: case 7002: case 7006: case 7007: case 7008:
    case 7009: case 7011: case 7016: case 7017: case 7021: case 7503: return true;
    default: return false;
    }
}

namespace {

// "%0Nd" (zeros) or "%Nd" (blanks) of a signed value, as printf pads it.
void appendInt(std::string& out, int value, int width, char pad) {
    char digits[16];
    const long long v = value;
    const unsigned long long magnitude = v < 0 ? static_cast<unsigned long long>(-v) : static_cast<unsigned long long>(v);
    auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const int length = static_cast<int>(end - digits) + (v < 0 ? 1 : 0);
    const int fill = std::max(0, width - length);
    if (pad == ' ') out.append(static_cast<std::size_t>(fill), ' ');
    if (v < 0) out += '-';
    if (pad == '0') out.append(static_cast<std::size_t>(fill), '0');
    out.append(digits, end);
}

// "%06.3f". Seconds of a time stamp are small and positive: their exact value
// times 1000 is held exactly by a double, and rounding it half to even is
// what printf does with the exact decimal. Anything else takes printf itself.
void appendSeconds(std::string& out, float seconds) {
    const double thousandths = static_cast<double>(seconds) * 1000.0;
    if (!(thousandths >= 0.0 && thousandths < 1e12) || std::signbit(seconds)) {
        out += strprintf("%06.3f", static_cast<double>(seconds));
        return;
    }
    const auto rounded = static_cast<unsigned long long>(std::nearbyint(thousandths));
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, rounded / 1000).ptr;
    const auto whole = static_cast<std::size_t>(end - digits);
    if (whole < 2) out += '0';
    out.append(digits, end);
    out += '.';
    const auto fraction = static_cast<unsigned>(rounded % 1000);
    out += static_cast<char>('0' + fraction / 100);
    out += static_cast<char>('0' + fraction / 10 % 10);
    out += static_cast<char>('0' + fraction % 10);
}

} // namespace

void appendCondensedLine(std::string& out, DataSeparator separator, std::uint32_t number, std::uint32_t recordType,
                         std::uint32_t size, int month, int day, int year, int hours, int minutes, float seconds) {
    const char sep = separator == DataSeparator::Tab     ? '\t'
                     : separator == DataSeparator::Comma ? ','
                                                         : ' ';
    const int width = separator == DataSeparator::FixedWidth ? 9 : 0;
    // The numbers are printed with "%d": 32-bit fields above 2^31 show negative.
    appendInt(out, static_cast<int>(number), width, ' ');
    out += sep;
    appendInt(out, static_cast<int>(recordType), width, ' ');
    out += sep;
    appendInt(out, static_cast<int>(size), width, ' ');
    out += sep;
    appendInt(out, month, 2, '0');
    out += '/';
    appendInt(out, day, 2, '0');
    out += '/';
    appendInt(out, year, 2, '0');
    out += sep;
    appendInt(out, hours, 2, '0');
    out += ':';
    appendInt(out, minutes, 2, '0');
    out += ':';
    appendSeconds(out, seconds);
    out += "\r\n";
}

namespace {

// Reads the ping numbers of frames, walking the file front to back through one buffer.
class PingReader {
public:
    explicit PingReader(const RecordFile& file) : file_(file), fileSize_(file.size()) {}

    std::optional<std::uint32_t> ping(const RecordIndexEntry& entry) {
        const std::uint64_t frame = entry.offset();
        if (!read(frame, 4)) return std::nullopt;
        const std::uint64_t end = FrameView(view_).dataStart() + kPingNumberInData + 4;
        // The number must lie inside the frame as its Size and the file hold it.
        if (end > entry.size() || !read(frame, static_cast<std::size_t>(end))) return std::nullopt;
        return pingNumberOf(view_);
    }

private:
    bool read(std::uint64_t at, std::size_t count) {
        if (!fits(fileSize_, at, count)) return false;
        if (at < start_ || at + count > start_ + filled_) {
            // Where frames are large a buffer holds one frame's number at
            // most: read a page for it instead of a megabyte.
            const std::size_t want = std::max(servedSinceRefill_ > 2 || filled_ == 0 ? kLarge : kSmall, count);
            if (buffer_.size() < want) buffer_.resize(want);
            start_ = at;
            filled_ = file_.readAt(at, std::span(buffer_.data(), want));
            servedSinceRefill_ = 0;
            if (filled_ < count) return false;
        }
        ++servedSinceRefill_;
        view_ = ByteSpan(buffer_.data() + (at - start_), count);
        return true;
    }

    static constexpr std::size_t kLarge = std::size_t{1} << 20;
    static constexpr std::size_t kSmall = 4096;
    const RecordFile& file_;
    std::uint64_t fileSize_;
    Bytes buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    std::size_t servedSinceRefill_ = 0;
    ByteSpan view_;
};

constexpr std::size_t kPiece = std::size_t{1} << 20;
constexpr std::size_t kProgressStep = 16384;

} // namespace

CondenseResult condenseRecords(const RecordFile& file, const RecordIndex& index, DataSeparator separator,
                               LastPingNumbers& lastPings, const std::function<bool(std::string_view)>& sink,
                               const std::function<bool(std::size_t, std::size_t)>& progress) {
    CondenseResult result;
    PingReader pings(file);
    PingGapTracker gaps(lastPings);
    std::string out;
    out.reserve(kPiece + 256);
    auto flush = [&] {
        if (!out.empty() && !sink(out)) result.writeFailed = true;
        out.clear();
        return !result.writeFailed;
    };

    const std::size_t total = index.size();
    for (std::size_t i = 0; i < total; ++i) {
        if (progress && i % kProgressStep == 0 && i > 0 && !progress(i, total)) {
            result.cancelled = true;
            break;
        }
        const RecordIndexEntry& entry = index[i];
        const VxTIME t = entry.time();
        int month = 0, dayOfMonth = 0;
        if (!dayOfYearToDate(t.year, t.day, month, dayOfMonth)) month = dayOfMonth = 0;

        std::uint32_t number = entry.recordCounter();
        const std::uint32_t type = entry.recordType();
        if (carriesPingNumber(type)) {
            if (auto ping = pings.ping(entry)) {
                number = *ping;
                // Unlike the live list, a first ping (last 0) of 2..99 counts as a gap here.
                if (auto last = gaps.next(type, entry.deviceId(), entry.systemEnumerator(), number,
                                          PingGapTracker::FirstPing::GapAfterZero))
                    out += strprintf("! ! ! %u DROPPED PING AFTER # %u\r\n", type, *last);
            }
        }
        appendCondensedLine(out, separator, number, type, entry.size(), month, dayOfMonth, t.year, t.hours,
                            t.minutes, t.seconds);
        ++result.lines;
        if (out.size() >= kPiece && !flush()) return result;
    }
    flush();
    if (progress && !result.cancelled) progress(total, total);
    return result;
}

} // namespace tarvik
