#include "net/sonar_devices.h"

#include <cstdlib>
#include <cstring>

namespace tarvik::net {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Where the start tag of `element` begins its attributes ("<Name " found), or npos.
std::size_t findElement(std::string_view text, std::string_view element) {
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        const std::string_view rest = text.substr(at + 1);
        if (rest.size() > element.size() && rest.substr(0, element.size()) == element && rest[element.size()] == ' ')
            return at + 1 + element.size() + 1;
    }
    return std::string_view::npos;
}

// Walks the attributes of a start tag from `from` to its closing '>' (quoted
// text does not close it). Calls `take(name, value)` for each attribute
// written name="value"; returns the position of the '>' or npos.
template <typename Take> std::size_t walkAttributes(std::string_view text, std::size_t from, Take take) {
    std::size_t p = from;
    while (p < text.size()) {
        if (text[p] == '>') return p;
        if (text[p] == '"') {  // stray quoted text: skipped whole
            const std::size_t close = text.find('"', p + 1);
            if (close == std::string_view::npos) return std::string_view::npos;
            p = close + 1;
            continue;
        }
        if (isBlank(text[p])) {
            ++p;
            continue;
        }
        const std::size_t nameStart = p;
        while (p < text.size() && !isBlank(text[p]) && text[p] != '=' && text[p] != '>' && text[p] != '"') ++p;
        const std::string_view name = text.substr(nameStart, p - nameStart);
        if (p + 1 < text.size() && text[p] == '=' && text[p + 1] == '"') {
            const std::size_t close = text.find('"', p + 2);
            if (close == std::string_view::npos) return std::string_view::npos;
            take(name, text.substr(p + 2, close - (p + 2)));
            p = close + 1;
        } else if (p == nameStart) {
            ++p;  // a stray '=': not an attribute
        }
    }
    return std::string_view::npos;
}

// The value of an attribute of an element, when it is there and shorter than 64 characters.
std::optional<std::string_view> attribute(std::string_view text, std::string_view element, std::string_view name) {
    const std::size_t from = findElement(text, element);
    if (from == std::string_view::npos) return std::nullopt;
    std::optional<std::string_view> found;
    walkAttributes(text, from, [&](std::string_view n, std::string_view v) {
        if (!found && equalNoCase(n, name)) found = v;
    });
    if (found && found->size() >= kMaxDeviceField) return std::nullopt;
    return found;
}

// A decimal value (leading digits, as the C library reads it); 0 when there is none.
std::uint64_t decimal(std::optional<std::string_view> value) {
    if (!value) return 0;
    char buffer[kMaxDeviceField + 1] = {};
    std::memcpy(buffer, value->data(), value->size());
    return std::strtoull(buffer, nullptr, 10);
}

} // namespace

std::optional<CSonarDevices> parseDeviceInformation(std::string_view text) {
    CSonarDevices device;
    if (text.size() > kMaxDeviceInfoText) return device;

    device.deviceId = static_cast<std::uint32_t>(decimal(attribute(text, "Name", "deviceid")));
    device.enumerator = static_cast<std::uint16_t>(decimal(attribute(text, "Name", "enumerator")));
    device.sonarType = static_cast<std::uint32_t>(decimal(attribute(text, "SonarType", "type")));
    if (auto idh = attribute(text, "SystemInfo", "IDH"); idh && !idh->empty() && idh->size() <= 3)
        device.idh = equalNoCase(*idh, std::string_view("yes").substr(0, idh->size())) ? 1 : 0;

    if (const std::size_t from = findElement(text, "Name"); from != std::string_view::npos) {
        const std::size_t close = walkAttributes(text, from, [](std::string_view, std::string_view) {});
        if (close != std::string_view::npos) {
            const std::size_t end = text.find('<', close + 1);
            if (end != std::string_view::npos) {
                const std::string_view name = text.substr(close + 1, end - close - 1);
                if (name.size() >= kMaxDeviceField) return std::nullopt;
                device.name = std::string(name);
            }
        }
    }
    return device;
}

std::vector<CSonarDevices> parseDeviceList(ByteSpan record) {
    std::vector<CSonarDevices> devices;
    const auto count = readLE<std::uint32_t>(record, 72);
    if (!count || *count == 0 || *count > kMaxDevicesInList) return devices;
    std::uint64_t entry = 76;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto length = readLE<std::uint32_t>(record, entry + 76);
        if (!length) break;
        const std::uint64_t textStart = entry + 80;
        const std::uint64_t textEnd = textStart + *length;
        if (textEnd > record.size()) break;  // the entry claims more bytes than the record holds
        const auto* begin = reinterpret_cast<const char*>(record.data() + textStart);
        const std::string_view held(begin, *length);
        const std::size_t zero = held.find('\0');
        if (zero == std::string_view::npos) break;  // a text must end inside its entry
        if (auto device = parseDeviceInformation(held.substr(0, zero))) devices.push_back(std::move(*device));
        entry = textEnd;
    }
    return devices;
}

CSonarDevices generalDevice() { return {7000, 0, "General device", 0}; }
CSonarDevices dummyDevice() { return {0, 0, "Dummy device", 0}; }

} // namespace tarvik::net
