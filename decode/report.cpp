#include "decode/report.h"

#include "core/frame.h"
#include "core/text.h"
#include "decode/field_format.h"
#include "decode/walker.h"

#include <algorithm>

namespace tarvik {

namespace {

constexpr std::int32_t kMaxRemoteCommand = 10'000;


// Frame header lines, from "Record #" to the record type and title.
void addFrameLines(const FrameView& f, std::int32_t protocol, std::int32_t version, std::uint32_t offset,
                   std::uint32_t recordNumber, const std::string& title, std::vector<std::string>& lines) {
    lines.push_back(strprintf("   Record # %lu  (Protocol %hu, Record_Version %d)", (unsigned long)recordNumber,
                              static_cast<unsigned short>(protocol), version));
    lines.emplace_back(" ");
    lines.push_back(strprintf("   Device %lu   enum %hu", (unsigned long)f.deviceId(), f.systemEnumerator()));
    lines.push_back(strprintf("   Size %lu, offset %hu, flags %hu", (unsigned long)f.size(),
                              static_cast<unsigned short>(offset), f.flags()));
    lines.push_back("   " + title);
    if (f.optionalDataOffset() != 0 && f.optionalDataOffset() < kFrameHeaderSize)
        lines.push_back(strprintf("   OPTIONAL DATA OFFSET %lu POINTS INTO THE HEADER (the data begins at byte %lu), "
                                  "ident %lu",
                                  (unsigned long)f.optionalDataOffset(), (unsigned long)kFrameHeaderSize,
                                  (unsigned long)f.optionalDataId()));
    else if (f.optionalDataOffset() != 0 && !optionalDataOffsetInFrame(f))
        // A position the frame cannot hold (a wrapped -1, say) is named as such, not as a byte count.
        lines.push_back(strprintf("   OPTIONAL DATA OFFSET %lu LIES OUTSIDE THE FRAME (Size %lu), ident %lu",
                                  (unsigned long)f.optionalDataOffset(), (unsigned long)f.size(),
                                  (unsigned long)f.optionalDataId()));
    else if (f.optionalDataOffset() != 0)
        lines.push_back(strprintf("   Optional data present #bytes %lu, ident %lu ",
                                  (unsigned long)f.optionalDataOffset(), (unsigned long)f.optionalDataId()));
    lines.push_back(strprintf("   Record counter %lu, Tot. recs in fragmented set %lu, frag. # %lu",
                              (unsigned long)f.recordCounter(), (unsigned long)f.totalFragments(),
                              (unsigned long)f.fragmentNumber()));
    const VxTIME t = f.time();
    if (auto marker = uninitialisedMarker(f.timeBytes())) {
        lines.push_back(*marker == 0xCD ? "   ****TIME IS UNINITIALIZED DATA (0xCD)"
                                        : "   ****TIME IS UNINITIALIZED DATA (0xFB)");
    } else if (auto text = t.year != 0 && t.day != 0 ? formatDateTime(t) : std::nullopt) {
        lines.push_back("   Time \t" + *text);
    } else {
        // No time, or a day of the year without a calendar date: year and day as they are.
        lines.push_back(strprintf("   NO TIME: year=%d, day=%d", int(t.year), int(t.day)));
    }
    lines.emplace_back(" - - - - - - -End of Data Record Frame- - - - - - - ");
    lines.emplace_back(" ");
    lines.push_back(strprintf("Record type %lu, %s", (unsigned long)f.recordType(), title.c_str()));
    if (title.empty()) lines.emplace_back("Unknown protocol or record type");
}

void addChecksumVerdict(ByteSpan stored, std::int64_t consumed, bool checksumFlag, std::vector<std::string>& lines) {
    const auto size = static_cast<std::int64_t>(stored.size());
    const std::int64_t rest = size - consumed;
    // Whatever the bytes after the fields are, a frame whose flags claim no
    // checksum says so first: there is nothing to verify.
    if (!checksumFlag) lines.emplace_back(kNoChecksumClaimed);
    if (rest == 4) {
        lines.push_back(strprintf("Bytes consumed %lu, Record size %lu, probably ends in checksum",
                                  (unsigned long)consumed, (unsigned long)size));
        const std::uint32_t field = readLEOr0<std::uint32_t>(stored, static_cast<std::uint64_t>(consumed));
        if (!checksumFlag) {
            lines.push_back(strprintf("Checksum field %u", field));
            return;
        }
        const std::uint32_t sum = computeChecksum(stored, static_cast<std::size_t>(consumed));
        lines.push_back(strprintf("Checksum field %u, calc.= %u", field, sum));
        if (sum != field)
            lines.emplace_back(computeSignedChecksum(stored, static_cast<std::size_t>(consumed)) == field
                                   ? "! ! ! ! CHECKSUM CALCULATED WITH SIGNED ARITHMETIC"
                                   : "! ! ! ! CHECKSUM NOT CORRECT");
    } else if (rest == 0) {
        lines.emplace_back("CHECKSUM FIELD MISSING");
    } else if (rest > 0 && rest < 4) {
        lines.emplace_back("NO ROOM FOR CHECKSUM FIELD");
    } else {
        lines.push_back(
            strprintf("Bytes consumed %lu, Record size %lu", (unsigned long)consumed, (unsigned long)size));
    }
}

} // namespace

bool optionalDataOffsetInFrame(const FrameView& f) {
    return f.optionalDataOffset() >= kFrameHeaderSize && f.optionalDataOffset() < f.size();
}

std::optional<Report> RecordReporter::markerReport(std::string_view entry) {
    for (std::string_view marker : {"PAUSE", "DROP", "FAIL"}) {
        if (entry.find(marker) != std::string_view::npos) {
            Report r;
            r.isMarker = true;
            r.lines.emplace_back(entry);
            return r;
        }
    }
    if (entry.find("TEXT") == std::string_view::npos) return std::nullopt;
    Report r;
    r.isMarker = true;
    r.lines.emplace_back(entry.substr(std::min<std::size_t>(4, entry.size())));
    return r;
}

std::int64_t RecordReporter::walkRecord(DecodeContext& ctx, const FrameView& f, ByteSpan stored, ByteSpan record,
                                        std::int64_t pos) {
    const RecordKey key = ctx.key;
    if (f.recordType() == 7008) {
        beamformed_.prepare(stored);
        ctx.beamDescriptors = &beamformed_.descriptors;
    }
    // Two captures, so that the call is held in place: a walk allocates nothing for it.
    struct PingCall {
        RecordKey key;
        ByteSpan stored, record;
        const bool& quiet;
        WalkTrace* trace;
    } call{key, stored, record, ctx.quiet, ctx.trace};
    ctx.pingData = [this, &call](std::vector<std::string>& out, const FieldValueList& values) {
        if (call.trace) {
            // A quiet walk steps over the samples by their count and size: what
            // steers it are the header and the fixed part the state is prepared
            // from. A walk that shows the samples reads every one.
            if (call.quiet) BeamformedState::notePreparedBytes(call.stored, call.trace->reads);
            else call.trace->opaque = true;
        }
        if (call.key.recordType != 7008) beamformed_.prepare(call.stored);
        return beamformed_.checkAndFormat(call.record, out, values, catalogue_.beamSampleLayout, call.quiet);
    };

    // Looked up on every walk: the catalogue may be reloaded in place between walks.
    const RecordDescription& description = catalogue_.record(key);
    const RecordDescription& optional = catalogue_.optional(key);
    const auto size = static_cast<std::int64_t>(record.size());
    std::vector<std::string>& lines = ctx.lines;
    const std::int64_t limit = size - 4;  // the checksum is never read as data
    WalkResult walk = walkItems(ctx, description.items, record, pos, limit, WalkLevel::Record);
    pos = walk.pos;
    if (walk.end == WalkResult::End::Done && f.optionalDataOffset() != 0 && !optional.items.empty()) {
        if (!ctx.quiet) {
            lines.emplace_back();
            lines.emplace_back("------ Optional Data ------");
        }
        walk = walkItems(ctx, optional.items, record, pos, limit, WalkLevel::Record);
        pos = walk.pos;
    }

    if (f.recordType() == 7500 && !ctx.cut && !ctx.stopped) {
        const std::int32_t command = ctx.values.countLookup("Remote control ID");
        if (command >= 1 && command <= kMaxRemoteCommand)
            pos = walkItems(ctx, commands_->commandItems(static_cast<std::uint32_t>(command)), record, pos, limit,
                            WalkLevel::Command)
                      .pos;
        else if (!ctx.quiet)
            lines.emplace_back("Failed to find a remote command number");
    }
    if (ctx.cut) lines.push_back(cutReportLine());
    return pos;
}

Report RecordReporter::walkOutcome(ByteSpan stored, WalkTrace* trace) {
    Report rep;
    const FrameView f(stored);
    const std::int32_t protocol = f.protocolVersion() ? f.protocolVersion() : kCatalogueProtocolVersion;
    const std::int32_t version = f.recordVersion() ? f.recordVersion() : kCatalogueRecordVersion;
    const std::uint32_t offset = f.offset() ? f.offset() : kBuiltOffset;
    rep.recordType = f.recordType();
    const RecordKey key{protocol, version, static_cast<std::int32_t>(f.recordType())};
    const ByteSpan record = stored.first(std::min<std::size_t>(f.size(), stored.size()));
    DecodeContext ctx(catalogue_, key, rep.lines);
    ctx.quiet = true;
    ctx.fields = fields_;  // the items' offsets and widths, for readers of their values
    ctx.watch = watch_;
    ctx.trace = trace;
    values_.clear();
    // A field takes a byte of the record or more, nearly always: room for as
    // many as the record has bytes (up to 64 Ki) is made before the walk.
    // Room not written costs nothing, where growing by doubling writes every
    // entry again into fresh pages (a file catalog walks thousands of fields).
    const std::size_t room = std::min<std::size_t>(record.size(), std::size_t{1} << 16);
    values_.reserve(room);
    if (trace) trace->sources.reserve(room);
    values_.logLookups(trace ? &trace->lookups : nullptr);
    ctx.values = std::move(values_);
    rep.consumed = walkRecord(ctx, f, stored, record, std::int64_t{offset} + 4);
    values_ = std::move(ctx.values);
    values_.logLookups(nullptr);
    for (auto& m : ctx.recordMessages) rep.messages.push_back(std::move(m));
    for (auto& m : ctx.messages) rep.messages.push_back(std::move(m));
    return rep;
}

Report RecordReporter::report(ByteSpan stored, std::uint32_t recordNumber) {
    Report rep;
    std::vector<std::string>& lines = rep.lines;
    // Most fields take 4 bytes and give a line each: one line per 32 bytes
    // avoids regrowing the list for large records without holding much idle.
    lines.reserve(std::min<std::size_t>(64 + stored.size() / 32, 1u << 16));
    const FrameView f(stored);

    std::int32_t protocol = f.protocolVersion();
    std::int32_t version = f.recordVersion();
    std::uint32_t offset = f.offset();
    if (protocol == 0) {
        protocol = kCatalogueProtocolVersion;
        lines.emplace_back("   ERROR PROTOCOL  = 0");
    }
    if (version == 0) {
        version = kCatalogueRecordVersion;
        lines.emplace_back("   ERROR RECORDS_VERSION = 0");
    }
    if (offset == 0) {
        offset = kBuiltOffset;
        lines.emplace_back("   ERROR OFFSET = 0, attempt to use record frame size");
    }
    rep.recordType = f.recordType();
    const RecordKey key{protocol, version, static_cast<std::int32_t>(f.recordType())};
    const RecordDescription& description = catalogue_.record(key);

    const std::uint32_t headerSize = f.size();
    if (headerSize != stored.size())
        lines.push_back(strprintf("   RECORD SIZE RECORDED (%lu) NOT FOUND (%lu)", (unsigned long)headerSize,
                                  (unsigned long)stored.size()));
    // Decoding goes on with the shorter of the two sizes.
    const ByteSpan record = stored.first(std::min<std::size_t>(headerSize, stored.size()));

    addFrameLines(f, protocol, version, offset, recordNumber, description.title, lines);

    DecodeContext ctx(catalogue_, key, lines);
    ctx.fields = fields_;
    const std::int64_t pos = walkRecord(ctx, f, stored, record, std::int64_t{offset} + 4);
    rep.consumed = pos;

    addChecksumVerdict(stored, pos, f.hasChecksum(), lines);
    for (auto& m : ctx.recordMessages) rep.messages.push_back(std::move(m));
    for (auto& m : ctx.messages) rep.messages.push_back(std::move(m));
    return rep;
}

const std::vector<ReportHistory::Line>& ReportHistory::add(std::vector<std::string> lines, std::uint32_t recordType,
                                                           bool comparable) {
    previous_ = std::move(current_);
    current_.clear();
    current_.reserve(lines.size());
    const bool sameType = comparable && type_ && *type_ == recordType;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Line line{std::move(lines[i]), std::nullopt, false};
        if (sameType && i < previous_.size()) {
            line.previous = i;
            line.changed = line.text != previous_[i].text;
        }
        current_.push_back(std::move(line));
    }
    type_ = comparable ? std::optional<std::uint32_t>(recordType) : std::nullopt;
    return current_;
}

} // namespace tarvik
