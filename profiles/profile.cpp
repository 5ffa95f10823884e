#include "profiles/profile.h"

#include "core/text.h"
#include "expr/fields.h"

// This file is compiled twice: into the profiles library without the reading
// of profile texts, and with TARVIK_PROFILE_YAML into the YAML readers with
// only that reading (the one part that links the YAML library, which most
// runs never need: decode/yaml_module.h).

// The reading of a profile text, called through this pointer wherever it lives.
using ProfileTextReader = tarvik::Result<tarvik::profiles::Profile> (*)(std::string_view name, std::string_view source,
                                                                         const tarvik::LayoutCatalogue& catalogue);
#ifdef TARVIK_PROFILE_YAML
#include "decode/yaml_budget.h"

#include <yaml-cpp/yaml.h>
#else
#include "decode/yaml_module.h"
// Defined where the reading is linked in (the Python module), else the
// YAML reader module has it.
extern "C" __attribute__((weak)) ProfileTextReader tarvik_profile_text_reader();
#endif

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace tarvik::profiles {

#ifndef TARVIK_PROFILE_YAML
const char* severityName(Severity s) { return s == Severity::Error ? "error" : "warning"; }

const char* checkKindName(CheckKind k) {
    switch (k) {
    case CheckKind::Presence: return "presence";
    case CheckKind::Value: return "value";
    case CheckKind::Relation: return "relation";
    case CheckKind::Order: return "order";
    case CheckKind::Stability: return "stability";
    case CheckKind::Integrity: return "integrity";
    }
    return "?";
}
#endif

namespace {

#ifdef TARVIK_PROFILE_YAML

// Budgets of the parse, as the layout loader keeps them for its files.
constexpr std::size_t kMaxParsedNodes = 50'000;
constexpr std::size_t kMaxExpandedNodes = 100'000;
constexpr std::size_t kMaxExpandedBytes = std::size_t{4} << 20;
constexpr std::size_t kMaxNameLength = 200;
constexpr std::size_t kMaxDescriptionLength = 4000;
constexpr double kMaxSeconds = 1e6;

struct ProfileError {
    int line;
    std::string text;
};

int lineOf(const YAML::Node& n) { return n.Mark().is_null() ? 0 : n.Mark().line + 1; }

[[noreturn]] void fail(const YAML::Node& n, std::string text) { throw ProfileError{lineOf(n), std::move(text)}; }

std::string text(const YAML::Node& n, const char* what, std::size_t maxLength = kMaxNameLength) {
    if (!n.IsScalar()) fail(n, std::string(what) + " must be a text");
    if (n.Scalar().size() > maxLength) fail(n, strprintf("%s is longer than %zu characters", what, maxLength));
    return n.Scalar();
}

double seconds(const YAML::Node& n, const char* what) {
    if (!n.IsScalar()) fail(n, std::string(what) + " must be a number of seconds");
    double v = 0;
    try {
        v = n.as<double>();
    } catch (const YAML::Exception&) {
        fail(n, std::string(what) + " must be a number of seconds, not \"" + n.Scalar() + "\"");
    }
    if (!std::isfinite(v) || v <= 0 || v > kMaxSeconds)
        fail(n, strprintf("%s must be above 0 and at most %.0f seconds", what, kMaxSeconds));
    return v;
}

std::uint64_t count(const YAML::Node& n, const char* what) {
    if (!n.IsScalar()) fail(n, std::string(what) + " must be a whole number");
    long long v = -1;
    try {
        v = n.as<long long>();
    } catch (const YAML::Exception&) {
        fail(n, std::string(what) + " must be a whole number, not \"" + n.Scalar() + "\"");
    }
    if (v < 0) fail(n, std::string(what) + " must not be negative");
    return static_cast<std::uint64_t>(v);
}

bool flag(const YAML::Node& n, const char* what) {
    if (!n.IsScalar()) fail(n, std::string(what) + " must be true or false");
    try {
        return n.as<bool>();
    } catch (const YAML::Exception&) {
        fail(n, std::string(what) + " must be true or false, not \"" + n.Scalar() + "\"");
    }
}

void onlyKeys(const YAML::Node& n, std::initializer_list<std::string_view> keys, const std::string& what) {
    if (!n.IsMap()) fail(n, what + " must be a map");
    for (const auto& kv : n) {
        const std::string key = kv.first.IsScalar() ? kv.first.Scalar() : std::string();
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            std::string known;
            for (std::string_view k : keys) known += (known.empty() ? "" : ", ") + std::string(k);
            fail(kv.first, "unknown key \"" + key + "\" in " + what + " (known: " + known + ")");
        }
    }
}

// The one-word choices of a rule, each with its meaning.
template <typename E>
E choice(const YAML::Node& n, const char* what, std::initializer_list<std::pair<std::string_view, E>> choices) {
    const std::string word = text(n, what);
    std::string known;
    for (const auto& [name, value] : choices) {
        if (name == word) return value;
        known += (known.empty() ? "" : ", ") + std::string(name);
    }
    fail(n, std::string(what) + " \"" + word + "\" is not one of " + known);
}

class Loader {
public:
    Loader(std::string_view name, const LayoutCatalogue& catalogue) : name_(name), catalogue_(catalogue) {}

    Profile load(std::string_view source) {
        if (source.size() > kMaxProfileBytes)
            throw ProfileError{0, strprintf("the file is larger than %zu KiB", kMaxProfileBytes >> 10)};
        int deepLine = 0;
        if (yamlTooDeep(source, kMaxProfileNesting, deepLine))
            throw ProfileError{deepLine, strprintf("nested deeper than %d levels", kMaxProfileNesting)};
        const std::string copy(source);
        try {
            std::istringstream in{copy};
            YAML::Parser parser(in);
            ExpandedSize size({kMaxParsedNodes, kMaxExpandedNodes, kMaxExpandedBytes});
            parser.HandleNextDocument(size);
        } catch (const ExpandedSize::TooLarge& e) {
            throw ProfileError{e.line, e.text};
        } catch (const YAML::Exception&) {
            // Said with its line below.
        }
        YAML::Node root;
        try {
            root = YAML::Load(copy);
        } catch (const YAML::Exception& e) {
            throw ProfileError{e.mark.is_null() ? 0 : e.mark.line + 1, "not valid YAML: " + e.msg};
        }
        if (!root || !root.IsMap()) throw ProfileError{lineOf(root), "a profile is a map with \"rules:\""};
        onlyKeys(root, {"profile", "description", "rules"}, "a profile");
        Profile p;
        if (root["profile"]) p.name = text(root["profile"], "profile");
        if (root["description"]) p.description = text(root["description"], "description", kMaxDescriptionLength);
        const YAML::Node rules = root["rules"];
        if (!rules) fail(root, "a profile needs \"rules:\"");
        if (!rules.IsSequence()) fail(rules, "rules must be a list");
        if (rules.size() == 0) fail(rules, "the profile has no rules");
        if (rules.size() > kMaxRules) fail(rules, strprintf("more than %zu rules", kMaxRules));
        std::set<std::string> names;
        for (const YAML::Node& r : rules) {
            Rule rule = parseRule(r);
            if (!names.insert(rule.name).second) fail(r["name"], "a second rule named \"" + rule.name + "\"");
            p.rules.push_back(std::move(rule));
        }
        return p;
    }

private:
    Compiled compile(const YAML::Node& n, const char* what) {
        Compiled c;
        c.text = text(n, what, expr::kMaxExpressionLength);
        if (c.text.empty()) fail(n, std::string(what) + " is empty");
        // A record-type text ("7027", "7501; 7502") is taken as the record
        // types it names, exactly as the list's filter box takes it; checked
        // here so that a type no layout defines is a problem of the profile.
        if (expr::isRecordTypeText(c.text)) {
            if (c.text == "ALL RECORDS") return c;
            for (std::string_view word : splitTypes(c.text)) {
                const std::int32_t type = static_cast<std::int32_t>(std::strtol(std::string(word).c_str(), nullptr, 10));
                const auto& records = catalogue_.whole().records;
                const auto at = records.lower_bound(RecordKey{INT32_MIN, INT32_MIN, type});
                if (at == records.end() || at->first.recordType != type)
                    fail(n, std::string(what) + ": no layout defines record type " + std::string(word));
            }
            // Each listed type named alone is an expression too: one path for both.
            std::string e;
            for (std::string_view word : splitTypes(c.text)) e += (e.empty() ? "" : " || ") + std::string(word);
            auto p = expr::compilePredicate(e, catalogue_);
            if (!p) fail(n, std::string(what) + ": " + firstLine(p.error()));
            c.predicate = *p;
            return c;
        }
        auto p = expr::compilePredicate(c.text, catalogue_);
        if (!p) fail(n, std::string(what) + ": " + firstLine(p.error()));
        c.predicate = *p;
        return c;
    }

    static std::vector<std::string_view> splitTypes(std::string_view t) {
        std::vector<std::string_view> out;
        std::size_t i = 0;
        while (i < t.size()) {
            while (i < t.size() && !std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
            const std::size_t start = i;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
            if (i > start) out.push_back(t.substr(start, i - start));
        }
        return out;
    }

    static std::string firstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

    // A field named alone, of a record's layout.
    Compiled layoutField(const YAML::Node& n, const char* what) {
        Compiled c = compile(n, what);
        const auto& fields = c.predicate ? c.predicate->expression().fields() : std::vector<const expr::FieldInfo*>{};
        if (fields.size() != 1 || c.predicate->expression().root().kind != expr::Node::Kind::Present)
            fail(n, std::string(what) + " must name one field");
        if (fields[0]->source != expr::FieldSource::Layout)
            fail(n, std::string(what) + " must be a field of a record's layout, not of its header");
        return c;
    }

    Rule parseRule(const YAML::Node& r) {
        onlyKeys(r,
                 {"name", "description", "severity", "scope", "presence", "value", "relation", "order", "stable",
                  "log", "integrity"},
                 "a rule");
        Rule rule;
        rule.line = lineOf(r);
        if (!r["name"]) fail(r, "a rule needs \"name\"");
        rule.name = text(r["name"], "name");
        if (rule.name.empty()) fail(r["name"], "the name is empty");
        for (char c : rule.name)
            if (static_cast<unsigned char>(c) < 0x20) fail(r["name"], "the name holds a control character");
        if (r["description"]) rule.description = text(r["description"], "description", kMaxDescriptionLength);
        if (r["severity"])
            rule.severity = choice<Severity>(r["severity"], "severity",
                                             {{"error", Severity::Error}, {"warning", Severity::Warning}});
        if (r["scope"]) rule.scope = compile(r["scope"], "scope");

        int checks = 0;
        for (const char* k : {"presence", "value", "relation", "order", "stable", "log", "integrity"}) checks += r[k] ? 1 : 0;
        if (checks != 1)
            fail(r, "rule \"" + rule.name +
                        "\" needs exactly one check: presence, value, relation, order, stable, log or integrity");

        if (const YAML::Node n = r["presence"]) {
            rule.kind = CheckKind::Presence;
            onlyKeys(n, {"at_least", "every_seconds", "per_ping", "pings"}, "presence");
            if (n["at_least"]) rule.atLeast = count(n["at_least"], "at_least");
            if (n["every_seconds"]) rule.everySeconds = seconds(n["every_seconds"], "every_seconds");
            const bool perPing = n["per_ping"] && flag(n["per_ping"], "per_ping");
            if (!rule.atLeast && !rule.everySeconds && !perPing)
                fail(n, "presence needs at_least, every_seconds or per_ping");
            if (perPing && (rule.atLeast || rule.everySeconds))
                fail(n, "per_ping is a check of its own: give it alone");
            if (n["pings"] && !perPing) fail(n["pings"], "pings goes with per_ping");
            if (perPing) {
                // Once per ping: each ping record has one of the scope with its ping number.
                rule.kind = CheckKind::Relation;
                rule.key = RelationKey::Ping;
                if (n["pings"]) rule.each = compile(n["pings"], "pings");
                else rule.each = compileText(n, "7000", "pings");
                rule.has = rule.scope;
                if (!rule.has.predicate) fail(r, "per_ping needs a scope: the records each ping must have");
                rule.scope = {};
            }
        } else if (const YAML::Node v = r["value"]) {
            rule.kind = CheckKind::Value;
            rule.expect = compile(v, "value");
        } else if (const YAML::Node n = r["relation"]) {
            rule.kind = CheckKind::Relation;
            onlyKeys(n, {"each", "has", "key", "within_seconds"}, "relation");
            if (!n["each"] || !n["has"]) fail(n, "a relation needs \"each\" and \"has\"");
            rule.each = compile(n["each"], "each");
            rule.has = compile(n["has"], "has");
            rule.key = RelationKey::None;
            if (const YAML::Node k = n["key"]) {
                if (k.IsSequence()) {
                    if (k.size() == 0 || k.size() > kMaxRelationFields)
                        fail(k, strprintf("key lists 1 to %zu fields", kMaxRelationFields));
                    std::string e;
                    for (const YAML::Node& f : k) e += (e.empty() ? "" : " || ") + layoutField(f, "a key field").text;
                    rule.key = RelationKey::Fields;
                    rule.keyFields = compileText(k, e, "key");
                } else {
                    rule.key = choice<RelationKey>(k, "key", {{"ping", RelationKey::Ping}, {"device", RelationKey::Device}});
                }
            }
            if (n["within_seconds"]) rule.withinSeconds = seconds(n["within_seconds"], "within_seconds");
            if (rule.key == RelationKey::None && !rule.withinSeconds)
                fail(n, "a relation needs a key (ping, device or a list of fields) or within_seconds");
            if (rule.key == RelationKey::Device && rule.withinSeconds)
                fail(n, "key device pairs records anywhere in the run: within_seconds does not go with it");
        } else if (const YAML::Node n = r["order"]) {
            rule.kind = CheckKind::Order;
            rule.order = choice<OrderCheck>(n, "order",
                                            {{"ping-gaps", OrderCheck::PingGaps},
                                             {"time-increasing", OrderCheck::TimeIncreasing},
                                             {"counter-increasing", OrderCheck::CounterIncreasing}});
        } else if (r["stable"] || r["log"]) {
            rule.kind = CheckKind::Stability;
            rule.logOnly = static_cast<bool>(r["log"]);
            rule.field = layoutField(rule.logOnly ? r["log"] : r["stable"], rule.logOnly ? "log" : "stable");
        } else if (const YAML::Node n = r["integrity"]) {
            rule.kind = CheckKind::Integrity;
            rule.integrity = choice<IntegrityCheck>(n, "integrity",
                                                    {{"checksums", IntegrityCheck::Checksums},
                                                     {"damaged", IntegrityCheck::Damaged},
                                                     {"lost-packets", IntegrityCheck::LostPackets},
                                                     {"connection", IntegrityCheck::Connection}});
            if (rule.scope.predicate && rule.integrity != IntegrityCheck::Checksums)
                fail(r["scope"], "only a checksums rule takes a scope: damage and losses are not records");
        }
        return rule;
    }

    Compiled compileText(const YAML::Node& at, const std::string& t, const char* what) {
        Compiled c;
        c.text = t;
        auto p = expr::compilePredicate(t, catalogue_);
        if (!p) fail(at, std::string(what) + ": " + firstLine(p.error()));
        c.predicate = *p;
        return c;
    }

    std::string name_;
    const LayoutCatalogue& catalogue_;
};

#endif

std::string stem(std::string_view name) {
    std::string s = std::filesystem::path(std::string(name)).filename().string();
    if (const auto dot = s.rfind('.'); dot != std::string::npos && dot > 0) s.resize(dot);
    return s;
}

} // namespace

#ifdef TARVIK_PROFILE_YAML
Result<Profile> readProfileText(std::string_view name, std::string_view source, const LayoutCatalogue& catalogue) {
    try {
        Profile p = Loader(name, catalogue).load(source);
        if (p.name.empty()) p.name = stem(name);
        p.catalogue = &catalogue;
        return p;
    } catch (const ProfileError& e) {
        if (e.line > 0) return failure(std::string(name) + ":" + std::to_string(e.line) + ": " + e.text);
        return failure(std::string(name) + ": " + e.text);
    } catch (const YAML::Exception& e) {
        return failure(std::string(name) + ":" + std::to_string(e.mark.is_null() ? 0 : e.mark.line + 1) + ": " + e.msg);
    }
}

#else
Result<Profile> parseProfile(std::string_view name, std::string_view source, const LayoutCatalogue& catalogue) {
    if (tarvik_profile_text_reader) return tarvik_profile_text_reader()(name, source, catalogue);
    const Result<void*> entry = yamlModuleSymbol("tarvik_profile_text_reader");
    if (!entry) return failure(std::string(name) + ": cannot be read: " + entry.error());
    return reinterpret_cast<ProfileTextReader (*)()>(*entry)()(name, source, catalogue);
}

Result<Profile> loadProfile(const std::string& path, const LayoutCatalogue& catalogue) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        if (!std::filesystem::exists(path, ec)) return failure(path + ": no such file");
        return failure(path + ": not a regular file");
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return failure(path + ": " + ec.message());
    if (size > kMaxProfileBytes) return failure(strprintf("%s: the file is larger than %zu KiB", path.c_str(), kMaxProfileBytes >> 10));
    std::ifstream in(path, std::ios::binary);
    if (!in) return failure(path + ": cannot be read");
    std::string source(static_cast<std::size_t>(size), '\0');
    in.read(source.data(), static_cast<std::streamsize>(source.size()));
    source.resize(static_cast<std::size_t>(in.gcount()));
    Result<Profile> p = parseProfile(path, source, catalogue);
    if (p) p->path = path;
    return p;
}

