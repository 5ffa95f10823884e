#pragma once
// A live connection as a record source: the rows are the arrival pipeline's
// shown records, the statistics the counts of every frame that arrived.

#include "pipeline/arrival_pipeline.h"
#include "core/record_source.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace tarvik {

class LiveRecordSource final : public RecordSource {
public:
    LiveRecordSource(CArrivalPipeline& pipeline, const RecordStatistics& statistics)
        : pipeline_(pipeline), statistics_(statistics) {}

    std::string name() const override { return "Live records"; }
    bool live() const override { return true; }
    std::size_t rowCount() const override { return pipeline_.rowCount(); }
    std::string rowText(std::size_t row, int column) const override { return pipeline_.rowText(row, column); }
    std::optional<Bytes> rowRecord(std::size_t row) const override {
        const ListedEntry* entry = pipeline_.row(row);
        if (!entry) return std::nullopt;
        return entry->bytes();
    }
    std::uint32_t rowRecordNumber(std::size_t row) const override {
        const ListedEntry* entry = pipeline_.row(row);
        return entry ? entry->number : 0;
    }
    // The rows are listed again from the history while records arrive; a
    // finished session keeps the rows it showed.
    void setFilter(std::string_view filter) override {
        if (pipeline_.communicating) pipeline_.RefilterLiveList(RecordFilter::types(std::string(filter)));
    }
    void setFilter(const RecordFilter& filter) override {
        if (pipeline_.communicating) pipeline_.RefilterLiveList(filter);
    }
    RecordStatistics statistics() const override { return statistics_; }
    std::shared_ptr<const RecordSource> snapshot(std::size_t first, std::size_t count) const override;

private:
    CArrivalPipeline& pipeline_;
    const RecordStatistics& statistics_;
};

// Listed entries held on their own (they share their bytes with the list):
// a snapshot of live rows.
class HeldRowsSource final : public RecordSource {
public:
    explicit HeldRowsSource(std::vector<ListedEntry> rows) : rows_(std::move(rows)) {}
    std::string name() const override { return "Live records"; }
    bool live() const override { return true; }
    std::size_t rowCount() const override { return rows_.size(); }
    std::string rowText(std::size_t row, int column) const override {
        return row < rows_.size() ? CArrivalPipeline::entryText(rows_[row].bytes(), column) : std::string{};
    }
    std::optional<Bytes> rowRecord(std::size_t row) const override {
        if (row >= rows_.size()) return std::nullopt;
        return rows_[row].bytes();
    }
    std::uint32_t rowRecordNumber(std::size_t row) const override { return row < rows_.size() ? rows_[row].number : 0; }
    using RecordSource::setFilter;
    void setFilter(std::string_view) override {}
    RecordStatistics statistics() const override {
        RecordStatistics s;
        for (const ListedEntry& e : rows_) s.add(e.bytes());
        return s;
    }
    std::shared_ptr<const RecordSource> snapshot(std::size_t first, std::size_t count) const override {
        first = std::min(first, rows_.size());
        count = std::min(count, rows_.size() - first);
        const auto from = rows_.begin() + static_cast<std::ptrdiff_t>(first);
        return std::make_shared<HeldRowsSource>(std::vector<ListedEntry>(from, from + static_cast<std::ptrdiff_t>(count)));
    }

private:
    std::vector<ListedEntry> rows_;
};

inline std::shared_ptr<const RecordSource> LiveRecordSource::snapshot(std::size_t first, std::size_t count) const {
    std::vector<ListedEntry> rows;
    for (std::size_t r = first; r < first + count; ++r)
        if (const ListedEntry* entry = pipeline_.row(r)) rows.push_back(*entry);
    return std::make_shared<HeldRowsSource>(std::move(rows));
}

} // namespace tarvik
