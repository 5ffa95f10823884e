#include "decode/layout_image.h"

#include "core/bytes.h"
#include "core/frame.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <mutex>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tarvik {

namespace {

// Bumped whenever what the image holds changes; an image of another kind is refused.
constexpr std::uint32_t kMagic = 0x494C5654;  // "TVLI"
constexpr std::uint32_t kVersion = 3;

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
    // Writes `n` at `at`, over the four bytes a placeholder count left there.
    void patch(std::size_t at, std::uint32_t n) {
        for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    }
};

class Reader {
public:
    explicit Reader(std::string_view image, std::size_t at = 0) : bytes_(asBytes(image)), at_(std::min(at, image.size())) {}
    bool ok = true;
    bool atEnd() const { return at_ == bytes_.size(); }
    std::size_t offset() const { return at_; }
    // Goes `n` bytes on without reading them; broken when fewer are left.
    void skip(std::size_t n) {
        if (!fits(bytes_.size(), at_, n)) return broken();
        at_ += n;
    }

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
// A map's values are each preceded by their length in bytes, so that an
// index of the map can step from key to key without reading the values.
template <typename K, typename V> void io(Writer& s, std::map<K, V>& m) {
    s.count(m.size());
    for (auto& [key, value] : m) {
        K k = key;
        io(s, k);
        const std::size_t at = s.bytes.size();
        s.count(0);
        io(s, value);
        s.patch(at, static_cast<std::uint32_t>(s.bytes.size() - at - 4));
    }
}
template <typename K, typename V> void io(Reader& s, std::map<K, V>& m) {
    std::size_t n = 0;
    if (!s.count(n)) return;
    m.clear();
    for (std::size_t i = 0; i < n && s.ok; ++i) {
        K key{};
        io(s, key);
        std::size_t length = 0;
        if (!s.count(length)) return;
        const std::size_t start = s.offset();
        // Keys were written in order: each goes in at the end.
        io(s, m.emplace_hint(m.end(), std::move(key), V{})->second);
        if (s.offset() - start != length) s.ok = false;
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
// What follows the catalogue in a loader's definitions.
template <typename Io> void afterCatalogue(Io& s, LoadedDefinitions& v) {
    io(s, v.commands);
    io(s, v.commandRepeats);
    io(s, v.sources);
    io(s, v.problems);
}
template <typename Io> void io(Io& s, LoadedDefinitions& v) {
    io(s, v.catalogue);
    afterCatalogue(s, v);
}
template <typename Io> void io(Io& s, LayoutWhere& v) {
    io(s, v.file);
    io(s, v.line);
    io(s, v.itemLines);
}
// The front of an image: what a loader that reads no further text hands over.
template <typename Io> void afterOut(Io& s, LoaderDefinitions& v) {
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

// The image begins with its kind, its version, and the length and byte sum
// of the catalogue that follows them. The sum lets an index that steps from
// key to key trust the descriptions it does not read until they are asked for.
constexpr std::size_t kHeaderSize = 16;

// Reads the header; the catalogue's bytes, or nothing when the image is not
// of this kind and version or the catalogue is not whole.
std::optional<std::string_view> readHeader(Reader& r, std::string_view image) {
    std::uint32_t magic = 0, version = 0, length = 0, sum = 0;
    r.value(magic);
    r.value(version);
    r.value(length);
    r.value(sum);
    if (!r.ok || magic != kMagic || version != kVersion || !fits(image.size(), kHeaderSize, length)) return std::nullopt;
    const std::string_view catalogue = image.substr(kHeaderSize, length);
    if (computeChecksum(asBytes(catalogue), catalogue.size()) != sum) return std::nullopt;
    return catalogue;
}

} // namespace

std::string writeLayoutImage(const LoaderDefinitions& definitions) {
    Writer w;
    w.value(kMagic);
    w.value(kVersion);
    w.count(0);  // the catalogue's length and sum, written when it is
    w.count(0);
    // The writer only reads the definitions; the shared io() takes them as the reader does.
    auto& d = const_cast<LoaderDefinitions&>(definitions);
    // front(), with the catalogue's end marked.
    io(w, d.out.catalogue);
    const std::size_t length = w.bytes.size() - kHeaderSize;
    w.patch(8, static_cast<std::uint32_t>(length));
    w.patch(12, computeChecksum(asBytes(std::string_view(w.bytes).substr(kHeaderSize, length)), length));
    afterCatalogue(w, d.out);
    afterOut(w, d);
    rest(w, d);
    return std::move(w.bytes);
}

bool readBeamSampleLayout(std::string_view image, BeamSampleLayout& into) {
    Reader r(image);
    if (!readHeader(r, image)) return false;
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
    const std::optional<std::string_view> catalogue = readHeader(r, image);
    if (!catalogue) return false;
    io(r, into.out.catalogue);
    if (!r.ok || r.offset() != kHeaderSize + catalogue->size()) return false;
    afterCatalogue(r, into.out);
    afterOut(r, into);
    if (!r.ok) return false;
    after = image.substr(r.offset());
    return true;
}

bool readLayoutImageRest(std::string_view after, LoaderDefinitions& into) {
    Reader r(after);
    rest(r, into);
    return r.ok && r.atEnd();
}

namespace {

// Reads the key of a map's entry and steps over its value: where the value
// lies and its length, or nothing when the bytes are not such an entry.
template <typename K> std::optional<std::pair<std::size_t, std::size_t>> stepOverValue(Reader& s, K& key) {
    io(s, key);
    std::size_t length = 0;
    if (!s.count(length)) return std::nullopt;
    const std::size_t at = s.offset();
    s.skip(length);
    if (!s.ok) return std::nullopt;
    return std::pair{at, length};
}

// Steps over a map by its keys and its values' lengths, leaving `m` empty.
template <typename K, typename V> void stepOver(Reader& s, std::map<K, V>& m) {
    m.clear();
    std::size_t n = 0;
    if (!s.count(n)) return;
    for (std::size_t i = 0; i < n && s.ok; ++i) {
        K key{};
        if (!stepOverValue(s, key)) return;
    }
}
// A list's elements have no lengths: one that is not empty is read (a loader's
// definitions hold their commands in maps until they are finished; these
// lists are empty in any image the build writes) and dropped.
template <typename T> void stepOver(Reader& s, std::vector<T>& v) {
    io(s, v);
    v.clear();
}

// The formats of what was unpacked, resolved as a loader's finish() resolves
// a whole catalogue.
void resolveItems(std::vector<CRecordDataLayout>& items) {
    for (CRecordDataLayout& item : items) item.resolveFormat();
}
void resolveUnpacked(RecordDescription& v) { resolveItems(v.items); }
void resolveUnpacked(RepeatDescription& v) { resolveItems(v.items); }
void resolveUnpacked(VectorDescription& v) { v.resolveFormat(); }
void resolveUnpacked(VarStringDescription&) {}

// One map of the catalogue: its keys in order, where each value lies in the
// image, and the value once it has been unpacked.
template <typename K, typename V>
class LazyMap {
public:
    LazyMap() = default;
    LazyMap(const LazyMap&) = delete;
    LazyMap& operator=(const LazyMap&) = delete;
    ~LazyMap() {
        for (std::size_t i = 0; i < size_; ++i) delete entries_[i].value.load(std::memory_order_relaxed);
    }

    // Goes over the map at the reader's place, reading its keys and stepping
    // over each value by its length (its bytes are read when it is asked
    // for); false when the bytes are not such a map.
    bool index(Reader& s) {
        std::size_t n = 0;
        if (!s.count(n)) return false;
        entries_ = std::make_unique<Entry[]>(n);
        size_ = n;
        for (std::size_t i = 0; i < n; ++i) {
            Entry& e = entries_[i];
            const auto value = stepOverValue(s, e.key);
            if (!value) return false;
            std::tie(e.offset, e.length) = *value;
            // The writer wrote the keys in order; a search needs them so.
            if (i > 0 && !(entries_[i - 1].key < e.key)) return false;
        }
        return true;
    }

    const V* find(const K& key, std::string_view image, std::mutex& unpacking) const {
        const Entry* begin = entries_.get();
        const Entry* end = begin + size_;
        const Entry* e = std::lower_bound(begin, end, key, [](const Entry& a, const K& k) { return a.key < k; });
        if (e == end || !(e->key == key)) return nullptr;
        if (const V* v = e->value.load(std::memory_order_acquire)) return v;
        std::lock_guard lock(unpacking);
        if (const V* v = e->value.load(std::memory_order_acquire)) return v;
        auto v = std::make_unique<V>();
        Reader r(image, e->offset);
        io(r, *v);
        // The bytes are summed in the header; a value that does not fill its
        // length exactly is not what the writer wrote.
        if (!r.ok || r.offset() != e->offset + e->length) return nullptr;
        resolveUnpacked(*v);
        e->value.store(v.get(), std::memory_order_release);
        return v.release();
    }

    std::vector<K> keys() const {
        std::vector<K> out;
        for (std::size_t i = 0; i < size_; ++i) out.push_back(entries_[i].key);
        return out;
    }

private:
    struct Entry {
        K key{};
        std::size_t offset = 0;
        std::size_t length = 0;
        mutable std::atomic<const V*> value{nullptr};
    };
    std::unique_ptr<Entry[]> entries_;
    std::size_t size_ = 0;
};

} // namespace

struct BuiltInLayouts::Maps {
    // In the order of the image (io(LayoutCatalogue)).
    LazyMap<BlockKey, VectorDescription> vectors;
    LazyMap<BlockKey, RepeatDescription> repeats;
    LazyMap<RecordKey, RecordDescription> records;
    LazyMap<BlockKey, VarStringDescription> varStrings;
    LazyMap<RecordKey, RecordDescription> optionalData;
    mutable std::mutex unpacking;
    mutable std::once_flag unpackingWhole;
    mutable LayoutCatalogue whole;
};

BuiltInLayouts::~BuiltInLayouts() = default;

std::unique_ptr<const BuiltInLayouts> BuiltInLayouts::index(std::string_view image) {
    std::unique_ptr<BuiltInLayouts> b(new BuiltInLayouts);
    b->image_ = image;
    b->maps_ = std::make_unique<Maps>();
    Reader r(image);
    const std::optional<std::string_view> catalogue = readHeader(r, image);
    if (!catalogue) return nullptr;
    // The catalogue comes first in the image, and its beam-sample layout first in it.
    io(r, b->beamSample_);
    if (!r.ok) return nullptr;
    resolveUnpacked(b->beamSample_);
    Maps& m = *b->maps_;
    if (!m.vectors.index(r) || !m.repeats.index(r) || !m.records.index(r) || !m.varStrings.index(r) ||
        !m.optionalData.index(r) || r.offset() != kHeaderSize + catalogue->size())
        return nullptr;
    b->catalogueEnd_ = r.offset();
    return b;
}

const BuiltInLayouts* BuiltInLayouts::get() {
    static const std::unique_ptr<const BuiltInLayouts> built = index(builtInLayoutImage());
    return built.get();
}

const RecordDescription* BuiltInLayouts::record(const RecordKey& key) const {
    return maps_->records.find(key, image_, maps_->unpacking);
}
const RecordDescription* BuiltInLayouts::optional(const RecordKey& key) const {
    return maps_->optionalData.find(key, image_, maps_->unpacking);
}
const RepeatDescription* BuiltInLayouts::repeat(const BlockKey& key) const {
    return maps_->repeats.find(key, image_, maps_->unpacking);
}
const VectorDescription* BuiltInLayouts::vector(const BlockKey& key) const {
    return maps_->vectors.find(key, image_, maps_->unpacking);
}
const VarStringDescription* BuiltInLayouts::varString(const BlockKey& key) const {
    return maps_->varStrings.find(key, image_, maps_->unpacking);
}
const LayoutCatalogue& BuiltInLayouts::whole() const {
    std::call_once(maps_->unpackingWhole, [this] {
        Reader r(image_, kHeaderSize);
        LayoutCatalogue catalogue;
        io(r, catalogue);
        // The catalogue's sum was checked when it was indexed; a failure here
        // (a description that does not read back) leaves the maps empty
        // rather than half filled.
        if (!r.ok || r.offset() != catalogueEnd_) return;
        resolveFormats(catalogue);
        maps_->whole = std::move(catalogue);
    });
    return maps_->whole;
}

std::vector<RecordKey> BuiltInLayouts::recordKeys() const { return maps_->records.keys(); }
std::vector<RecordKey> BuiltInLayouts::optionalKeys() const { return maps_->optionalData.keys(); }
std::vector<BlockKey> BuiltInLayouts::repeatKeys() const { return maps_->repeats.keys(); }
std::vector<BlockKey> BuiltInLayouts::vectorKeys() const { return maps_->vectors.keys(); }
std::vector<BlockKey> BuiltInLayouts::varStringKeys() const { return maps_->varStrings.keys(); }

bool readLayoutImageFrontForLookups(LoaderDefinitions& into, bool withCommands) {
    const BuiltInLayouts* builtIns = BuiltInLayouts::get();
    if (!builtIns) return false;
    Reader r(builtInLayoutImage(), builtIns->catalogueEnd());
    if (withCommands) {
        afterCatalogue(r, into.out);
        afterOut(r, into);
    } else {
        // afterCatalogue() and afterOut(), the command definitions stepped over.
        stepOver(r, into.out.commands);
        stepOver(r, into.out.commandRepeats);
        io(r, into.out.sources);
        io(r, into.out.problems);
        stepOver(r, into.commands);
        stepOver(r, into.commandRepeats);
        io(r, into.expandedBytesLeftInAll);
        io(r, into.enumerationBytesLeftInAll);
    }
    if (!r.ok) return false;
    into.out.catalogue.beamSampleLayout = builtIns->beamSampleLayout();
    into.out.catalogue.builtIns = builtIns;
    return true;
}

} // namespace tarvik
