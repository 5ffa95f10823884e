#pragma once
// Loading layout definition files (YAML, described in docs/layouts.md) into the
// layout catalogue and into plain remote-command definitions.
//
// The built-in files are embedded in the program; user files are loaded after
// them. A definition whose key already exists replaces the earlier one whole; a
// new key adds to the catalogue. A faulty definition is left out with a
// problem "FILE:LINE: what is wrong"; every other definition still loads.
//
// Nothing here depends on the remote-control classes: the command definitions
// come out as plain data that the remote-control layer copies into its own
// classes.

#include "decode/layout.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// One bit range of a bit-mask command parameter. A single bit has first = last.
struct BitFieldDefinition {
    std::int32_t firstBit = 0;
    std::int32_t lastBit = 0;
    std::string description;
    Enumeration values;  // empty in every built-in entry
    friend bool operator==(const BitFieldDefinition&, const BitFieldDefinition&) = default;
};

// One command parameter: the layout item (name, format, width, enumeration,
// count field name) plus the preset and the bit fields.
struct CommandParameterDefinition {
    CRecordDataLayout item;
    double preset = 0.0;
    bool hasPreset = false;
    std::vector<BitFieldDefinition> bitFields;
    friend bool operator==(const CommandParameterDefinition&, const CommandParameterDefinition&) = default;
};

// One remote command ("1003") or record command ("P7051").
struct CommandDefinition {
    std::string identifier;
    std::string title;
    std::int32_t recordVersion = kCatalogueRecordVersion;
    std::int32_t protocolVersion = kCatalogueProtocolVersion;
    std::vector<CommandParameterDefinition> parameters;  // in wire order
    // False for a command listed with "parameters: unknown": it has
    // `parameterCount` parameters that the definitions do not describe.
    bool parametersKnown = true;
    std::int32_t parameterCount = 0;  // the number of parameters (known or not)
    friend bool operator==(const CommandDefinition&, const CommandDefinition&) = default;
};

// The items of one repetition of a command's "repeat" parameter.
struct CommandRepeatDefinition {
    std::string identifier;
    std::int32_t blockIndex = 0;
    std::int32_t protocolVersion = kCatalogueProtocolVersion;
    std::int32_t recordVersion = kCatalogueRecordVersion;
    std::string title;
    std::string countField;
    std::vector<CommandParameterDefinition> items;
    friend bool operator==(const CommandRepeatDefinition&, const CommandRepeatDefinition&) = default;
};

// A problem found in a definition file. `line` is 1-based; 0 when the problem
// concerns the whole file.
struct LayoutProblem {
    std::string file;
    int line = 0;
    std::string text;
    // "FILE:LINE: text" (or "FILE: text" for line 0).
    std::string message() const;
    friend bool operator==(const LayoutProblem&, const LayoutProblem&) = default;
};

// What one loaded file contributed, for `tarvik-cli catalogue --sources`.
struct LayoutSource {
    std::string file;                    // "built-in:NAME.yaml" or the path
    std::vector<std::string> added;      // keys such as "record 7000", "repeat 7027/0", "command 1003"
    std::vector<std::string> replaced;   // keys that replaced an earlier definition
    std::size_t problems = 0;
    friend bool operator==(const LayoutSource&, const LayoutSource&) = default;
};

// Everything the loaded files define.
struct LoadedDefinitions {
    LayoutCatalogue catalogue;
    std::vector<CommandDefinition> commands;             // in key order (identifier, version, protocol)
    std::vector<CommandRepeatDefinition> commandRepeats; // in key order
    std::vector<LayoutSource> sources;                   // in load order
    std::vector<LayoutProblem> problems;                 // in load order
    friend bool operator==(const LoadedDefinitions&, const LoadedDefinitions&) = default;
};

// One embedded built-in file.
struct EmbeddedLayoutFile {
    std::string_view name;   // "records-7000.yaml"
    std::string_view text;
};
// The built-in definition files, in load order.
const std::vector<EmbeddedLayoutFile>& builtInLayoutFiles();

