#pragma once
// The text report of one record: the frame header line by line, every field of
// the data section and the optional data as the layout catalogue describes
// them, and a verdict on the trailing checksum.

#include "core/bytes.h"
#include "core/frame.h"
#include "decode/beamformed.h"
#include "decode/layout.h"
#include "decode/remote_definitions.h"
#include "decode/walker.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

struct Report {
    std::vector<std::string> lines;
    std::vector<std::string> messages;   // texts for a message box ("Bad String Length")
    std::uint32_t recordType = 0;
    std::int64_t consumed = 0;           // where the walk ended, counted from the frame's first byte
    bool isMarker = false;               // a marker entry, not a record
};

// The report line of a frame whose flags claim no checksum (bit 0 clear).
inline constexpr std::string_view kNoChecksumClaimed = "No checksum claimed (flags bit 0 clear)";

// Whether a frame's (non-zero) optional data offset points into the frame,
// behind its header.
bool optionalDataOffsetInFrame(const FrameView& frame);

class RecordReporter {
public:
    RecordReporter(const LayoutCatalogue& catalogue, const RemoteCommandDefinitions& commands)
        : catalogue_(catalogue), commands_(&commands) {}

    // The definitions that decode the body of a remote-control record (7500).
    void setCommandDefinitions(const RemoteCommandDefinitions& commands) { commands_ = &commands; }

    // The report of a stored record; `recordNumber` is the number the record
    // list keeps for it.
    Report report(ByteSpan record, std::uint32_t recordNumber);

    // The walk of the report without its text: the same items, counts and
    // sizes, but `lines` holds only the lines that tell why the walk stopped
    // early ("Data exhausted", the repeat-block shortfalls, the sample
    // excerpt's own lines of record 7008), and `messages` the message texts.
    // With `trace`, it is filled with what of the record steered the walk.
    Report walkOutcome(ByteSpan record, WalkTrace* trace = nullptr);

    // The report of a list entry that is a marker text, when it is one
    // ("PAUSE", "DROP", "FAIL" or "TEXT" anywhere in it).
    static std::optional<Report> markerReport(std::string_view entry);

    // While set, every walked item of the following reports is added to
    // `fields` with its byte offset and width (cleared by the caller).
    void collectFields(std::vector<WalkedField>* fields) { fields_ = fields; }
    // While set, the walks of walkOutcome hand every walked item to `watch` as
    // it is walked; the walk ends where it returns false (cleared by the caller).
    void watchFields(const std::function<bool(const WalkedField&)>* watch) { watch_ = watch; }

private:
    // Walks the data section, the optional data and a command body from
    // `pos`; returns where the walk ended.
    std::int64_t walkRecord(DecodeContext& ctx, const FrameView& f, ByteSpan stored, ByteSpan record,
                            std::int64_t pos);

    const LayoutCatalogue& catalogue_;
    const RemoteCommandDefinitions* commands_;
    BeamformedState beamformed_;
    FieldValueList values_;  // kept between walks so that a walk does not allocate afresh
    std::vector<WalkedField>* fields_ = nullptr;
    const std::function<bool(const WalkedField&)>* watch_ = nullptr;
};

// The lines of the last two reports. A line of a new report refers to the line
// with the same index of the previous report when both are of the same record
// type, so that changed lines can be marked.
class ReportHistory {
public:
    struct Line {
        std::string text;
        std::optional<std::size_t> previous;  // index into the previous report's lines
        bool changed = false;                 // differs from the line it refers to
    };

    const std::vector<Line>& add(std::vector<std::string> lines, std::uint32_t recordType, bool comparable = true);
    const std::vector<Line>& current() const { return current_; }
    const std::vector<Line>& previous() const { return previous_; }
    std::optional<std::uint32_t> recordTypeShown() const { return type_; }

private:
    std::vector<Line> current_, previous_;
    std::optional<std::uint32_t> type_;
};

} // namespace tarvik
