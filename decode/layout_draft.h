#pragma once
// A first layout of a record type whose items are not known, guessed from real
// records: fixed or variable size, bytes that never change, values that look
// like times, floats, counters or identifiers, and candidate count fields (an
// integer whose value times a constant element size accounts for the rest of
// every record). Memory stays bounded however many records are fed: it keeps
// statistics per byte position of the data section, never the records.

#include "core/bytes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

class LayoutDraft {
public:
    explicit LayoutDraft(std::uint32_t recordType);

    // Byte positions of the data section that are followed (beyond them a
    // record's bytes are not looked at).
    static constexpr std::size_t kMaxPositions = 65536;
    // The start of the data section in which typed values and count fields are looked for.
    static constexpr std::size_t kTypedPositions = 512;

    // Takes one frame; frames of another record type are left out (false).
    bool add(ByteSpan frame);

    std::uint32_t recordType() const { return type_; }
    std::uint64_t records() const { return records_; }
    std::uint64_t bytes() const { return bytes_; }
    std::size_t minSize() const { return minSize_; }  // data-section sizes
    std::size_t maxSize() const { return maxSize_; }
    bool fixedSize() const { return records_ > 0 && minSize_ == maxSize_; }

    struct CountField {
        std::size_t offset = 0;       // in the data section (names add the data start)
        int width = 0;                // bytes of the integer
        std::size_t fixedPart = 0;    // the bytes before the repeated elements
        std::size_t elementSize = 0;  // bytes per counted element
    };
    // Every field whose value times one element size accounts for the bytes
    // after the fixed part in every record, the likeliest first.
    std::vector<CountField> countFields() const;

    // The draft in the layout file format. `title` is the record's title (a
    // known one is kept); `sources` name the files read, for the opening comment.
    std::string yaml(const std::string& title, const std::vector<std::string>& sources) const;

private:
    struct Candidate {
        std::uint32_t offset = 0;
        std::uint8_t width = 0;
        bool seen = false;
        std::uint64_t firstValue = 0;
        std::uint64_t firstSize = 0;
        std::int64_t element = 0;  // 0: not known yet
    };
    struct Typed {
        bool floatOk = true, floatNonZero = false;
        bool timeOk = true;
        bool rising = true;  // the u32 here never falls and moves in small steps
        std::uint32_t lastU32 = 0;
        std::uint32_t minU32 = 0xFFFFFFFFu, maxU32 = 0;
        float minFloat = 0, maxFloat = 0;
    };

    void takeTyped(const std::uint8_t* d, std::size_t n);
    std::string itemComment(std::size_t offset, std::size_t width) const;
    // An item's name, and an offset in a comment, by its offset in the data
    // section: both given from the frame's first byte.
    std::string name(std::size_t offset) const;
    std::string at(std::size_t offset) const;
    bool constantAt(std::size_t offset, std::size_t width) const;
    std::uint64_t valueOfFirst(std::size_t offset, std::size_t width) const;

    std::uint32_t type_;
    std::uint64_t records_ = 0;
    std::uint64_t bytes_ = 0;
    std::size_t dataStart_ = 64;  // where the first record's data section begins in its frame
    std::size_t minSize_ = 0, maxSize_ = 0;
    // Per byte position: its value in the first record that had it, and whether it ever differed.
    std::vector<std::uint8_t> first_;
    std::vector<std::uint8_t> varies_;
    std::vector<Typed> typed_;
    std::vector<Candidate> candidates_;  // the live ones
};

} // namespace tarvik
