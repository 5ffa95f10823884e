#include "decode/layout_loader.h"

#include "core/text.h"
#include "decode/field_format.h"
#include "decode/layout_image.h"
#include "decode/layout_loader_state.h"
#include "decode/yaml_module.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

// Defined where the reading of texts is linked in; else the module has it.
extern "C" __attribute__((weak)) const tarvik::LayoutTextReader* tarvik_layout_text_reader();

namespace tarvik {

std::string LayoutProblem::message() const {
    if (line > 0) return file + ":" + std::to_string(line) + ": " + text;
    return file + ": " + text;
}


LayoutLoader::LayoutLoader() : state_(new State) {}
LayoutLoader::LayoutLoader(const LayoutLoader& other) : state_(new State(*other.state_)) {}
LayoutLoader::~LayoutLoader() { delete state_; }

namespace {

std::atomic<std::size_t> textsParsed{0};

// The reading of texts, linked in or from the YAML reader module.
Result<const LayoutTextReader*> textReader() {
    if (tarvik_layout_text_reader) return tarvik_layout_text_reader();
    Result<void*> entry = yamlModuleSymbol("tarvik_layout_text_reader");
    if (!entry) return failure(entry.error());
    return reinterpret_cast<const LayoutTextReader* (*)()>(*entry)();
}

void loadBuiltInTexts(LayoutLoader::State& state, const std::vector<EmbeddedLayoutFile>& files);

// Reads what the loader put off of the built-in image, before anything looks
// at more than what finish() hands over. An image that cannot be read (it was
// checked when the program was built) gives way to the built-in texts.
void completeBuiltIns(LayoutLoader::State& state) {
    if (!state.imageRest) return;
    const std::string_view rest = *state.imageRest;
    state.imageRest.reset();
    if (readLayoutImageRest(rest, state)) return;
    static_cast<LoaderDefinitions&>(state) = LoaderDefinitions{};
    state.onlyCompiledBuiltIns = false;
    loadBuiltInTexts(state, builtInLayoutFiles());
}

// Loads a text into `state`; a program that cannot read YAML says so as the
// text's problem, and every other file still loads.
void readText(LayoutLoader::State& state, std::string_view name, std::string_view text, bool builtIn = false) {
    const Result<const LayoutTextReader*> reader = textReader();
    if (!reader) {
        state.file = std::string(name);
        state.newSource(state.file);
        state.problem(0, "cannot be read: " + reader.error());
        state.hasSource = false;
        return;
    }
    completeBuiltIns(state);
    const std::size_t before = state.textsParsed;
    (*reader)->loadText(state, name, text, builtIn);
    textsParsed += state.textsParsed - before;
    // A reader in the module resolved the formats against the module's own
    // copy of the format table: resolved again against the program's.
    resolveFormats(state.out.catalogue);
    for (auto& [key, command] : state.commands)
        for (CommandParameterDefinition& p : command.parameters) p.item.resolveFormat();
    for (auto& [key, repeat] : state.commandRepeats)
        for (CommandParameterDefinition& p : repeat.items) p.item.resolveFormat();
}

// The built-in texts, parsed (a loader that holds files already, the build's
// layout compiler, the tests that hold the image to the texts).
void loadBuiltInTexts(LayoutLoader::State& state, const std::vector<EmbeddedLayoutFile>& files) {
    for (const EmbeddedLayoutFile& f : files) readText(state, "built-in:" + std::string(f.name), f.text, true);
    if (const Result<const LayoutTextReader*> reader = textReader()) (*reader)->measureBuiltIns(state);
    state.file.clear();
    state.fileEnumerations.clear();
}

} // namespace

std::size_t layoutTextsParsed() { return textsParsed; }

namespace {
// The layout files of a folder ("*.yaml", "*.yml"), in name order.
std::vector<std::string> layoutFilesIn(const std::string& path) {
    std::error_code ec;
    std::vector<std::string> files;
    for (auto it = std::filesystem::directory_iterator(path, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        const auto ext = it->path().extension().string();
        if ((ext == ".yaml" || ext == ".yml") && !it->is_directory(ec)) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}
} // namespace

void LayoutLoader::addBuiltIn() {
    // A fresh loader takes the image the build made of the built-in files
    // (its front now, the rest when a text follows); one that holds files
    // already (or a program whose image cannot be read) loads the embedded
    // texts, which gives the same definitions.
    if (*state_ == State() && !state_->imageRest) {
        State fresh;
        std::string_view rest;
        if (readLayoutImageFront(builtInLayoutImage(), fresh, rest)) {
            *state_ = std::move(fresh);
            state_->onlyCompiledBuiltIns = true;
            state_->imageRest = rest;
            return;
        }
    }
    addBuiltInTexts(builtInLayoutFiles());
}

bool LayoutLoader::addBuiltInForLookups(bool withCommands) {
    if (!(*state_ == State()) || state_->imageRest) return false;
    State fresh;
    if (!readLayoutImageFrontForLookups(fresh, withCommands)) return false;
    *state_ = std::move(fresh);
    state_->onlyCompiledBuiltIns = true;
    return true;
}

void LayoutLoader::addBuiltInTexts(const std::vector<EmbeddedLayoutFile>& files) {
    completeBuiltIns(*state_);
    loadBuiltInTexts(*state_, files);
}

std::string LayoutLoader::builtInImage() const {
    completeBuiltIns(*state_);
    return writeLayoutImage(*state_);
}
const LoaderDefinitions& LayoutLoader::definitions() const {
    completeBuiltIns(*state_);
    return *state_;
}

void LayoutLoader::addText(std::string_view name, std::string_view text) { readText(*state_, name, text); }

void LayoutLoader::addFile(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        state_->file = path;
        state_->hasSource = false;
        state_->problem(0, "cannot be read: " + ec.message());
        return;
    }
    if (size > kMaxFileBytes) {
        state_->file = path;
        state_->newSource(path);
        state_->problem(0, "the file is larger than 16 MiB");
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        state_->file = path;
        state_->hasSource = false;
        state_->problem(0, "cannot be read");
        return;
    }
    readText(*state_, path, text);
}

void LayoutLoader::addDirectory(const std::string& path, bool mustExist) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
        if (mustExist) {
            state_->file = path;
            state_->hasSource = false;
            state_->problem(0, "is not a folder");
        }
        return;
    }
    std::vector<std::string> files = layoutFilesIn(path);
    // However many files a folder holds, the loader reads a bounded number.
    if (files.size() > kMaxFilesPerFolder) {
        state_->file = path;
        state_->hasSource = false;
        state_->problem(0, strprintf("holds %zu layout files; the first %zu are loaded", files.size(), kMaxFilesPerFolder));
        files.resize(kMaxFilesPerFolder);
    }
    for (const auto& f : files) addFile(f);
}

