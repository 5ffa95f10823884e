#include "core/record_source.h"

#include "core/file_window.h"
#include "core/record_file.h"
#include "core/text.h"

#include <algorithm>
#include <cassert>
#include <array>
#include <charconv>
#include <ctime>

namespace tarvik {

std::string RecordOrigin::line() const {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return strprintf("Captured %04d-%02d-%02d %02d:%02d:%02d.%06u UTC, %s", tm.tm_year + 1900, tm.tm_mon + 1,
                     tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, microseconds % 1000000u, stream.c_str());
}

void IndexedRecordSource::addText(std::string text) { texts_.push_back({index_.size(), std::move(text)}); }

void IndexedRecordSource::clearEntries() {
    index_.clear();
    texts_.clear();
    cut_.reset();
    rows_.clear();
    identity_ = true;
}

void IndexedRecordSource::setFilter(std::string_view filter) { setFilter(RecordFilter::types(std::string(filter))); }

void IndexedRecordSource::setFilter(const RecordFilter& filter) {
    filter_ = filter;
    rebuildRows();
}

void IndexedRecordSource::rebuildRows() {
    rows_.clear();
    identity_ = filter_.showsEverything() && texts_.empty();
    if (identity_) return;
    // The record type is decided once per type; an expression then reads the
    // records of the types that may pass.
    std::array<std::int8_t, 65536> passes;
    passes.fill(-1);
    auto typePasses = [&](std::uint16_t type) {
        std::int8_t& p = passes[type];
        if (p < 0) p = filter_.passesType(type) ? 1 : 0;
        return p == 1;
    };
    const bool readsRecords = !filter_.byTypeOnly();
    // Header fields the index entries hold decide without reading frames
    // (those of entries that could not keep their header are read).
    const bool keeps = entriesKeepHeader();
    const bool byIndex = readsRecords && filter_.decidedByIndex(keeps);
    // Frames of a record file are read in file order through one window
    // rather than one read each, the next stretch read on a second thread
    // while the filter judges this one.
    const RecordFile* file = readsRecords && !byIndex ? frameFile() : nullptr;
    std::unique_ptr<FileWindow> window;
    if (file && file->isOpen()) window = std::make_unique<FileWindow>(*file, file->size(), true);
    Bytes held;
    auto framePasses = [&](std::size_t position, std::uint16_t type) {
        if (!typePasses(type)) return false;
        if (!readsRecords) return true;
        if (byIndex) {
            const RecordIndexEntry& e = index_[position];
            if (!keeps || e.keptHeader()) {
                const auto header = e.header(keeps);
                return filter_.passes(header, {static_cast<std::uint32_t>(position), nullptr});
            }
        }
        ByteSpan frame;
        if (window) {
            const RecordIndexEntry& e = index_[position];
            frame = window->view(e.offset(), e.size());
        } else {
            held = readFrame(position);
            frame = held;
        }
        const std::optional<RecordOrigin> origin = frameOrigin(position);
        return filter_.passes(frame, {static_cast<std::uint32_t>(position), origin ? &*origin : nullptr});
    };
    const std::size_t frames = index_.size();
    rows_.reserve(filter_.showsEverything() ? frames + texts_.size() : texts_.size() + 64);
    std::size_t text = 0;
    auto textsUpTo = [&](std::size_t framesBefore) {
        for (; text < texts_.size() && texts_[text].framesBefore <= framesBefore; ++text)
            rows_.push_back(kTextBit | static_cast<std::uint32_t>(text));
    };
    // Chunk by chunk: the entries of one chunk lie side by side in memory.
    for (std::size_t first = 0; first < frames; first += RecordIndex::kChunkEntries) {
        const std::size_t count = std::min(RecordIndex::kChunkEntries, frames - first);
        const RecordIndexEntry* run = &index_[first];
        for (std::size_t i = 0; i < count; ++i) {
            if (!texts_.empty()) textsUpTo(first + i);
            if (framePasses(first + i, run[i].recordType())) rows_.push_back(static_cast<std::uint32_t>(first + i));
        }
    }
    textsUpTo(frames);
}

std::size_t IndexedRecordSource::rowCount() const { return identity_ ? index_.size() : rows_.size(); }

std::optional<std::size_t> IndexedRecordSource::rowFrame(std::size_t row) const {
    if (row >= rowCount()) return std::nullopt;
    if (identity_) return row;
    if (rows_[row] & kTextBit) return std::nullopt;
    return rows_[row];
}

std::string IndexedRecordSource::codeText(std::uint32_t code, int column) const {
    assert((code & kTextBit) ? (code & ~kTextBit) < texts_.size() : code < index_.size());
    if (code & kTextBit) return column == 1 ? texts_[code & ~kTextBit].text : std::string{};
    const RecordIndexEntry& entry = index_[code];
    // What "%hu", "%lu bytes" and "%d" print, without a format to parse: the
    // list asks for three columns of every row it shows.
    char text[32];
    char* end = text;
    switch (column) {
    case 0: end = std::to_chars(text, text + sizeof text, entry.recordType()).ptr; break;
    case 1:
        end = std::to_chars(text, text + sizeof text, static_cast<unsigned long>(entry.size())).ptr;
        for (char c : std::string_view(" bytes")) *end++ = c;
        if (cut_ && cut_->position == code) {
            // A frame the file ends inside is marked where its Size is shown.
            std::string marked(text, end);
            marked += ", cut off: " + std::to_string(cut_->held) + " held";
            return marked;
        }
        break;
    case 2: end = std::to_chars(text, text + sizeof text, static_cast<int>(code)).ptr; break;
    default: return {};
    }
    return std::string(text, end);
}

Bytes IndexedRecordSource::codeRecord(std::uint32_t code) const {
    if (!(code & kTextBit)) return readFrame(code);
    const std::string& text = texts_[code & ~kTextBit].text;
    return Bytes(text.begin(), text.end());
}

std::string IndexedRecordSource::rowText(std::size_t row, int column) const {
    return row < rowCount() ? codeText(rowCode(row), column) : std::string{};
}

std::optional<Bytes> IndexedRecordSource::rowRecord(std::size_t row) const {
    if (row >= rowCount()) return std::nullopt;
    return codeRecord(rowCode(row));
}

std::uint32_t IndexedRecordSource::rowRecordNumber(std::size_t row) const {
    const std::optional<std::size_t> position = rowFrame(row);
    return position ? static_cast<std::uint32_t>(*position) : 0;
}

std::optional<RecordOrigin> IndexedRecordSource::rowOrigin(std::size_t row) const {
    const std::optional<std::size_t> position = rowFrame(row);
    return position ? frameOrigin(*position) : std::nullopt;
}

// Rows copied out of an indexed source, read through the source they came from.
class IndexedRecordSource::Snapshot final : public RecordSource {
public:
    Snapshot(std::shared_ptr<const IndexedRecordSource> source, std::vector<std::uint32_t> rows)
        : source_(std::move(source)), rows_(std::move(rows)) {}

