#pragma once
// Which records a list shows, as one value that sources, the record pipeline
// and every command take. Either the record-type filter ("ALL RECORDS",
// "7000; 7004": a text match on the type's digits) or an expression over the
// records' fields, compiled by a library above this one and handed down as a
// predicate. Copies share the compiled predicate.

#include "core/bytes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tarvik {

struct RecordOrigin;

// What a predicate may ask of a record besides its bytes.
struct RecordContext {
    std::uint32_t recordNumber = 0;         // the number the list keeps for it (0: none)
    const RecordOrigin* origin = nullptr;  // where a capture saw it, when known
};

// A compiled expression over one record's fields.
class RecordPredicate {
public:
    virtual ~RecordPredicate() = default;
    virtual bool matches(ByteSpan frame, const RecordContext& context) const = 0;
    // True when the header's record type alone decides every record of that
    // type (a source may then filter from its index without reading records),
    // and whether that type passes.
    virtual bool decidedByType(std::uint32_t recordType, bool& passes) const {
        (void)recordType;
        (void)passes;
        return false;
    }
    // True when the header fields a source's index entries hold decide every
    // record: the source may then hand matches() the header an entry rebuilds
    // (RecordIndexEntry::header) instead of reading the frame. `keptHeader`:
    // the entries hold the fields RecordIndexEntry::keepHeader keeps.
    virtual bool decidedByIndex(bool keptHeader) const {
        (void)keptHeader;
        return false;
    }
};

class RecordFilter {
public:
    // Shows every record.
    RecordFilter();
    // The record-type filter as the list's filter box holds it.
    static RecordFilter types(std::string text);
    // An expression: `text` as typed, `predicate` what it compiled to.
    static RecordFilter expression(std::string text, std::shared_ptr<const RecordPredicate> predicate);

    // The filter as typed (the record-type text, or the expression).
    const std::string& text() const { return text_; }
    bool showsEverything() const;
    // True when the record type alone decides (no record is read to filter).
    bool byTypeOnly() const { return predicate_ == nullptr; }
    // For a filter decided by type: does a record of this type pass?
    // An expression answers for the types it decides alone; for the others
    // it answers true (the record must then be read: see passes()).
    bool passesType(std::uint32_t recordType) const;
    // True when an expression is decided by the header fields of index
    // entries (see RecordPredicate::decidedByIndex); false for record types.
    bool decidedByIndex(bool keptHeader) const { return predicate_ && predicate_->decidedByIndex(keptHeader); }
    // Does this record frame pass?
    bool passes(ByteSpan frame, const RecordContext& context = {}) const;

private:
    std::string text_;
    std::shared_ptr<const RecordPredicate> predicate_;
};

} // namespace tarvik
