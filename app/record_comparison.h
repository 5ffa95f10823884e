#pragma once
// "Compare With...": the file shown in the window compared with a second
// recording, kept for the record list (which rows differ or have no partner)
// and the report (the partner's report beside the row's own).

#include "compare/compare.h"
#include "core/result.h"
#include "decode/layout.h"
#include "sources/open_source.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

class RecordComparison {
public:
    enum class Mark : std::uint8_t { None, Equal, Differs, Unpaired };

    // Compares the file at `shown` (A, the window's) with `other` (B), and
    // opens B to read partners' bytes from. Fails with the reason either
    // cannot be read.
    static Result<RecordComparison> run(const std::string& shown, const std::string& other,
                                        const LayoutCatalogue& catalogue, const compare::CompareOptions& options,
                                        const std::vector<std::uint16_t>& capturePorts = {});

    // What became of the record at this frame number of A.
    Mark mark(std::uint64_t recordNumber) const;
    // The frame number of its partner in B.
    std::optional<std::uint64_t> partner(std::uint64_t recordNumber) const;
    // The bytes of frame `position` of B (empty when they cannot be read).
    Bytes otherFrame(std::uint64_t position) const;

    const std::string& otherPath() const { return other_; }
    const compare::CompareResult& result() const { return result_; }
    // The summary line the window shows: "Compared with B: 12 pairs differ, 3 only here, 1 only there".
    std::string summary() const;

private:
    std::string other_;
    compare::CompareResult result_;
    std::vector<Mark> marks_;
    std::vector<std::uint64_t> partners_;  // kNone where none
    std::shared_ptr<IndexedRecordSource> otherSource_;
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
};

} // namespace tarvik
