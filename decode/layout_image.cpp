#include "decode/layout_image.h"

#include "core/bytes.h"

#include <bit>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tarvik {

namespace {

// Bumped whenever what the image holds changes; an image of another kind is refused.
constexpr std::uint32_t kMagic = 0x494C5654;  // "TVLI"
constexpr std::uint32_t kVersion = 2;

// Lists longer than this are not in any image this program writes.
constexpr std::uint32_t kMaxCount = 1u << 24;

class Writer {
public:
    std::string bytes;

    template <typename T>
        requires std::is_integral_v<T> || std::is_enum_v<T>
    void value(const T& v) {
        auto u = static_cast<std::uint64_t>(v);
        for (std::size_t i = 0; i < sizeof(T); ++i) bytes.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    }
    void count(std::size_t n) { value(static_cast<std::uint32_t>(n)); }
    void text(const std::string& s) {
        count(s.size());
        bytes += s;
    }
};

class Reader {
public:
    explicit Reader(std::string_view image) : bytes_(asBytes(image)) {}
    bool ok = true;
    bool atEnd() const { return at_ == bytes_.size(); }
    std::size_t offset() const { return at_; }

    template <typename T>
        requires std::is_integral_v<T> || std::is_enum_v<T>
    void value(T& v) {
        using U = typename std::conditional_t<std::is_same_v<T, bool>, std::type_identity<std::uint8_t>,
                  std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::type_identity<T>>>::type;
        const std::optional<U> got = readLE<U>(bytes_, at_);
        if (!got) return broken();
        if constexpr (std::is_same_v<T, bool>) v = *got != 0;
        else v = static_cast<T>(*got);
        at_ += sizeof(U);
    }
    bool count(std::size_t& n) {
        std::uint32_t c = 0;
        value(c);
        if (!ok || c > kMaxCount) {
            broken();
            return false;
        }
        n = c;
        return true;
    }
    void text(std::string& s) {
        std::size_t n = 0;
        if (!count(n)) return;
        if (!fits(bytes_.size(), at_, n)) return broken();
        s.assign(reinterpret_cast<const char*>(bytes_.data()) + at_, n);
        at_ += n;
    }

private:
    void broken() {
        ok = false;
        at_ = bytes_.size();
    }
    ByteSpan bytes_;
    std::size_t at_ = 0;
};

// One function per type says which fields go into the image, for the writer
// and the reader alike, so the two cannot disagree on the order.
template <typename Io> void io(Io& s, std::string& v) { s.text(v); }
template <typename Io, typename T>
    requires std::is_integral_v<T> || std::is_enum_v<T>
void io(Io& s, T& v) { s.value(v); }

template <typename Io, typename A, typename B> void io(Io& s, std::pair<A, B>& v) {
    io(s, v.first);
    io(s, v.second);
}
template <typename Io, typename... T> void io(Io& s, std::tuple<T...>& v) {
    std::apply([&s](auto&... part) { (io(s, part), ...); }, v);
}
template <typename T> void io(Writer& s, std::vector<T>& v) {
    s.count(v.size());
    for (T& e : v) io(s, e);
}
template <typename T> void io(Reader& s, std::vector<T>& v) {
    std::size_t n = 0;
    if (!s.count(n)) return;
    v.clear();
    v.reserve(n);
    for (std::size_t i = 0; i < n && s.ok; ++i) io(s, v.emplace_back());
}
template <typename K, typename V> void io(Writer& s, std::map<K, V>& m) {
    s.count(m.size());
    for (auto& [key, value] : m) {
        K k = key;
        io(s, k);
        io(s, value);
    }
}
template <typename K, typename V> void io(Reader& s, std::map<K, V>& m) {
    std::size_t n = 0;
    if (!s.count(n)) return;
    m.clear();
    for (std::size_t i = 0; i < n && s.ok; ++i) {
        K key{};
        io(s, key);
        // Keys were written in order: each goes in at the end.
        io(s, m.emplace_hint(m.end(), std::move(key), V{})->second);
    }
}

// A resolved format pointer is kept as whether it was resolved; the reader
// resolves it again from the text.
template <typename Io> void resolved(Io& s, const FormatInfo*& entry, const std::string& format) {
    if constexpr (std::is_same_v<Io, Writer>) {
        s.value(static_cast<std::uint8_t>(entry != nullptr));
    } else {
        std::uint8_t was = 0;
        s.value(was);
        entry = was ? formatInfo(format) : nullptr;
        if (was && !entry) s.ok = false;  // a format this program does not know
    }
}

template <typename Io> void io(Io& s, EnumEntry& v) {
    io(s, v.value);
    io(s, v.text);
}
template <typename Io> void io(Io& s, SizeRule& v) {
    io(s, v.sourceField);
    io(s, v.mask);
    io(s, v.multiplierField);
    io(s, v.highBit);
    io(s, v.lowBit);
    io(s, v.sizeTable);
}
template <typename Io> void io(Io& s, CountRule& v) {
    io(s, v.present);
    io(s, v.fixed);
    io(s, v.fixedCount);
    io(s, v.masked);
    io(s, v.maskSecond);
    io(s, v.mask);
    io(s, v.scaleByCount);
    io(s, v.shift);
    io(s, v.times);
    io(s, v.plus);
}
template <typename Io> void io(Io& s, CRecordDataLayout& v) {
    io(s, v.sizeRule);
    io(s, v.enumeration);
    io(s, v.format);
    io(s, v.number);
    io(s, v.name);
    io(s, v.countFieldName);
    resolved(s, v.formatEntry, v.format);
}
template <typename Io> void io(Io& s, RecordDescription& v) {
    io(s, v.items);
    io(s, v.recordType);
    io(s, v.title);
}
template <typename Io> void io(Io& s, RepeatDescription& v) {
    io(s, v.items);
    io(s, v.recordType);
    io(s, v.title);
    io(s, v.countField);
    io(s, v.flagsField);
    io(s, v.blockSizeField);
}
template <typename Io> void io(Io& s, VectorDescription& v) {
    io(s, v.sizeRule);
    io(s, v.recordType);
    io(s, v.title);
    io(s, v.width);
    io(s, v.elementName);
    io(s, v.format);
    resolved(s, v.formatEntry, v.format);
    io(s, v.countField);
    io(s, v.secondField);
    io(s, v.countRule);
    io(s, v.blockCountRule);
}
template <typename Io> void io(Io& s, VarStringDescription& v) {
    io(s, v.recordType);
    io(s, v.lengthField);
    io(s, v.name);
}
template <typename Io> void io(Io& s, RecordKey& v) {
    io(s, v.protocolVersion);
    io(s, v.recordVersion);
    io(s, v.recordType);
}
template <typename Io> void io(Io& s, BlockKey& v) {
    io(s, v.protocolVersion);
    io(s, v.recordVersion);
    io(s, v.recordType);
    io(s, v.blockIndex);
}
template <typename Io> void io(Io& s, LayoutCatalogue& v) {
    io(s, v.beamSampleLayout);
    io(s, v.vectors);
    io(s, v.repeats);
    io(s, v.records);
    io(s, v.varStrings);
    io(s, v.optionalData);
}
template <typename Io> void io(Io& s, BitFieldDefinition& v) {
    io(s, v.firstBit);
    io(s, v.lastBit);
    io(s, v.description);
    io(s, v.values);
}
template <typename Io> void io(Io& s, CommandParameterDefinition& v) {
    io(s, v.item);
    // The preset goes as its bits: an image holds exactly the value loaded.
    if constexpr (std::is_same_v<Io, Writer>) {
        s.value(std::bit_cast<std::uint64_t>(v.preset));
    } else {
        std::uint64_t bits = 0;
        s.value(bits);
        v.preset = std::bit_cast<double>(bits);
    }
    io(s, v.hasPreset);
    io(s, v.bitFields);
}
template <typename Io> void io(Io& s, CommandDefinition& v) {
    io(s, v.identifier);
    io(s, v.title);
    io(s, v.recordVersion);
    io(s, v.protocolVersion);
    io(s, v.parameters);
    io(s, v.parametersKnown);
    io(s, v.parameterCount);
}
template <typename Io> void io(Io& s, CommandRepeatDefinition& v) {
    io(s, v.identifier);
    io(s, v.blockIndex);
    io(s, v.protocolVersion);
    io(s, v.recordVersion);
    io(s, v.title);
    io(s, v.countField);
    io(s, v.items);
}
template <typename Io> void io(Io& s, LayoutProblem& v) {
    io(s, v.file);
    io(s, v.line);
    io(s, v.text);
}
template <typename Io> void io(Io& s, LayoutSource& v) {
    io(s, v.file);
    io(s, v.added);
    io(s, v.replaced);
    io(s, v.problems);
}
template <typename Io> void io(Io& s, LoadedDefinitions& v) {
    io(s, v.catalogue);
    io(s, v.commands);
    io(s, v.commandRepeats);
    io(s, v.sources);
    io(s, v.problems);
}
template <typename Io> void io(Io& s, LayoutWhere& v) {
    io(s, v.file);
    io(s, v.line);
    io(s, v.itemLines);
}
// The front of an image: what a loader that reads no further text hands over.
template <typename Io> void front(Io& s, LoaderDefinitions& v) {
    io(s, v.out);
    io(s, v.commands);
    io(s, v.commandRepeats);
    io(s, v.expandedBytesLeftInAll);
    io(s, v.enumerationBytesLeftInAll);
}
// The rest: what only the loading of further texts looks at.
template <typename Io> void rest(Io& s, LoaderDefinitions& v) {
    io(s, v.enumerations);
    io(s, v.recordWhere);
    io(s, v.optionalWhere);
    io(s, v.repeatWhere);
    io(s, v.vectorWhere);
    io(s, v.varStringWhere);
    io(s, v.beamSampleWhere);
    io(s, v.commandWhere);
    io(s, v.commandRepeatWhere);
}

} // namespace