    std::string name() const override { return source_->name(); }
    std::string path() const override { return source_->path(); }
    std::size_t rowCount() const override { return rows_.size(); }
    std::string rowText(std::size_t row, int column) const override {
        return row < rows_.size() ? source_->codeText(rows_[row], column) : std::string{};
    }
    std::optional<Bytes> rowRecord(std::size_t row) const override {
        if (row >= rows_.size()) return std::nullopt;
        return source_->codeRecord(rows_[row]);
    }
    std::uint32_t rowRecordNumber(std::size_t row) const override {
        return row < rows_.size() && !(rows_[row] & kTextBit) ? rows_[row] : 0;
    }
    std::optional<RecordOrigin> rowOrigin(std::size_t row) const override {
        return row < rows_.size() && !(rows_[row] & kTextBit) ? source_->frameOrigin(rows_[row]) : std::nullopt;
    }
    using RecordSource::setFilter;
    void setFilter(std::string_view) override {}
    RecordStatistics statistics() const override { return source_->statistics(); }
    std::shared_ptr<const RecordSource> snapshot(std::size_t first, std::size_t count) const override {
        first = std::min(first, rows_.size());
        count = std::min(count, rows_.size() - first);
        return std::make_shared<Snapshot>(source_, std::vector<std::uint32_t>(rows_.begin() + static_cast<std::ptrdiff_t>(first),
                                                                              rows_.begin() + static_cast<std::ptrdiff_t>(first + count)));
    }

private:
    std::shared_ptr<const IndexedRecordSource> source_;
    std::vector<std::uint32_t> rows_;
};

std::shared_ptr<const RecordSource> IndexedRecordSource::snapshot(std::size_t first, std::size_t count) const {
    first = std::min(first, rowCount());
    count = std::min(count, rowCount() - first);
    std::vector<std::uint32_t> rows(count);
    for (std::size_t i = 0; i < count; ++i) rows[i] = rowCode(first + i);
    return std::make_shared<Snapshot>(shared_from_this(), std::move(rows));
}

RecordStatistics IndexedRecordSource::statistics() const {
    RecordStatistics s;
    for (std::size_t i = 0; i < index_.size(); ++i) {
        const RecordIndexEntry& e = index_[i];
        s.add(e.recordType(), e.size(), e.time());
    }
    return s;
}

} // namespace tarvik
