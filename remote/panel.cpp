#include "remote/panel.h"

#include "core/frame.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tarvik::remote {

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool lessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(upper(x)) < static_cast<unsigned char>(upper(y));
    });
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (upper(text[i]) != upper(prefix[i])) return false;
    return true;
}

std::string identifierOf(const std::string& line) { return line.substr(0, line.find(' ')); }

template <typename... A>
std::string format(const char* fmt, A... args) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    return buffer;
}

} // namespace

CRemoteControlPanel::CRemoteControlPanel(const RemoteCommandCatalogue& catalogue, MessageFn message)
    : catalogue_(catalogue), message_(std::move(message)), lines_(catalogue.commandLines()) {
    std::stable_sort(lines_.begin(), lines_.end(), lessNoCase);
}

std::optional<std::size_t> CRemoteControlPanel::findLine(std::string_view prefix) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (startsWithNoCase(lines_[i], prefix)) return i;
    return std::nullopt;
}

std::string CRemoteControlPanel::selectedIdentifier() const {
    if (!selection || *selection >= lines_.size()) return {};
    return identifierOf(lines_[*selection]);
}

void CRemoteControlPanel::loadCommandRows() {
    if (!selection || *selection >= lines_.size()) return;
    const CRemoteControlDefinition& def = catalogue_.lookup(selectedIdentifier());
    if (ticket.empty()) ticket = std::to_string(random ? random() % 32768u : 0u);
    trackingNumber.clear();
    if (!scriptActive && def.parameterCount() >= 7) {
        message("Large record size works only for scripts");
        return;
    }
    if (!def.parametersKnown) {
        for (auto& r : rows) r = {};
        visibleRows = {};
        rows[0].description = kParametersUnknown;
        return;
    }
    const std::size_t n = std::min(def.size(), kParameterRows);
    for (std::size_t i = 0; i < n; ++i) {
        rows[i].value.clear();
        rows[i].description = def[i].name;
        rows[i].type = def[i].format + std::to_string(def[i].number);
        if (i < kVisibleRows) visibleRows[i].valueShown = true;
    }
    for (std::size_t i = n; i < kVisibleRows; ++i) {
        rows[i] = {};
        visibleRows[i] = {};
    }
    for (std::size_t i = 0; i < std::min(n, kVisibleRows); ++i)
        visibleRows[i].showValuesButton = !def[i].bitFields.empty() || !def[i].enumeration.empty();
    for (std::size_t i = 0; i + 1 < n; ++i)
        if (def[i + 1].format == "sd") rows[i].value = "auto";
    for (std::size_t i = 0; i < n; ++i) {
        const auto& p = def[i];
        if (i < kVisibleRows) visibleRows[i].valueReadOnly = false;
        if (!p.preset && !p.countFieldName.empty()) {
            std::size_t j = 0;
            while (j < i && def[j].name != p.countFieldName) ++j;
            if (j == i) {
                message("Severe error in OnSelchangeRemoteCommand, count variable not found");
                continue;
            }
            rows[j].value = "auto";
            if (j < kVisibleRows) visibleRows[j].valueReadOnly = true;
        } else if (p.preset && p.format == "u") {
            const double v = p.presetValue;
            if (p.number == 8) rows[i].value = format("   %llu", static_cast<unsigned long long>(v));
            else if (p.number == 4) rows[i].value = format("   %u", static_cast<unsigned>(v));
            else if (p.number == 2) rows[i].value = format("   %hu", static_cast<unsigned short>(v));
            if (i < kVisibleRows) visibleRows[i].valueReadOnly = true;
        } else if (p.preset && !p.format.empty() && p.format.front() == 's') {
            rows[i].value = format("   %hu", static_cast<unsigned short>(p.presetValue));
            if (i < kVisibleRows) visibleRows[i].valueReadOnly = true;
        }
    }
}

