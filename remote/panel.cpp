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

void CRemoteControlPanel::refreshCommandLines() {
    const std::string identifier = selectedIdentifier();
    lines_ = catalogue_.commandLines();
    std::stable_sort(lines_.begin(), lines_.end(), lessNoCase);
    selection.reset();
    if (identifier.empty()) return;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (identifierOf(lines_[i]) == identifier) selection = i;
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

namespace {

// A typed value cut for a message: long texts keep their start and say how long they are.
std::string quoted(std::string_view value) {
    constexpr std::size_t kShown = 40;
    std::string text = "\"";
    for (char c : value.substr(0, kShown)) text += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    text += "\"";
    if (value.size() > kShown) text += format(" (%zu characters)", value.size());
    return text;
}

std::string refusal(std::string_view name, std::string_view fmt, std::int32_t width, std::string_view value) {
    return "Value " + quoted(value) + " refused for \"" + std::string(name) + "\", format " +
           describeFormat(fmt, width) + "; nothing was sent";
}

// The bracketed groups of a repeat value, each holding exactly `items` values:
// "[10, 1500], [20, 1499]". The pieces come without their brackets; nullopt
// when a bracket is left open, closes without an opening one, nests, or a
// group holds another number of values, or a value stands outside a group.
std::optional<std::vector<std::string>> bracketGroups(std::string_view value, std::size_t items) {
    std::vector<std::string> pieces = splitList(value);
    bool open = false;
    std::size_t inGroup = 0;
    for (std::string& piece : pieces) {
        std::size_t first = piece.find_first_not_of(' ');
        if (first != std::string::npos && piece[first] == '[') {
            if (open) return std::nullopt;
            open = true;
            inGroup = 0;
            piece[first] = ' ';
        }
        if (!open) return std::nullopt;
        ++inGroup;
        const std::size_t last = piece.find_last_not_of(' ');
        if (last != std::string::npos && piece[last] == ']') {
            piece[last] = ' ';
            if (inGroup != items) return std::nullopt;
            open = false;
        }
        if (piece.find_first_of("[]") != std::string::npos) return std::nullopt;
        const std::size_t from = piece.find_first_not_of(' ');
        piece = from == std::string::npos ? std::string() : piece.substr(from, piece.find_last_not_of(' ') - from + 1);
    }
    if (open) return std::nullopt;
    return pieces;
}

} // namespace

std::size_t CRemoteControlPanel::targetCount() const {
    const bool anyTarget = anyChecked();
    std::size_t n = 0;
    for (std::size_t d = 0; d < devices.size(); ++d)
        if (!anyTarget || (d < checked.size() && checked[d])) ++n;
    return n;
}

bool CRemoteControlPanel::checkValues() {
    if (!selection || *selection >= lines_.size()) return false;
    const CRemoteControlDefinition def = catalogue_.lookup(selectedIdentifier());
    if (!def.parametersKnown) return false;
    // Conversion messages that do not stop a send are left to the send itself.
    return parameterBytes(def, false).has_value() && headerNumbers().has_value();
}

std::optional<std::pair<std::uint32_t, std::optional<std::uint32_t>>> CRemoteControlPanel::headerNumbers() const {
    const ConvertContext quiet;
    bool refused = false;
    const Bytes t = convertValue("u", 4, ticket, quiet, &refused);
    if (refused) {
        message(refusal("Ticket", "u", 4, ticket));
        return std::nullopt;
    }
    std::optional<std::uint32_t> tracking;
    if (!trackingNumber.empty()) {
        const Bytes n = convertValue("u", 4, trackingNumber, quiet, &refused);
        if (refused) {
            message(refusal("Tracking Number", "u", 4, trackingNumber));
            return std::nullopt;
        }
        tracking = readLEOr0<std::uint32_t>(n, 0);
    }
    return std::make_pair(readLEOr0<std::uint32_t>(t, 0), tracking);
}

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

    // Every value is checked and converted before anything goes out: a refused
    // value stops the command for every sonar, not after the first.
    const auto numbers = headerNumbers();
    if (!numbers) return false;
    const auto parameters = parameterBytes(def, true);
    if (!parameters) return false;

    // Each sonar once, at its own address (device and system enumerator); a
    // head choice that would make two sonars one address is refused.
    const bool anyTarget = anyChecked();
    std::vector<Bytes> records;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> addresses;
    for (std::size_t d = 0; d < devices.size(); ++d) {
        if (anyTarget && !(d < checked.size() && checked[d])) continue;
        const CommandTarget& target = devices[d];
        const std::pair<std::uint32_t, std::uint16_t> address{target.deviceId, systemEnumerator(target)};
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end()) {
            message("Device " + std::to_string(address.first) + ", Enum " + std::to_string(address.second) +
                    " would receive the command twice: choose the sonars or the head; nothing was sent");
            return false;
        }
        addresses.push_back(address);
        records.push_back(buildRecord(static_cast<std::uint32_t>(n), remoteCommand, target, numbers->first,
                                      numbers->second, *parameters));
    }
    for (const Bytes& record : records) {
        ++sentRecords;
        if (sender) sender->sendRecord(record);
        if (copyToOutputFile) copyToOutputFile(record);
    }
    ticket.clear();
    trackingNumber.clear();
    return true;
}