std::string writeLayoutImage(const LoaderDefinitions& definitions) {
    Writer w;
    w.value(kMagic);
    w.value(kVersion);
    // The writer only reads the definitions; the shared io() takes them as the reader does.
    front(w, const_cast<LoaderDefinitions&>(definitions));
    rest(w, const_cast<LoaderDefinitions&>(definitions));
    return std::move(w.bytes);
}

bool readBeamSampleLayout(std::string_view image, BeamSampleLayout& into) {
    Reader r(image);
    std::uint32_t magic = 0, version = 0;
    r.value(magic);
    r.value(version);
    if (!r.ok || magic != kMagic || version != kVersion) return false;
    // The catalogue comes first in the image, and its beam-sample layout first in it.
    io(r, into);
    return r.ok;
}

bool readLayoutImage(std::string_view image, LoaderDefinitions& into) {
    std::string_view after;
    return readLayoutImageFront(image, into, after) && readLayoutImageRest(after, into);
}

bool readLayoutImageFront(std::string_view image, LoaderDefinitions& into, std::string_view& after) {
    Reader r(image);
    std::uint32_t magic = 0, version = 0;
    r.value(magic);
    r.value(version);
    if (!r.ok || magic != kMagic || version != kVersion) return false;
    front(r, into);
    if (!r.ok) return false;
    after = image.substr(r.offset());
    return true;
}

bool readLayoutImageRest(std::string_view after, LoaderDefinitions& into) {
    Reader r(after);
    rest(r, into);
    return r.ok && r.atEnd();
}

} // namespace tarvik
