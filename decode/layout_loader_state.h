#pragma once
// The state of a layout loader between its files, shared by the loader
// (layout_loader.cpp) and the reading of definition texts (layout_yaml.cpp).
// The reading links the YAML library; programs open it as a module only when
// a text must be parsed (decode/yaml_module.h), since the built-in files come
// compiled.

#include "core/text.h"
#include "decode/layout_image.h"
#include "decode/layout_loader.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace YAML {
class Node;
}

namespace tarvik {

namespace layout_loading {

inline constexpr std::uintmax_t kMaxFileBytes = 16u << 20;
inline constexpr int kMaxNesting = 32;
inline constexpr std::int32_t kMaxBlockIndex = 1000;
// A file may define this many items (aliases can make a short file name a
// huge list many times); the built-in files hold about 1,500.
inline constexpr std::size_t kMaxItemsPerFile = 50'000;
// Every item holds its own copy of its enumeration, and a bit enumeration
// grows with the powers of two: what one file's items may hold in all, and
// what one bit enumeration may come to (no built-in file holds 1 MiB).
inline constexpr std::size_t kMaxEnumerationBytesPerFile = std::size_t{64} << 20;

inline std::size_t enumerationBytes(const Enumeration& e) {
    std::size_t n = 0;
    for (const EnumEntry& entry : e) n += sizeof(EnumEntry) + entry.text.size();
    return n;
}
// What one file may hold as parsed (every node costs the parser a few hundred
// bytes) and what it may come to once every alias is expanded where it is used
// (nodes, and the bytes of their texts): the definitions copy what aliases
// name, so a short file must not name a long list many times over.
inline constexpr std::size_t kMaxParsedNodesPerFile = 250'000;
inline constexpr std::size_t kMaxExpandedNodesPerFile = 1'000'000;
inline constexpr std::size_t kMaxExpandedBytesPerFile = std::size_t{16} << 20;
// What all the files of one loader may hold in all (kMaxExpandedBytesInAll,
// kMaxEnumerationBytesInAll in layout_image.h) keeps any folder, however many
// files it holds, from exhausting memory.
inline constexpr std::size_t kMaxFilesPerFolder = 1000;

// Problems listed per file; the rest are counted in one last line.
inline constexpr std::size_t kMaxProblemsPerFile = 100;


// Which kind of list an item belongs to.
enum class ItemContext { Record, Command };

// A parsed definition and where it came from.
using Where = LayoutWhere;

inline std::string recordKeyText(const char* kind, const RecordKey& k) {
    std::string s = strprintf("%s %d", kind, k.recordType);
    if (k.protocolVersion != kCatalogueProtocolVersion || k.recordVersion != kCatalogueRecordVersion)
        s += strprintf(" (protocol %d, version %d)", k.protocolVersion, k.recordVersion);
    return s;
}

inline std::string blockKeyText(const char* kind, const BlockKey& k) {
    std::string s = strprintf("%s %d/%d", kind, k.recordType, k.blockIndex);
    if (k.protocolVersion != kCatalogueProtocolVersion || k.recordVersion != kCatalogueRecordVersion)
        s += strprintf(" (protocol %d, version %d)", k.protocolVersion, k.recordVersion);
    return s;
}

} // namespace layout_loading

using namespace layout_loading;

// built-in image holds); the rest concerns the file being loaded.
struct LayoutLoader::State : LoaderDefinitions {

    // The file being loaded.
    std::string file;
    std::size_t sourceIndex = 0;  // into out.sources, when `hasSource`
    bool hasSource = false;
    LayoutSource* source() { return hasSource ? &out.sources[sourceIndex] : nullptr; }
    void newSource(const std::string& name) {
        out.sources.push_back({name, {}, {}, 0});
        sourceIndex = out.sources.size() - 1;
        hasSource = true;
    }
    std::map<std::string, Enumeration> fileEnumerations;

    std::size_t itemsLeft = kMaxItemsPerFile;
    std::size_t enumerationBytesLeft = kMaxEnumerationBytesPerFile;
    std::size_t fileProblems = 0;

    // Takes `bytes` of enumeration texts from the file's and the loader's budgets.
    void spendEnumeration(const YAML::Node& n, std::size_t bytes);