std::uint16_t CRemoteControlPanel::systemEnumerator(const CommandTarget& target) const {
    // A two-headed sonar takes the head in its enumerator: 1 port, 2 starboard;
    // both heads are the sonar itself, at its own enumerator.
    if (target.idh && head == HeadSelect::Port) return 1;
    if (target.idh && head == HeadSelect::Starboard) return 2;
    return target.enumerator;
}

Bytes CRemoteControlPanel::buildRecord(std::uint32_t number, bool remoteCommand, const CommandTarget& target,
                                       std::uint32_t ticketNumber, std::optional<std::uint32_t> tracking,
                                       const Bytes& parameters) const {
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
    out.patch<std::uint16_t>(o::systemEnumerator, systemEnumerator(target));
    out.patch<std::uint32_t>(o::recordCounter, 0);
    out.patch<std::uint16_t>(o::flags, 1);
    out.patch<std::uint16_t>(o::reserved2, 0);
    out.patch<std::uint32_t>(o::totalFragments, 0);
    out.patch<std::uint32_t>(o::fragmentNumber, 0);

    if (remoteCommand) {
        out.u32(number);
        out.u32(ticketNumber);
        if (!tracking) out.u32(number).u32(7500).u32(target.enumerator).u32(target.deviceId);
        else out.u32(*tracking).u32(*tracking).u32(*tracking).u32(*tracking);
    }
    out.bytes(parameters);
    out.u32(0);
    Bytes record = out.take();
    finishFrame(record);
    return record;
}

std::optional<Bytes> CRemoteControlPanel::parameterBytes(const CRemoteControlDefinition& def, bool showMessages) {
    ConvertContext context{showMessages && message_ ? MessageFn([this](std::string_view text) { show(text); })
                                                    : MessageFn{},
                           random, localTime};
    ByteWriter out;
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
        return std::nullopt;
    }

    bool brackets = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (def[i].countFieldName.empty()) continue;
        const std::string& value = rows[i].value;
        const std::size_t pieces = countListPieces(value);
        if (pieces > kMaxListPieces) {
            message(format("List of %zu values for \"", pieces) + def[i].name + format("\" is longer than the %zu this tool sends", kMaxListPieces));
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
                return std::nullopt;
            }
            rows[j].value = std::to_string(n);
            break;
        }
    }

    for (std::size_t i = 0; i < count; ++i) {
        const auto& p = def[i];
        if (p.format == "repeat") {
            const RemoteRepeatDescription* block = catalogue_.repeat(def.identifier);
            if (brackets && (!block || block->items.empty())) {
                message("Did Not Find RemoteRepeatMapping Target, itMap");
                return std::nullopt;
            }
            if (rows[i].value.empty()) continue;
            // Each repetition in its own brackets, complete: anything else
            // would send a count that does not match the values.
            const auto pieces = block && !block->items.empty() ? bracketGroups(rows[i].value, block->items.size())
                                                               : std::nullopt;
            if (!pieces) {
                std::string shape;
                if (block)
                    for (std::size_t b = 0; b < block->items.size(); ++b)
                        shape += (b ? ", " : "[") + block->items[b].name;
                message("Value " + quoted(rows[i].value) + " refused for \"" + p.name +
                        "\": each repetition goes in brackets, " + (shape.empty() ? "[...]" : shape + "]") +
                        ", every bracket closed; nothing was sent");
                return std::nullopt;
            }
            for (std::size_t k = 0; k < pieces->size(); ++k) {
                const auto& item = block->items[k % block->items.size()];
                if (!appendValue(out, item.format, item.number, (*pieces)[k], context)) {
                    message(refusal(p.name + ": " + item.name, item.format, item.number, (*pieces)[k]));
                    return std::nullopt;
                }
            }
        } else if (p.countFieldName.empty()) {
            if (!appendValue(out, p.format, p.number, rows[i].value, context)) {
                message(refusal(p.name, p.format, p.number, rows[i].value));
                return std::nullopt;
            }
        } else {
            // One message per distinct failure of a list, not one per element.
            std::string last;
            ConvertContext listContext = context;
            listContext.message = [&](std::string_view text) {
                if (text == last || !context.message) return;
                last = text;
                context.message(text);
            };
            for (const auto& piece : splitList(rows[i].value)) {
                if (!appendValue(out, p.format, p.number, piece, listContext)) {
                    message(refusal(p.name, p.format, p.number, piece));
                    return std::nullopt;
                }
            }
        }
    }
    return out.take();
}

} // namespace tarvik::remote