LoadedDefinitions LayoutLoader::finish() {
    if (!state_->onlyCompiledBuiltIns) state_->resolve();
    LoadedDefinitions out = std::move(state_->out);
    for (auto& [key, d] : state_->commands) out.commands.push_back(std::move(d));
    for (auto& [key, d] : state_->commandRepeats) out.commandRepeats.push_back(std::move(d));
    // A type that owns repeat blocks but has no layout decodes as unknown.
    for (const auto& [key, block] : out.catalogue.repeats)
        out.catalogue.records.try_emplace(RecordKey{key.protocolVersion, key.recordVersion, key.recordType});
    resolveFormats(out.catalogue);
    delete state_;
    state_ = new State;
    return out;
}

namespace {

// Walks a list of items the way decoding meets them and checks that every
// field a structure or size rule names has been decoded before.
struct ReferenceCheck {
    const LayoutCatalogue& cat;
    RecordKey key;
    std::vector<std::string_view> names;  // in decoding order (views of the catalogue's items)
    std::string problem;
    int depth = 0;

    bool known(const std::string& name) const {
        return name.empty() || std::find(names.begin(), names.end(), name) != names.end();
    }
    // `owner` names what refers to the field, made only when the reference fails.
    template <typename Owner>
    bool need(const std::string& name, const char* what, const Owner& owner) {
        if (known(name)) return true;
        problem = strprintf("the %s \"%s\" of %s is not a field decoded before it", what, name.c_str(), owner().c_str());
        return false;
    }
    template <typename Owner>
    bool sizeRule(const SizeRule& r, const Owner& owner) {
        return r.empty() || (need(r.sourceField, "size rule field", owner) && need(r.multiplierField, "size rule multiplier", owner));
    }