struct LoaderDefinitions;

class LayoutLoader {
public:
    LayoutLoader();
    ~LayoutLoader();
    // A copy carries everything added so far, so a loader holding the shared
    // definitions can be copied instead of parsing them again.
    LayoutLoader(const LayoutLoader& other);
    LayoutLoader& operator=(const LayoutLoader&) = delete;

    // The built-in files: as the build compiled them (no parsing) when the
    // loader is fresh, else parsed from their embedded texts.
    void addBuiltIn();
    // The built-in files as the build compiled them, their catalogue
    // descriptions left in the program's image and unpacked as they are looked
    // up (LayoutCatalogue::builtIns). For a loader that is finished next, with
    // no file added: false, and nothing added, when the loader is not fresh or
    // the image cannot be read so. Without `withCommands`, the command
    // definitions are left in the image too: the definitions then hold none.
    bool addBuiltInForLookups(bool withCommands = true);
    // Built-in files parsed from their texts (the build's layout compiler,
    // and the tests that hold the compiled files to the parsed ones).
    void addBuiltInTexts(const std::vector<EmbeddedLayoutFile>& files);
    // What the loader holds, as the image addBuiltIn() reads back.
    std::string builtInImage() const;
    // What the loader holds from file to file (decode/layout_image.h).
    const LoaderDefinitions& definitions() const;
    // One file from disk; a file that cannot be read is a problem.
    void addFile(const std::string& path);
    // Every "*.yaml" / "*.yml" file of a folder, in name order. A folder that
    // does not exist adds nothing; `mustExist` makes that a problem.
    void addDirectory(const std::string& path, bool mustExist = false);
    // A definition text held in memory; `name` stands for its file in messages.
    void addText(std::string_view name, std::string_view text);

    // Resolves the references between definitions (blocks, count fields, size
    // rules), leaves out the definitions that fail, adds an empty record entry
    // for every record type that owns repeat blocks but has no layout, and
    // hands everything over. The loader is empty afterwards.
    LoadedDefinitions finish();

    // What the loader holds (decode/layout_loader_state.h, for the loader's
    // own files: the reading of texts may live in a module of its own).
    struct State;

private:
    State* state_;
};

// How many definition texts have been parsed in this process (the start-up
// tests make sure the built-in ones are not).
std::size_t layoutTextsParsed();

// The user's layout folder: $XDG_CONFIG_HOME/Nerith/Tarvik/layouts, or
// ~/.config/Nerith/Tarvik/layouts when XDG_CONFIG_HOME is not set.
std::string userLayoutDirectory();

// The built-in files, then the user's layout folder, then `extraDirectory`
// when it is not empty (it must exist).
LoadedDefinitions loadLayouts(const std::string& extraDirectory = {}, bool withUserDirectory = true);

// What loadLayouts() gives, for a program that reads the catalogue only through
// its look-ups (record(), repeat(), ...): when there is no user layout file to
// load, the built-in descriptions are unpacked one at a time as they are looked
// up, instead of all of them at start; the catalogue's maps are then empty.
enum class CommandDefinitions { Read, LeftOut };
// With CommandDefinitions::LeftOut, for a program that wants the commands only
// now and then: where the descriptions are looked up (catalogue.builtIns set),
// the definitions hold no commands, and the program that wants them loads them
// with CommandDefinitions::Read when it does.
LoadedDefinitions loadLayoutsForLookups(const std::string& extraDirectory = {}, bool withUserDirectory = true,
                                        CommandDefinitions commands = CommandDefinitions::Read);

// Checks files without keeping what they define: each file is loaded on top of
// the built-in definitions. Returns the problems found (none: all good),
// including those of built-in definitions that a file breaks.
std::vector<LayoutProblem> checkLayoutFiles(const std::vector<std::string>& paths);

} // namespace tarvik
