#include "export/record_values.h"

#include "core/frame.h"
#include "core/record_file.h"
#include "decode/field_format.h"

#include <cmath>
#include <cstdio>

namespace tarvik {

std::string isoTime(std::int64_t ns) {
    std::int64_t seconds = ns / 1'000'000'000, fraction = ns % 1'000'000'000;
    if (fraction < 0) {
        fraction += 1'000'000'000;
        --seconds;
    }
    std::int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970 (proleptic Gregorian).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char text[64];
    int n = std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", (long long)year, (long long)m,
                          (long long)d, (long long)(rest / 3600), (long long)(rest / 60 % 60), (long long)(rest % 60));
    std::string out(text, static_cast<std::size_t>(n));
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%09lld", (long long)fraction);
        std::string f(text);
        while (f.back() == '0') f.pop_back();
        out += f;
    }
    out += 'Z';
    return out;
}

ValueKind scalarKind(FormatCode code) {
    switch (code) {
    case FormatCode::Unsigned: return ValueKind::Unsigned;
    case FormatCode::Signed: return ValueKind::Signed;
    case FormatCode::Float:
    case FormatCode::Radians: return ValueKind::Float;
    case FormatCode::Time: return ValueKind::Time;
    case FormatCode::Text:
    case FormatCode::BackText: return ValueKind::Text;
    default: return ValueKind::None;
    }
}

ScalarValue scalarValue(ByteSpan frame, const WalkedField& field, bool raw) {
    ScalarValue v;
    if (field.offset < 0 || field.width <= 0) return v;
    const auto at = static_cast<std::uint64_t>(field.offset);
    const auto w = static_cast<std::uint64_t>(field.width);
    if (at > frame.size() || w > frame.size() - at) return v;
    const ByteSpan bytes = frame.subspan(at, w);
    v.width = static_cast<int>(field.width);
    const FormatCode code = formatCode(field.format);
    switch (scalarKind(code)) {
    case ValueKind::Unsigned:
        if (w == 1 || w == 2 || w == 4 || w == 8) {
            v.kind = ValueKind::Unsigned;
            for (std::size_t k = 0; k < w; ++k) v.u |= std::uint64_t{bytes[k]} << (8 * k);
        }
        break;
    case ValueKind::Signed:
        if (w == 1 || w == 2 || w == 4 || w == 8) {
            v.kind = ValueKind::Signed;
            std::uint64_t u = 0;
            for (std::size_t k = 0; k < w; ++k) u |= std::uint64_t{bytes[k]} << (8 * k);
            if (w < 8 && (u >> (8 * w - 1)) != 0) u |= ~std::uint64_t{0} << (8 * w);
            v.i = static_cast<std::int64_t>(u);
        }
        break;
    case ValueKind::Float:
        if (w == 4) {
            v.kind = ValueKind::Float;
            v.f = readLEOr0<float>(bytes, 0);
        } else if (w == 8) {
            v.kind = ValueKind::Float;
            v.f = readLEOr0<double>(bytes, 0);
        }
        if (!raw && v.kind == ValueKind::Float) v.f = shownNumber(code, static_cast<std::int32_t>(w), v.f);
        break;
    case ValueKind::Time:
        if (auto t = VxTIME::read(bytes, 0)) {
            if (auto ns = epochNanoseconds(*t)) {
                v.kind = ValueKind::Time;
                v.i = *ns;
            }
        }
        break;
    case ValueKind::Text: {
        v.kind = ValueKind::Text;
        v.text = boundedText(bytes, static_cast<std::int64_t>(w));
        break;
    }
    case ValueKind::None: break;
    }
    return v;
}

RecordKey recordKeyOf(ByteSpan frame) {
    const FrameView f(frame);
    const std::int32_t protocol = f.protocolVersion() ? f.protocolVersion() : kCatalogueProtocolVersion;
    const std::int32_t version = f.recordVersion() ? f.recordVersion() : kCatalogueRecordVersion;
    return RecordKey{protocol, version, static_cast<std::int32_t>(f.recordType())};
}

const Report& RecordDecoder::decode(ByteSpan frame) { return decode(frame, {}); }

const Report& RecordDecoder::decode(ByteSpan frame, const std::function<bool(const WalkedField&)>& watch) {
    fields_.clear();
    nestedValid_ = false;
    key_ = recordKeyOf(frame);
    reporter_.collectFields(&fields_);
    reporter_.watchFields(watch ? &watch : nullptr);
    outcome_ = reporter_.walkOutcome(frame);
    reporter_.watchFields(nullptr);
    reporter_.collectFields(nullptr);
    return outcome_;
}