std::string CRemoteControlPanel::showValuesCaption() const { return catalogue_.lookup(selectedIdentifier()).title; }

std::vector<std::string> CRemoteControlPanel::showValues(std::size_t row) const {
    std::vector<std::string> lines;
    const CRemoteControlDefinition& def = catalogue_.lookup(selectedIdentifier());
    if (def.title.empty() || row >= def.size()) return lines;
    const auto& p = def[row];
    if (p.bitFields.empty() && p.enumeration.empty()) return lines;
    lines.push_back(p.name);
    lines.emplace_back();
    if (!p.bitFields.empty()) {
        lines.emplace_back("BITFIELD");
        for (const auto& b : p.bitFields)
            lines.push_back(format("%d - %d  ", b.firstBit, b.lastBit) + b.description);
    }
    for (const auto& e : p.enumeration) lines.push_back(format("%u  ", static_cast<unsigned>(e.value)) + e.text);
    return lines;
}

bool CRemoteControlPanel::anyChecked() const { return std::find(checked.begin(), checked.end(), true) != checked.end(); }

bool CRemoteControlPanel::buildAndSendCommand() {
    if (devices.empty()) {
        ticket.clear();
        trackingNumber.clear();
        return false;
    }
    if (!selection || *selection >= lines_.size()) return false;
    const std::string& line = lines_[*selection];
    const std::string id = identifierOf(line);
    const CRemoteControlDefinition def = catalogue_.lookup(id);
    if (!def.parametersKnown) {
        message("Command " + id + " not sent: its parameters are not known to this catalogue");
        return false;
    }
    std::int32_t n = parseDecimal32(line);
    const bool remoteCommand = n != 0;
    if (!remoteCommand) n = parseDecimal32(std::string_view(line).substr(1));
    const bool anyTarget = anyChecked();
    for (std::size_t d = 0; d < devices.size(); ++d) {
        if (anyTarget && !(d < checked.size() && checked[d])) continue;
        bool stopAll = false;
        auto record = buildRecord(def, static_cast<std::uint32_t>(n), remoteCommand, devices[d], stopAll);
        if (stopAll || !record) return false;
        if (sender) sender->sendRecord(*record);
        if (copyToOutputFile) copyToOutputFile(*record);
    }
    ticket.clear();
    trackingNumber.clear();
    return true;
}

