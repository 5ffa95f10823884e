#pragma once
// Two recordings compared record by record and field by field.
//
// Records are paired per stream (device, enumerator, record type): by ping
// number where the type carries one, else by record counter, else by time
// within a tolerance. Both files are read once, side by side; a record waits
// for its partner at most `window` records, so memory stays bounded however
// long the files are, and a ping missing or added on either side leaves the
// pairing after it intact. Each pair's fields are compared by their names
// (vx.7027.quality, vx.device, ...) with tolerances; repeat blocks and
// vectors element by element.

#include "core/record_filter.h"
#include "core/result.h"
#include "decode/layout.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::compare {

// How far two numbers may lie apart and still count as equal: an amount, or
// with `relative` a percentage of the larger magnitude. The boundary is equal.
struct Tolerance {
    double amount = 0;
    bool relative = false;
    bool allows(double a, double b) const;
    std::string text() const;  // "0.5", "2%"
};

struct CompareOptions {
    // Per field (full names) and per record type; a field's own wins.
    std::map<std::string, Tolerance, std::less<>> fieldTolerances;
    std::map<std::uint32_t, Tolerance> typeTolerances;
    // Fields not compared: full names, or "PREFIX*" for every name that starts so.
    std::vector<std::string> ignored = defaultIgnored();
    // Records paired by their time stamps pair within this many seconds.
    double timeTolerance = 0.001;
    // How many records (of its own side) a record waits for its partner before
    // it is given up as unpaired.
    std::size_t window = 10000;
    // Findings kept in full in the result (all are counted and handed to the observer).
    std::size_t detailLimit = 20;
    // When more elements of one field differ in a pair, they make one summary
    // finding (count and largest difference) instead of one each.
    std::size_t elementLines = 3;
    // Records both sides keep (the other records are not read into the comparison).
    RecordFilter filter;

    // Fields that differ between any two runs of a server: when a record was
    // made and the running count of records sent.
    static std::vector<std::string> defaultIgnored() { return {"vx.time", "vx.record_counter"}; }
};

struct StreamKey {
    std::uint32_t type = 0;
    std::uint32_t device = 0;
    std::uint32_t enumerator = 0;
    friend auto operator<=>(const StreamKey&, const StreamKey&) = default;
};

// One thing the comparison found: a field that differs in a pair (or, for a
// summary, many elements of one), or a record without a partner.
struct Finding {
    enum class Kind { Differs, OnlyInA, OnlyInB };
    Kind kind = Kind::Differs;
    std::optional<std::uint64_t> rowA, rowB;  // frame numbers in each file (what the list shows)
    StreamKey stream;
    std::string pairedBy;  // "ping 12", "record counter 5", "time 2024-03-05T07:04:09Z"
    // Differs:
    std::string field;     // "vx.7027.detection_point"
    // "" for a single value, "[3]", "[1][4]" inside blocks and vectors (of a
    // summary: the first element that differs)
    std::string element;
    std::string valueA, valueB;  // as the report shows them; "(absent)" when one side lacks it (of a summary: the first)
    std::optional<double> difference;  // |A - B| of numbers
    // A summary: this many elements of `field` differ out of so many compared
    // (0 for a single finding); `difference` is then the largest.
    std::size_t elementsDiffering = 0;
    std::size_t elementsCompared = 0;

    // One line of text: "A 12 / B 12 7027 ping 12: vx.7027.quality[3]: 2 -> 3 (difference 1)".
    std::string line() const;
};
const char* kindName(Finding::Kind kind);  // "differs", "only in A", "only in B"

struct TypeSummary {
    std::uint64_t pairs = 0, equal = 0, differing = 0, onlyInA = 0, onlyInB = 0;
};
struct FieldSummary {
    std::uint64_t pairs = 0;     // pairs in which the field differs
    std::uint64_t values = 0;    // values (elements) that differ
    std::optional<double> largest;  // the largest numeric difference
};

struct CompareResult {
    std::map<std::uint32_t, TypeSummary> types;
    std::map<std::string, FieldSummary> fields;
    std::vector<Finding> first;  // the first findings, at most detailLimit
    std::uint64_t findings = 0;  // all of them
    std::uint64_t recordsA = 0, recordsB = 0;  // records compared (after the filter)
    // What could not be read of each file, one line each.
    std::vector<std::string> notesA, notesB;
    bool equal() const;
};

// Sees the comparison as it goes: every finding, and every pair with whether
// it was equal (rows of A and B).
struct CompareObserver {
    std::function<void(const Finding&)> finding;
    std::function<void(std::uint64_t rowA, std::uint64_t rowB, bool equal)> pair;
};

// Compares two record files (captures are read as the record file they make,
// through openSource's reader). `catalogue` decodes both; it must not change
// while the comparison runs. Fails when a file cannot be read at all.
Result<CompareResult> compareFiles(const std::string& a, const std::string& b, const LayoutCatalogue& catalogue,
                                   const CompareOptions& options, const CompareObserver& observer = {},
                                   const std::vector<std::uint16_t>& capturePorts = {});

// Option texts, resolved against the field names of `catalogue`: a failure says
// which name is unknown (with the nearest one) or what is wrong with the value.
// "vx.7027.detection_point=0.5", "7027=2%", "vx.7027=2%": a field's or a type's tolerance.
Result<void> addTolerance(std::string_view text, const LayoutCatalogue& catalogue, CompareOptions& options);
// "vx.time,vx.7027.quality,vx.7027.*": names to ignore (full, short, or a prefix with *).
Result<std::vector<std::string>> ignoredNames(std::string_view text, const LayoutCatalogue& catalogue);

} // namespace tarvik::compare

namespace tarvik::compare {

// The result as a JSON document: the summaries per type and per field, the
// notes, and `findings` (all of them when the caller gathered them, else the
// first the result kept); `truncated` says that more were found than listed.
std::string compareResultJson(const CompareResult& result, const std::string& a, const std::string& b,
                              const std::vector<Finding>& findings, bool truncated, int indent = 2);

} // namespace tarvik::compare
