#pragma once
// A test profile: what a healthy feed must satisfy, as named rules in a YAML
// file. Each rule has a severity, a scope (which records it looks at, as a
// filter expression) and one check:
//
//     profile: bathymetry-feed
//     rules:
//       - name: detections-each-ping
//         relation: {each: "7000", has: "7027", key: ping}
//       - name: detection-count
//         scope: "7027"
//         value: "7027.number_of_detection_points <= 1024"
//
// Profiles are user files: they are loaded with budgets on size, nesting and
// rule count, and every problem is "FILE:LINE: reason". Expressions are
// compiled against the layouts when the profile is loaded, so an unknown
// field or record type is a problem of the profile, not of a run.

#include "core/result.h"
#include "decode/layout.h"
#include "expr/predicate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::profiles {

// What a profile file may be.
inline constexpr std::size_t kMaxProfileBytes = 1u << 20;
inline constexpr std::size_t kMaxRules = 500;
inline constexpr int kMaxProfileNesting = 16;
inline constexpr std::size_t kMaxRelationFields = 16;

enum class Severity { Error, Warning };
const char* severityName(Severity s);

enum class CheckKind { Presence, Value, Relation, Order, Stability, Integrity };
const char* checkKindName(CheckKind k);

// Order and gaps.
enum class OrderCheck {
    PingGaps,           // the record list's gap rule on ping numbers
    TimeIncreasing,     // time stamps never go back, per device and enumerator
    CounterIncreasing,  // record counters rise, per device and enumerator
};

// Integrity of what was read.
enum class IntegrityCheck {
    Checksums,    // frames whose flags claim a checksum carry the right one
    Damaged,      // no damaged, cut or unframed data
    LostPackets,  // no packet lost on the way (live, captures)
    Connection,   // a live connection stays up for the whole run
};

// How a relation pairs a record of `each` with one of `has`.
enum class RelationKey {
    Ping,    // same device, enumerator and ping number
    Device,  // same device and enumerator, anywhere in the run
    Fields,  // same value of the first of `keyFields` each record holds
    None,    // any record of `has` (with withinSeconds: close enough in time)
};

// A compiled expression, with the text it was written as.
struct Compiled {
    std::string text;
    std::shared_ptr<const expr::FieldPredicate> predicate;  // null: every record
};

struct Rule {
    std::string name;
    std::string description;
    Severity severity = Severity::Error;
    CheckKind kind = CheckKind::Value;
    int line = 0;  // where the rule starts in its file
    Compiled scope;

    // Presence and rate
    std::optional<std::uint64_t> atLeast;
    std::optional<double> everySeconds;
    // Value
    Compiled expect;
    // Relation (presence per ping is a relation from the ping records)
    Compiled each, has;
    RelationKey key = RelationKey::Ping;
    Compiled keyFields;  // the fields of a Fields key, in the order given
    std::optional<double> withinSeconds;
    // Order
    OrderCheck order = OrderCheck::PingGaps;
    // Stability: the field watched; `logOnly` reports each change and passes.
    Compiled field;
    bool logOnly = false;
    // Integrity
    IntegrityCheck integrity = IntegrityCheck::Damaged;
};

struct Profile {
    std::string name;         // "profile:", or the file's name without its extension
    std::string description;
    std::string path;         // the file it was loaded from (empty for a text)
    std::vector<Rule> rules;
    const LayoutCatalogue* catalogue = nullptr;  // what its expressions were compiled against
};

// Loads a profile file against the fields of `catalogue` (which must outlive
// the profile). Fails with "FILE:LINE: reason" for the first problem.
Result<Profile> loadProfile(const std::string& path, const LayoutCatalogue& catalogue);
// The same for a text; `name` stands for the file in messages.
Result<Profile> parseProfile(std::string_view name, std::string_view text, const LayoutCatalogue& catalogue);

// The built-in profiles: the folder they are installed in (or, in a build
// tree, the source's data folder), and their files there.
std::string builtInProfileFolder();
std::vector<std::string> builtInProfiles();
// A profile argument: a path as it stands, or the name of a built-in profile
// ("bathymetry-feed") when no such file exists.
std::string resolveProfile(const std::string& nameOrPath);

} // namespace tarvik::profiles
