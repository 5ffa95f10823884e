#include "app/record_comparison.h"

namespace tarvik {

Result<RecordComparison> RecordComparison::run(const std::string& shown, const std::string& other,
                                               const LayoutCatalogue& catalogue, const compare::CompareOptions& options,
                                               const std::vector<std::uint16_t>& capturePorts) {
    RecordComparison c;
    c.other_ = other;
    SourceOptions sourceOptions;
    sourceOptions.capturePorts = capturePorts;
    Result<OpenedSource> opened = openSource(other, sourceOptions);
    if (!opened) return failure(opened.error());
    if (!opened->source) return failure(other + ": a recording is compared with a record file or a capture");
    c.otherSource_ = opened->source;

    auto place = [&c](std::uint64_t row) -> std::size_t {
        // One entry per frame of A up to the highest met: A is the file the window holds.
        if (row >= c.marks_.size()) {
            c.marks_.resize(row + 1, Mark::None);
            c.partners_.resize(row + 1, kNone);
        }
        return static_cast<std::size_t>(row);
    };
    compare::CompareObserver observer;
    observer.pair = [&](std::uint64_t rowA, std::uint64_t rowB, bool equal) {
        const std::size_t at = place(rowA);
        c.marks_[at] = equal ? Mark::Equal : Mark::Differs;
        c.partners_[at] = rowB;
    };
    observer.finding = [&](const compare::Finding& f) {
        if (f.kind == compare::Finding::Kind::OnlyInA && f.rowA) c.marks_[place(*f.rowA)] = Mark::Unpaired;
    };
    compare::CompareOptions o = options;
    o.detailLimit = 0;
    Result<compare::CompareResult> r = compare::compareFiles(shown, other, catalogue, o, observer, capturePorts);
    if (!r) return failure(r.error());
    c.result_ = std::move(*r);
    return c;
}

RecordComparison::Mark RecordComparison::mark(std::uint64_t recordNumber) const {
    return recordNumber < marks_.size() ? marks_[static_cast<std::size_t>(recordNumber)] : Mark::None;
}

std::optional<std::uint64_t> RecordComparison::partner(std::uint64_t recordNumber) const {
    if (recordNumber >= partners_.size() || partners_[static_cast<std::size_t>(recordNumber)] == kNone) return std::nullopt;
    return partners_[static_cast<std::size_t>(recordNumber)];
}

Bytes RecordComparison::otherFrame(std::uint64_t position) const {
    if (!otherSource_ || position >= otherSource_->index().size()) return {};
    return otherSource_->readFrame(static_cast<std::size_t>(position));
}

std::string RecordComparison::summary() const {
    std::uint64_t differing = 0, onlyA = 0, onlyB = 0;
    for (const auto& [type, t] : result_.types) {
        differing += t.differing;
        onlyA += t.onlyInA;
        onlyB += t.onlyInB;
    }
    return "Compared with " + other_ + ": " + std::to_string(differing) + " pairs differ, " + std::to_string(onlyA) +
           " only here, " + std::to_string(onlyB) + " only there";
}

} // namespace tarvik