std::string builtInProfileFolder() {
    if (const char* over = std::getenv("TARVIK_PROFILE_DIR"); over && *over) return over;
    std::error_code ec;
    // A program run from its build tree uses the profiles of its sources.
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    const std::string build = TARVIK_BUILD_DIR;
    if (!ec && exe.compare(0, build.size(), build) == 0) return TARVIK_PROFILE_SOURCE_DIR;
    if (std::filesystem::is_directory(TARVIK_PROFILE_INSTALL_DIR, ec)) return TARVIK_PROFILE_INSTALL_DIR;
    return TARVIK_PROFILE_SOURCE_DIR;
}

std::vector<std::string> builtInProfiles() {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(builtInProfileFolder(), ec))
        if (e.path().extension() == ".yaml") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string resolveProfile(const std::string& nameOrPath) {
    std::error_code ec;
    if (std::filesystem::exists(nameOrPath, ec)) return nameOrPath;
    if (nameOrPath.find('/') == std::string::npos) {
        const std::filesystem::path builtIn = std::filesystem::path(builtInProfileFolder()) / (stem(nameOrPath) + ".yaml");
        if (std::filesystem::exists(builtIn, ec)) return builtIn.string();
    }
    return nameOrPath;
}

#endif

} // namespace tarvik::profiles

#ifdef TARVIK_PROFILE_YAML
extern "C" ProfileTextReader tarvik_profile_text_reader() { return tarvik::profiles::readProfileText; }
#endif
