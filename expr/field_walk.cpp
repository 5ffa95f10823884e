#include "expr/field_walk.h"

#include "core/frame.h"
#include "core/vxtime.h"
#include "decode/field_format.h"
#include "decode/remote_definitions.h"
#include "decode/report.h"
#include "decode/walk_memo.h"
#include "decode/walker.h"
#include "decode/wireshark_lua.h"

#include <functional>
#include <unordered_map>

namespace tarvik::expr {

namespace {

// What a record of one type is walked for.
struct Plan {
    struct Match {
        std::string item;  // the walked item's name
        int slot = -1;
        std::string kind;  // the field's kind, when items of one name make fields of two kinds
        bool vector = false;
        std::int32_t elementWidth = 0;
        FormatCode elementCode = FormatCode::Unknown;
        std::string elementFormat;
    };
    std::vector<Match> matches;
    std::size_t single = 0;  // slots of non-repeated fields: once all are read, the walk can stop
    bool whole = false;      // a repeated field is named: the walk goes to the end
};

// The vector a vector item of `type` opens, from the layouts that hold it.
const VectorDescription* vectorOf(const LayoutCatalogue& layouts, std::int32_t type, const std::string& item) {
    const LayoutCatalogue& c = layouts.whole();
    auto look = [&](const std::vector<CRecordDataLayout>& items, const auto& key) -> const VectorDescription* {
        for (const CRecordDataLayout& i : items)
            if (i.name == item && i.formatId() == FormatCode::Vector) {
                auto it = c.vectors.find(BlockKey(key.protocolVersion, key.recordVersion, type, i.number));
                if (it != c.vectors.end()) return &it->second;
            }
        return nullptr;
    };
    for (const auto& [k, d] : c.records)
        if (k.recordType == type)
            if (auto* v = look(d.items, k)) return v;
    for (const auto& [k, d] : c.optionalData)
        if (k.recordType == type)
            if (auto* v = look(d.items, k)) return v;
    for (const auto& [k, d] : c.repeats)
        if (k.recordType == type)
            if (auto* v = look(d.items, k)) return v;
    return nullptr;
}


// A number item's value as the report shows it; nullopt when it is no number
// or its bytes are not all held.
std::optional<double> numberAt(ByteSpan frame, std::int64_t offset, std::int64_t width, FormatCode code) {
    if (offset < 0) return std::nullopt;
    const auto at = static_cast<std::uint64_t>(offset);
    switch (code) {
    case FormatCode::Unsigned:
        switch (width) {
        case 1: if (auto v = readLE<std::uint8_t>(frame, at)) return *v; break;
        case 2: if (auto v = readLE<std::uint16_t>(frame, at)) return *v; break;
        case 4: if (auto v = readLE<std::uint32_t>(frame, at)) return *v; break;
        case 8: if (auto v = readLE<std::uint64_t>(frame, at)) return static_cast<double>(*v); break;
        }
        break;
    case FormatCode::Signed:
        switch (width) {
        case 1: if (auto v = readLE<std::int8_t>(frame, at)) return *v; break;
        case 2: if (auto v = readLE<std::int16_t>(frame, at)) return *v; break;
        case 4: if (auto v = readLE<std::int32_t>(frame, at)) return *v; break;
        case 8: if (auto v = readLE<std::int64_t>(frame, at)) return static_cast<double>(*v); break;
        }
        break;
    case FormatCode::Float:
    case FormatCode::Radians: {
        double d = 0;
        if (width == 4) {
            auto v = readLE<float>(frame, at);
            if (!v) break;
            d = *v;
        } else if (width == 8) {
            auto v = readLE<double>(frame, at);
            if (!v) break;
            d = *v;
        } else {
            break;
        }
        return shownNumber(code, static_cast<std::int32_t>(width), d);
    }
    case FormatCode::Time:
        if (width == VxTIME::kSize)
            if (auto t = VxTIME::read(frame, at)) return epochSeconds(*t);
        break;
    default: break;
    }
    return std::nullopt;
}

ByteSpan held(ByteSpan frame, std::int64_t offset, std::int64_t width) {
    if (offset < 0 || width < 0 || static_cast<std::uint64_t>(offset) > frame.size()) return {};
    const auto at = static_cast<std::size_t>(offset);
    return frame.subspan(at, std::min<std::size_t>(static_cast<std::size_t>(width), frame.size() - at));
}

} // namespace

struct FieldWalk::State {
    State(const LayoutCatalogue& c, const Expression& e, bool keep)
        : catalogue(c), expression(e), keepShown(keep), reporter(c, commands), memo(reporter) {
        watch = [this](const WalkedField& w) { return take(w); };
        values.numbers.resize(e.fields().size());
        values.texts.resize(e.fields().size());
        shown.resize(e.fields().size());
    }