    void problem(int line, std::string text) {
        ++fileProblems;
        if (LayoutSource* s = source()) ++s->problems;
        if (fileProblems <= kMaxProblemsPerFile) out.problems.push_back({file, line, std::move(text)});
        else if (fileProblems == kMaxProblemsPerFile + 1) out.problems.push_back({file, 0, "more problems, not listed"});
    }

    // Built-in texts (`builtIn`) are trusted to be within the budgets: the
    // pass that measures a text as its aliases expand is put off for them
    // until a text of the user's follows, which the budget left in all limits.
    void loadText(std::string_view name, std::string_view text, bool builtIn = false);
    // How many texts this loader has parsed (counted where the parse is made,
    // which may be in the reader module).
    std::size_t textsParsed = 0;
    std::vector<std::pair<std::string, std::string_view>> builtInsNotMeasured;  // embedded: they outlive the loader
    // Measures a text as its aliases expand and takes that from what all files
    // may still add; false, with the problem said, when it is too large.
    bool measureExpanded(std::string_view text);
    // Measures the built-in texts not measured yet.
    void measureBuiltIns();
    void loadSection(const std::string& section, const YAML::Node& n);

    template <typename Key, typename Fn>
    void eachDefinition(const YAML::Node& list, const char* what, Fn&& parse);

    const Enumeration& enumerationNamed(const YAML::Node& n);
    Enumeration parseEnumeration(const YAML::Node& n);
    Enumeration enumerationOf(const YAML::Node& n, const CRecordDataLayout& item, ItemContext ctx);
    SizeRule parseSizeRule(const YAML::Node& n);
    CountRule parseCountRule(const YAML::Node& n);
    CRecordDataLayout parseItem(const YAML::Node& n, ItemContext ctx, CommandParameterDefinition* command);
    std::vector<CRecordDataLayout> parseItems(const YAML::Node& n, std::vector<int>& lines);
    std::vector<CommandParameterDefinition> parseParameters(const YAML::Node& n, std::vector<int>& lines);
    void keyVersions(const YAML::Node& n, std::int32_t& protocol, std::int32_t& version);

    void noteKey(bool replaced, std::string key) {
        LayoutSource* s = source();
        if (s) (replaced ? s->replaced : s->added).push_back(std::move(key));
    }

    // The key of a definition of one of a record's blocks: its type, block
    // and versions. `kind` names the definition in messages ("vector"), `what`
    // in those of a missing key ("a vector"). A key met twice in a file fails.
    void blockKey(const YAML::Node& d, const char* kind, const char* what, BlockKey& key, std::set<BlockKey>& seen);
    // Keeps a block's definition under its key, replacing what an earlier file
    // gave, and notes which it was.
    template <typename Map>
    void keepBlock(Map& map, std::map<BlockKey, Where>& whereMap, const BlockKey& key, typename Map::mapped_type value,
                   Where where, const char* kind) {
        const bool replaced = map.count(key) != 0;
        map[key] = std::move(value);
        whereMap[key] = std::move(where);
        noteKey(replaced, blockKeyText(kind, key));
    }

    // Reference checks once every file is in.
    void resolve();
    // The loader holds the compiled built-in files and nothing else: the
    // build made the reference checks on them already.
    bool onlyCompiledBuiltIns = false;
    // The part of the built-in image not read yet (readLayoutImageFront):
    // read before anything but finish() looks at the definitions.
    std::optional<std::string_view> imageRest;
};

// The reading of definition texts: linked into the programs that parse
// layout files whenever they run (the build's layout compiler, the Python
// module), else opened from the YAML reader module on first use.
struct LayoutTextReader {
    void (*loadText)(LayoutLoader::State& state, std::string_view name, std::string_view text, bool builtIn);
    void (*measureBuiltIns)(LayoutLoader::State& state);
};

} // namespace tarvik

// The reader, where it is linked in; the module exports it by this name.
extern "C" const tarvik::LayoutTextReader* tarvik_layout_text_reader();

// What the module was built as: the program and its module share the loader's
// state and the profile's types, so they must come from one build. The module
// exports its own by this name; a program refuses a module of another.
extern "C" const char* tarvik_yaml_module_build();

namespace tarvik {
inline std::string layoutStateBuild() {
    return std::string(TARVIK_VERSION) + "/" + std::to_string(sizeof(LayoutLoader::State));
}
} // namespace tarvik