const std::vector<ItemNode>& RecordDecoder::nested() {
    if (!nestedValid_) {
        nested_ = nestWalkedFields(fields_);
        nestedValid_ = true;
    }
    return nested_;
}

const VectorDescription* RecordDecoder::vectorOf(const WalkedField& field) const {
    // The item's block index is its number in the layout that holds it: the
    // record's own items, else one of its repeat blocks.
    auto find = [&](const std::vector<CRecordDataLayout>& items) -> const VectorDescription* {
        for (const CRecordDataLayout& item : items)
            if (item.name == field.name && formatCode(item.format) == FormatCode::Vector) {
                const VectorDescription& v = catalogue_.vector(BlockKey(key_, item.number));
                return v.format.empty() ? nullptr : &v;
            }
        return nullptr;
    };
    if (field.depth == 0) {
        if (const VectorDescription* v = find(catalogue_.record(key_).items)) return v;
        if (const VectorDescription* v = find(catalogue_.optional(key_).items)) return v;
    }
    const auto& repeats = catalogue_.whole().repeats;
    for (auto it = repeats.lower_bound(BlockKey(0, 0, key_.recordType, 0));
         it != repeats.end() && it->first.recordType == key_.recordType; ++it)
        if (const VectorDescription* v = find(it->second.items)) return v;
    return nullptr;
}

namespace {
// A gap of other frames costs about as much to copy as a read costs to step
// over it at this size: past it, the next frame is read on its own.
constexpr std::uint64_t kStepOver = std::uint64_t{16} << 10;
} // namespace

FrameScanner::FrameScanner(const IndexedRecordSource& source, std::optional<std::uint32_t> recordType)
    : source_(source), file_(source.frameFile()), recordType_(recordType) {
    if (file_) {
        fileSize_ = file_->size();
        // Where the frames wanted lie close together the reads cover the
        // whole file anyway: a second thread reads it ahead. Sparse frames
        // are read one stretch each, and the rest of the file not at all.
        bool dense = true;
        if (recordType_) {
            std::uint64_t wanted = 0;
            const RecordIndex& index = source_.index();
            for (std::size_t q = 0; q < index.size(); ++q) wanted += index[q].recordType() == *recordType_;
            dense = wanted > 0 && fileSize_ / wanted < kStepOver;
        }
        window_ = std::make_unique<FileWindow>(*file_, fileSize_, dense);
    }
}

FrameScanner::~FrameScanner() = default;

std::size_t FrameScanner::reach(std::size_t position) const {
    if (!recordType_) return FileWindow::kWindow;
    const RecordIndex& index = source_.index();
    const std::uint64_t start = index[position].offset();
    std::uint64_t end = start + index[position].size();
    for (std::size_t q = position + 1; q < index.size(); ++q) {
        const RecordIndexEntry& e = index[q];
        if (e.offset() < start || e.offset() > end + kStepOver) break;  // out of file order, or past a wide gap
        if (e.recordType() != *recordType_) continue;
        const std::uint64_t last = e.offset() + e.size();
        if (last - start > FileWindow::kWindow) break;
        end = std::max(end, last);
    }
    return static_cast<std::size_t>(end - start);
}

ByteSpan FrameScanner::frame(std::size_t position) {
    const RecordIndex& index = source_.index();
    if (position >= index.size()) return {};
    if (!file_ || window_->cutShort()) {
        // Not a file, or one that lost bytes while it was read: the frame as the file holds it now.
        single_ = source_.readFrame(position);
        return single_;
    }
    const RecordIndexEntry& entry = index[position];
    const std::uint64_t offset = entry.offset();
    if (offset >= fileSize_) return {};
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(entry.size(), fileSize_ - offset));
    if (count > FileWindow::kWindow) {
        // Large frames are read on their own.
        single_.resize(count);
        single_.resize(file_->readAt(offset, single_));
        return single_;
    }
    const ByteSpan bytes = window_->view(offset, count, window_->holds(offset, count) ? 0 : reach(position));
    if (window_->cutShort()) return frame(position);
    return bytes;
}

std::optional<bool> checksumMatches(ByteSpan frame) {
    const FrameView f(frame);
    if (!f.hasHeader() || !f.hasChecksum()) return std::nullopt;
    const std::optional<std::uint32_t> field = f.checksumField();
    if (!field || f.size() > frame.size()) return false;
    return computeChecksum(frame, f.size() - 4u) == *field;
}

} // namespace tarvik