    const Plan& planFor(std::uint32_t type) {
        auto [it, added] = plans.try_emplace(type);
        if (!added) return it->second;
        Plan& p = it->second;
        const Expression& e = expression;
        for (std::size_t s = 0; s < e.fields().size(); ++s) {
            const FieldInfo& f = *e.fields()[s];
            if (f.source != FieldSource::Layout || f.recordType != type) continue;
            // Another field of the same item name (of another kind) asks the walked kind.
            bool shared = false;
            for (const FieldInfo* g : e.fields())
                if (g != &f && g->source == FieldSource::Layout && g->recordType == type && g->label == f.label) shared = true;
            for (const std::string& item : f.items) p.matches.push_back({item, static_cast<int>(s), shared ? f.kind : "", false, 0, FormatCode::Unknown, ""});
            for (const std::string& item : f.vectorItems) {
                const VectorDescription* v = vectorOf(catalogue, static_cast<std::int32_t>(type), item);
                if (!v || v->width <= 0) continue;  // elements sized by a rule are not read one by one
                p.matches.push_back({item, static_cast<int>(s), "", true, v->width, v->formatId(), v->format});
            }
            if (f.repeated) p.whole = true;
            else ++p.single;
        }
        return p;
    }

    void keep(std::size_t slot, FieldContext context, FormatCode code, std::string_view format, std::int64_t width,
              ByteSpan bytes) {
        if (!keepShown) return;
        std::string text;
        appendFieldText(context, code, format, static_cast<std::int32_t>(width), bytes, text);
        shown[slot].push_back(std::move(text));
    }

    bool take(const WalkedField& w) {
        for (const Plan::Match& m : plan->matches) {
            if (m.item != w.name) continue;
            const auto s = static_cast<std::size_t>(m.slot);
            const FieldInfo& f = *expression.fields()[s];
            if (m.vector) {
                if (w.code != FormatCode::Vector) continue;
                const std::int64_t count = w.width / m.elementWidth;
                for (std::int64_t i = 0; i < count; ++i) {
                    const std::int64_t at = w.offset + i * m.elementWidth;
                    if (auto v = numberAt(frame, at, m.elementWidth, m.elementCode)) {
                        values.numbers[s].push_back(*v);
                        keep(s, FieldContext::Vector, m.elementCode, m.elementFormat, m.elementWidth,
                             held(frame, at, m.elementWidth));
                    }
                }
                continue;
            }
            if (!m.kind.empty() && wiresharkKind(w.format, static_cast<std::int32_t>(w.width)) != m.kind) continue;
            const bool first = (f.type == ValueType::Text ? values.texts[s].empty() : values.numbers[s].empty());
            const ByteSpan bytes = held(frame, w.offset, w.width);
            if (f.type == ValueType::Text) {
                if (w.code == FormatCode::Reserved) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    std::string hex;
                    for (const std::uint8_t b : bytes) {
                        hex += kHex[b >> 4];
                        hex += kHex[b & 15];
                    }
                    if (keepShown) shown[s].push_back(hex);
                    values.texts[s].push_back(std::move(hex));
                } else {
                    values.texts[s].emplace_back(boundedText(bytes, static_cast<std::int64_t>(bytes.size())));
                    if (keepShown) shown[s].push_back(values.texts[s].back());
                }
            } else if (auto v = numberAt(frame, w.offset, w.width, w.code)) {
                values.numbers[s].push_back(*v);
                keep(s, w.depth > 0 ? FieldContext::Repeat : FieldContext::Main, w.code, w.format, w.width, bytes);
            } else {
                continue;
            }
            if (first && !f.repeated) ++found;
        }
        return plan->whole || found < plan->single;
    }

    const LayoutCatalogue& catalogue;
    const Expression& expression;
    bool keepShown;
    NoRemoteCommandDefinitions commands;
    RecordReporter reporter;
    WalkMemo memo;
    std::function<bool(const WalkedField&)> watch;
    std::unordered_map<std::uint32_t, Plan> plans;
    // The record being walked
    const Plan* plan = nullptr;
    ByteSpan frame;
    FieldValues values;
    std::vector<std::vector<std::string>> shown;
    std::size_t found = 0;
};

FieldWalk::FieldWalk(const LayoutCatalogue& catalogue, const Expression& expression, bool keepShown)
    : state_(std::make_unique<State>(catalogue, expression, keepShown)) {}

FieldWalk::~FieldWalk() = default;

void FieldWalk::keepShown(bool keep) { state_->keepShown = keep; }

bool FieldWalk::namesFieldsOf(std::uint32_t recordType) { return !state_->planFor(recordType).matches.empty(); }

bool FieldWalk::walk(ByteSpan frame) {
    State& w = *state_;
    for (auto& list : w.values.numbers) list.clear();
    for (auto& list : w.values.texts) list.clear();
    for (auto& list : w.shown) list.clear();
    const FrameView view(frame);
    w.plan = &w.planFor(view.recordType());
    w.found = 0;
    if (w.plan->matches.empty()) return true;
    w.frame = frame;
    (void)w.memo.walkFields(frame, w.watch);
    w.frame = {};
    return w.found >= w.plan->single;
}

const FieldValues& FieldWalk::values() const { return state_->values; }
const std::vector<std::vector<std::string>>& FieldWalk::shown() const { return state_->shown; }

} // namespace tarvik::expr