std::optional<Bytes> CRemoteControlPanel::buildRecord(const CRemoteControlDefinition& def, std::uint32_t number,
                                                      bool remoteCommand, const CommandTarget& target, bool& stopAll) {
    ConvertContext context{message_, random, localTime};
    // Header: every byte 0xEF first; the reserved word at 52 keeps the fill.
    ByteWriter out(Bytes(kFrameHeaderSize, 0xEF));
    namespace o = frame_offsets;
    out.patch<std::uint16_t>(o::protocolVersion, kBuiltProtocolVersion);
    out.patch<std::uint16_t>(o::offset, kBuiltOffset);
    out.patch<std::uint32_t>(o::syncPattern, kSyncPattern);
    out.patch<std::uint32_t>(o::size, 0);
    out.patch<std::uint32_t>(o::optionalDataOffset, 0);
    out.patch<std::uint32_t>(o::optionalDataId, 0);
    {
        ByteWriter t;
        (localTime ? localTime() : VxTIME{}).write(t);
        for (std::size_t i = 0; i < VxTIME::kSize; ++i) out.patch<std::uint8_t>(o::time + i, t.data()[i]);
    }
    out.patch<std::uint16_t>(o::recordVersion, 1);
    out.patch<std::uint32_t>(o::recordType, remoteCommand ? 7500u : number);
    out.patch<std::uint32_t>(o::deviceId, target.deviceId);
    out.patch<std::uint16_t>(o::reserved1, 0);
    std::uint16_t enumerator = target.enumerator;
    if (target.idh) enumerator = head == HeadSelect::Port ? 1 : head == HeadSelect::Starboard ? 2 : 0;
    out.patch<std::uint16_t>(o::systemEnumerator, enumerator);
    out.patch<std::uint32_t>(o::recordCounter, 0);
    out.patch<std::uint16_t>(o::flags, 1);
    out.patch<std::uint16_t>(o::reserved2, 0);
    out.patch<std::uint32_t>(o::totalFragments, 0);
    out.patch<std::uint32_t>(o::fragmentNumber, 0);

    if (remoteCommand) {
        out.u32(number);
        out.u32(static_cast<std::uint32_t>(parseDecimal32(ticket)));
        if (trackingNumber.empty()) {
            out.u32(number).u32(7500).u32(target.enumerator).u32(target.deviceId);
        } else {
            const auto t = static_cast<std::uint32_t>(parseDecimal32(trackingNumber));
            out.u32(t).u32(t).u32(t).u32(t);
        }
    }

    const std::size_t count = std::min(def.size(), kParameterRows);
    for (std::size_t i = count; i-- > 1;)
        if (def[i].format.find("sd") != std::string::npos) rows[i - 1].value = std::to_string(rows[i].value.size());

    bool missing = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!rows[i].value.empty()) continue;
        if (i + 1 < count) missing = missing || def[i + 1].format != "sd";
        else missing = missing || (def[i].format != "s" && def[i].countFieldName.empty());
    }
    if (missing) {
        message("Empty data item that is required");
        stopAll = true;
        return std::nullopt;
    }

    bool brackets = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (def[i].countFieldName.empty()) continue;
        const std::string& value = rows[i].value;
        const std::size_t pieces = countListPieces(value);
        if (pieces > kMaxListPieces) {
            message(format("List of %zu values for \"", pieces) + def[i].name + format("\" is longer than the %zu this tool sends", kMaxListPieces));
            stopAll = true;
            return std::nullopt;
        }
        std::size_t n = pieces;
        const auto opens = static_cast<std::size_t>(std::count(value.begin(), value.end(), '['));
        if (opens > 0) {
            n = opens;
            brackets = true;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (def[j].name != def[i].countFieldName) continue;
            // A count its field cannot hold would describe a list other than the one sent.
            const bool fits = def[j].number >= 4 || n < (std::size_t{1} << (8 * std::max(def[j].number, 1)));
            if (!fits) {
                message(format("%zu values do not fit the count \"", n) + def[j].name + "\"");
                stopAll = true;
                return std::nullopt;
            }
            rows[j].value = std::to_string(n);
            break;
        }
    }

    for (std::size_t i = 0; i < count; ++i) {
        const auto& p = def[i];
        if (p.format == "repeat" && brackets) {
            const RemoteRepeatDescription* block = catalogue_.repeat(def.identifier);
            if (!block || block->items.empty()) {
                message("Did Not Find RemoteRepeatMapping Target, itMap");
                stopAll = true;
                return std::nullopt;
            }
            const auto pieces = splitList(rows[i].value);
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                std::string piece = pieces[k];
                std::replace(piece.begin(), piece.end(), '[', ' ');
                std::replace(piece.begin(), piece.end(), ']', ' ');
                const auto& item = block->items[k % block->items.size()];
                appendValue(out, item.format, item.number, piece, context);
            }
        } else if (p.countFieldName.empty()) {
            appendValue(out, p.format, p.number, rows[i].value, context);
        } else {
            // One message per distinct failure of a list, not one per element.
            std::string last;
            ConvertContext listContext = context;
            listContext.message = [&](std::string_view text) {
                if (text == last) return;
                last = text;
                message(text);
            };
            for (const auto& piece : splitList(rows[i].value)) appendValue(out, p.format, p.number, piece, listContext);
        }
    }
    out.u32(0);
    Bytes record = out.take();
    finishFrame(record);
    return record;
}

} // namespace tarvik::remote