    // False with `problem` set at the first fault.
    bool items(std::span<const CRecordDataLayout> list) {
        if (++depth > kMaxNesting) {
            problem = "repeat blocks nest too deep (a block that opens itself?)";
            return false;
        }
        for (const CRecordDataLayout& item : list) {
            const BlockKey bk(key, item.number);
            const auto owner = [&item] { return "\"" + item.name + "\""; };
            if (!sizeRule(item.sizeRule, owner)) return false;
            if (item.format == "repeat") {
                const auto it = cat.repeats.find(bk);
                if (it == cat.repeats.end()) {
                    problem = strprintf("\"%s\" opens repeat block %d, which record type %d does not have", item.name.c_str(),
                                        int(item.number), key.recordType);
                    return false;
                }
                const auto block = [&] { return strprintf("repeat block %d/%d", key.recordType, int(item.number)); };
                if (!need(it->second.countField, "count field", block) ||
                    !need(it->second.blockSizeField, "block size field", block) || !items(it->second.items))
                    return false;
            } else if (item.format == "vector") {
                const auto it = cat.vectors.find(bk);
                if (it == cat.vectors.end()) {
                    problem = strprintf("\"%s\" opens vector %d, which record type %d does not have", item.name.c_str(),
                                        int(item.number), key.recordType);
                    return false;
                }
                const auto vector = [&] { return strprintf("vector %d/%d", key.recordType, int(item.number)); };
                if (!need(it->second.countField, "count field", vector) ||
                    !need(it->second.secondField, "second field", vector) || !sizeRule(it->second.sizeRule, vector))
                    return false;
            } else if (item.format == "vstring") {
                const auto it = cat.varStrings.find(bk);
                if (it == cat.varStrings.end()) {
                    problem = strprintf("\"%s\" opens variable text %d, which record type %d does not have",
                                        item.name.c_str(), int(item.number), key.recordType);
                    return false;
                }
                if (!need(it->second.lengthField, "length field",
                          [&] { return strprintf("variable text %d/%d", key.recordType, int(item.number)); }))
                    return false;
            }
            names.push_back(item.name);
        }
        --depth;
        return true;
    }
};

} // namespace

