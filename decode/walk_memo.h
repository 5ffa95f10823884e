#pragma once
// Outcomes of quiet layout walks, remembered for the records that walk alike.
// Records of one type mostly walk the same way: the same counts, sizes and
// lengths give the same items and the same verdict. A walk reads the record's
// bytes into values, and only the values its look-ups return change where it
// goes (see WalkTrace); a record with the same header fields the walk uses and
// the same bytes under those values has the outcome of the walk remembered.
// Walks that read the record in other ways (the samples of record 7008, the
// list parameters of commands) are walked every time.

#include "core/bytes.h"
#include "decode/report.h"
#include "decode/walker.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace tarvik {

class WalkMemo {
public:
    // The reporter walks what is not remembered; it must outlive the memo,
    // and its catalogue must not change while the memo is in use.
    explicit WalkMemo(RecordReporter& reporter) : reporter_(reporter) {}

    // What reporter.walkOutcome(frame) gives; valid until the next call.
    const Report& outcome(ByteSpan frame);

    using Watch = std::function<bool(const WalkedField&)>;
    // The items a walk of `frame` takes, handed to `watch` one by one as the
    // reporter's watchFields hands them, up to the first for which it returns
    // false (the walk ends there). A replayed walk hands the remembered items
    // with their places; a watch that decides by the items it is handed ends
    // a replay where it ended the walk (one that goes on makes the walk go on
    // past the items it was handed). Returns the items handed; valid until the next call. A memo
    // serves either outcome() or walkFields() over its life, not both.
    const std::vector<WalkedField>& walkFields(ByteSpan frame, const Watch& watch);
    // As walkFields, for a watch that decides by the items it is handed alone
    // (the same items, the same decisions): a replayed walk hands it nothing
    // and returns the remembered items, which it was handed when they were
    // walked; `replayed` says which happened. Remembered items stay in place
    // as long as the memo: their address tells one remembered walk from another.
    const std::vector<WalkedField>& walkFields(ByteSpan frame, const Watch& watch, bool& replayed);

    std::uint64_t replayed() const { return replayed_; }
    std::uint64_t walked() const { return walked_; }

    // Bounds on what is kept, whatever the file holds.
    static constexpr std::size_t kMaxOutcomes = 4096;      // in all
    static constexpr std::size_t kMaxPerKey = 8;           // per key (type, Size, ...)
    static constexpr std::size_t kMaxProbeBytes = 256;     // looked-up bytes of one outcome
    static constexpr std::size_t kMaxFields = std::size_t{1} << 16;  // walked items of all outcomes kept

private:
    struct Key {
        std::uint32_t recordType = 0;
        std::uint32_t size = 0;  // the bytes walked
        std::uint16_t protocol = 0;
        std::uint16_t version = 0;
        std::uint16_t offset = 0;
        bool optionalData = false;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const;
    };
    struct Probe {
        std::uint32_t offset = 0;
        std::uint32_t width = 0;
    };
    struct Remembered {
        std::vector<Probe> probes;
        Bytes expected;  // the probes' bytes, one after the other
        Report outcome;
        std::vector<WalkedField> fields;  // walkFields: the items handed
        bool endedByWatch = false;        // walkFields: the watch ended the walk at the last of them
    };
    static bool matches(const Remembered& r, ByteSpan record);
    Key keyOf(const FrameView& f, ByteSpan frame) const;
    // Remembers the walk just traced, when it can be replayed and there is room.
    Remembered* remember(const Key& key, ByteSpan record);
    const std::vector<WalkedField>& walkFields(ByteSpan frame, const Watch& watch, bool& replayed, bool handReplays);
    using Outcomes = std::unordered_map<Key, std::vector<Remembered>, KeyHash>;
    // The outcomes kept for a key (null when none), looked up among the keys
    // met last before the table: records come in short cycles of few types.
    std::vector<Remembered>* find(const Key& key);

    RecordReporter& reporter_;
    Outcomes outcomes_;
    struct Recent {
        Key key;
        std::vector<Remembered>* at;  // entries of the table stay put when it grows
    };
    std::array<Recent, 8> recent_{};
    std::size_t recentCount_ = 0, recentNext_ = 0;
    std::size_t count_ = 0;
    WalkTrace trace_;
    Report fresh_;
    std::vector<WalkedField> freshFields_;
    std::size_t fieldCount_ = 0;
    const Watch* watch_ = nullptr;
    bool watchEnded_ = false;
    std::size_t skip_ = 0;  // items the walk hands that the watch was handed already
    Watch watching_;  // hands the items to *watch_, noting whether it ended the walk
    std::uint64_t replayed_ = 0;
    std::uint64_t walked_ = 0;
};

} // namespace tarvik
