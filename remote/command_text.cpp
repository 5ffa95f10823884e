#include "remote/command_text.h"

#include "core/frame.h"

#include <cstdio>

namespace tarvik::remote {

namespace {

inline constexpr std::size_t kMaxListed = 64;  // list elements written out; the rest are counted

struct Reader {
    ByteReader in;
    bool shortRecord = false;
};

template <typename... A>
std::string format(const char* fmt, A... args) {
    char b[96];
    std::snprintf(b, sizeof b, fmt, args...);
    return b;
}

// One value; false when the record ends before it.
bool value(Reader& r, const CRemoteControlDataLayout& p, std::string& out, std::int64_t& number) {
    const auto w = static_cast<std::size_t>(std::max(p.number, 0));
    number = -1;
    if (p.format == "u" || p.format == "i") {
        auto bytes = r.in.take(w);
        if (!bytes) return false;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < w && i < 8; ++i) v |= std::uint64_t{(*bytes)[i]} << (8 * i);
        if (p.format == "i" && w > 0 && w < 8 && (v >> (8 * w - 1)) & 1u) v |= ~std::uint64_t{0} << (8 * w);
        out = p.format == "i" ? std::to_string(static_cast<std::int64_t>(v)) : std::to_string(v);
        number = static_cast<std::int64_t>(std::min<std::uint64_t>(v, INT32_MAX));
        return true;
    }
    if ((p.format == "f" || p.format == "d2r") && (w == 4 || w == 8)) {
        double v = 0;
        if (w == 4) {
            auto f = r.in.read<float>();
            if (!f) return false;
            v = *f;
        } else {
            auto d = r.in.read<double>();
            if (!d) return false;
            v = *d;
        }
        out = format("%g", v);
        return true;
    }
    if (!p.format.empty() && p.format.front() == 's') {
        auto bytes = r.in.take(w);
        if (!bytes) return false;
        std::size_t n = 0;
        while (n < bytes->size() && (*bytes)[n] != 0) ++n;
        out = "\"" + std::string(reinterpret_cast<const char*>(bytes->data()), n) + "\"";
        return true;
    }
    if (p.format == "IPAddress") {
        auto a = r.in.read<std::uint32_t>();
        if (!a) return false;
        out = format("%u.%u.%u.%u", *a >> 24, (*a >> 16) & 255u, (*a >> 8) & 255u, *a & 255u);
        return true;
    }
    if (p.format == "t10") {
        auto t = r.in.take(10);
        if (!t) return false;
        auto time = VxTIME::read(*t, 0);
        out = time ? format("%u/%u %02u:%02u:%06.3f", time->year, time->day, time->hours, time->minutes,
                            static_cast<double>(time->seconds))
                   : "";
        return true;
    }
    if (p.format == "x") {
        if (!r.in.skip(w)) return false;
        out = format("(%zu reserved bytes)", w);
        return true;
    }
    out = "?";
    return true;
}

} // namespace

std::string describeCommandRecord(const RemoteCommandCatalogue& catalogue, ByteSpan record) {
    FrameView f(record);
    if (!f.isFrame()) return "not a record";
    std::uint32_t size = std::min<std::uint64_t>(f.size(), record.size());
    if (f.hasChecksum() && size >= 4) size -= 4;
    const std::uint64_t start = f.dataStart();
    if (start > size) return "record too short";
    Reader r{ByteReader(record.first(size), static_cast<std::size_t>(start))};
    std::string id, head;
    if (f.recordType() == 7500) {
        auto number = r.in.read<std::uint32_t>();
        auto ticket = r.in.read<std::uint32_t>();
        if (!number || !ticket || !r.in.skip(16)) return "remote control record too short";
        id = std::to_string(*number);
        head = "command " + id;
    } else {
        id = "P" + std::to_string(f.recordType());
        head = "record " + std::to_string(f.recordType());
    }
    const CRemoteControlDefinition& def = catalogue.lookup(id);
    if (def.title.empty()) return head + " (not in the catalogue)";
    std::string text = head + " " + def.title + ":";
    if (!def.parametersKnown) return text + " parameters not known";
    std::vector<std::pair<std::string, std::int64_t>> seen;
    auto countOf = [&](const std::string& name) -> std::int64_t {
        for (const auto& [n, v] : seen)
            if (n == name) return std::max<std::int64_t>(v, 0);
        return 0;
    };
    const char* separator = " ";
    for (const auto& p : def) {
        text += separator;
        separator = "; ";
        text += p.name + "=";
        std::string v;
        std::int64_t number = -1;
        if (p.countFieldName.empty()) {
            if (!value(r, p, v, number)) return text + "(record ends)";
            text += v;
            seen.emplace_back(p.name, number);
            continue;
        }
        const std::int64_t count = countOf(p.countFieldName);
        const RemoteRepeatDescription* block = p.format == "repeat" ? catalogue.repeat(id) : nullptr;
        if (p.format == "repeat" && !block) return text + "(no block)";
        text += "[";
        for (std::int64_t k = 0; k < count; ++k) {
            if (k > 0) text += ", ";
            if (static_cast<std::size_t>(k) == kMaxListed) {
                // The rest is not read: a log line stays short.
                return text + format("... %lld in all]", static_cast<long long>(count));
            }
            if (block) {
                text += "(";
                for (std::size_t b = 0; b < block->items.size(); ++b) {
                    if (!value(r, block->items[b], v, number)) return text + "(record ends)";
                    text += (b ? ", " : "") + v;
                }
                text += ")";
            } else {
                if (!value(r, p, v, number)) return text + "(record ends)";
                text += v;
            }
        }
        text += "]";
    }
    if (r.in.remaining() > 0) text += format(" (+%zu bytes)", r.in.remaining());
    return text;
}

} // namespace tarvik::remote