void LayoutLoader::State::resolve() {
    LayoutCatalogue& cat = out.catalogue;
    auto report = [&](const Where& w, std::size_t itemIndex, const std::string& text) {
        const int line = itemIndex < w.itemLines.size() ? w.itemLines[itemIndex] : w.line;
        out.problems.push_back({w.file, line, text});
        for (auto& s : out.sources)
            if (s.file == w.file) ++s.problems;
    };
    // Which top-level item a fault belongs to: the one being walked when it was found.
    auto checkList = [&](ReferenceCheck& check, const std::vector<CRecordDataLayout>& items, std::size_t& failedAt) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!check.items(std::span(items).subspan(i, 1))) {
                failedAt = i;
                return false;
            }
        }
        return true;
    };

    std::vector<RecordKey> dropRecords, dropOptional;
    for (const auto& [key, record] : cat.records) {
        ReferenceCheck check{cat, key, {}, {}, 0};
        std::size_t at = 0;
        const auto w = recordWhere.find(key);
        if (!checkList(check, record.items, at)) {
            if (w != recordWhere.end()) report(w->second, at, check.problem + "; record " + std::to_string(key.recordType) + " is left out");
            dropRecords.push_back(key);
            continue;
        }
        // The optional data follows the record and may use its fields.
        if (auto o = cat.optionalData.find(key); o != cat.optionalData.end()) {
            if (!checkList(check, o->second.items, at)) {
                if (auto ow = optionalWhere.find(key); ow != optionalWhere.end())
                    report(ow->second, at, check.problem + "; its optional data is left out");
                dropOptional.push_back(key);
            }
        }
    }
    for (const auto& [key, optional] : cat.optionalData) {
        if (cat.records.count(key)) continue;
        ReferenceCheck check{cat, key, {}, {}, 0};
        std::size_t at = 0;
        if (!checkList(check, optional.items, at)) {
            if (auto ow = optionalWhere.find(key); ow != optionalWhere.end())
                report(ow->second, at, check.problem + "; its optional data is left out");
            dropOptional.push_back(key);
        }
    }
    for (const RecordKey& k : dropRecords) cat.records.erase(k);
    for (const RecordKey& k : dropOptional) cat.optionalData.erase(k);

    // The beam sample's size rules read the fields of record 7008.
    const RecordKey beamKey{kCatalogueProtocolVersion, kCatalogueRecordVersion,
                            static_cast<std::int32_t>(cat.beamSampleLayout.recordType)};
    if (auto r = cat.records.find(beamKey); r != cat.records.end() && !cat.beamSampleLayout.items.empty()) {
        ReferenceCheck check{cat, beamKey, {}, {}, 0};
        check.items(r->second.items);
        for (std::size_t i = 0; i < cat.beamSampleLayout.items.size(); ++i) {
            const auto& item = cat.beamSampleLayout.items[i];
            if (item.format != "u" && item.format != "i")
                report(beamSampleWhere, i, "a beam sample item is \"u\" or \"i\"");
            else if (!check.sizeRule(item.sizeRule, [&item] { return "\"" + item.name + "\""; }))
                report(beamSampleWhere, i, check.problem);
        }
    }

    // Commands: a "repeat" parameter needs a block under the command's identifier.
    std::vector<CommandKey> dropCommands;
    for (const auto& [key, c] : commands) {
        for (std::size_t i = 0; i < c.parameters.size(); ++i) {
            if (c.parameters[i].item.format != "repeat") continue;
            const CommandRepeatKey rk{c.parameters[i].item.number, c.recordVersion, c.identifier, c.protocolVersion};
            if (!commandRepeats.count(rk)) {
                report(commandWhere[key], i,
                       "\"" + c.parameters[i].item.name + "\" repeats a block that command " + c.identifier +
                           " does not have; the command is left out");
                dropCommands.push_back(key);
                break;
            }
        }
    }
    for (const auto& k : dropCommands) commands.erase(k);
}

std::string userLayoutDirectory() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.config";
    else return {};
    return base + "/Nerith/Tarvik/layouts";
}

LoadedDefinitions loadLayouts(const std::string& extraDirectory, bool withUserDirectory) {
    LayoutLoader loader;
    loader.addBuiltIn();
    if (withUserDirectory) {
        const std::string user = userLayoutDirectory();
        if (!user.empty()) loader.addDirectory(user);
    }
    if (!extraDirectory.empty()) loader.addDirectory(extraDirectory, true);
    return loader.finish();
}

LoadedDefinitions loadLayoutsForLookups(const std::string& extraDirectory, bool withUserDirectory,
                                        CommandDefinitions commands) {
    // With a user file to load, the built-in descriptions it may replace are
    // unpacked as before: the two kinds do not mix in one catalogue.
    const std::string user = withUserDirectory ? userLayoutDirectory() : std::string();
    if (extraDirectory.empty() && (user.empty() || layoutFilesIn(user).empty())) {
        LayoutLoader loader;
        if (loader.addBuiltInForLookups(commands == CommandDefinitions::Read)) return loader.finish();
    }
    return loadLayouts(extraDirectory, withUserDirectory);
}

std::vector<LayoutProblem> checkLayoutFiles(const std::vector<std::string>& paths) {
    std::vector<LayoutProblem> problems;
    for (const std::string& path : paths) {
        LayoutLoader loader;
        loader.addBuiltIn();
        loader.addFile(path);
        // Every problem counts, also one found in a built-in definition that the
        // file broke (replacing a record whose optional data names its fields).
        for (auto& p : loader.finish().problems) problems.push_back(std::move(p));
    }
    return problems;
}

} // namespace tarvik
