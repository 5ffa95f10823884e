#pragma once
// What a layout loader holds between files, and a compact binary image of it.
//
// The build loads the built-in definition files once, with the loader and its
// budgets (a broken built-in file fails the build), and keeps what the loader
// then holds as an image embedded in the program. At start the image is read
// back into a loader without parsing any YAML; the user's files load on top
// of it exactly as they would on top of the parsed files.

#include "decode/layout_loader.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace tarvik {

// What the files one loader reads may add in all, however many there are
// (the built-in files, the user's folder and a --layouts folder).
inline constexpr std::size_t kMaxExpandedBytesInAll = std::size_t{64} << 20;
inline constexpr std::size_t kMaxEnumerationBytesInAll = std::size_t{128} << 20;

// Where a definition was given, for the problems found once every file is in.
struct LayoutWhere {
    std::string file;
    int line = 0;
    std::vector<int> itemLines;
    friend bool operator==(const LayoutWhere&, const LayoutWhere&) = default;
};

using CommandKey = std::tuple<std::string, std::int32_t, std::int32_t>;  // identifier, version, protocol
using CommandRepeatKey = std::tuple<std::int32_t, std::int32_t, std::string, std::int32_t>;  // index, version, id, protocol

// Everything a loader keeps from one file to the next.
struct LoaderDefinitions {
    LoadedDefinitions out;
    std::map<std::string, Enumeration> enumerations;  // shared, by name, across files
    std::map<RecordKey, LayoutWhere> recordWhere, optionalWhere;
    std::map<BlockKey, LayoutWhere> repeatWhere, vectorWhere, varStringWhere;
    LayoutWhere beamSampleWhere;
    std::map<CommandKey, CommandDefinition> commands;
    std::map<CommandKey, LayoutWhere> commandWhere;
    std::map<CommandRepeatKey, CommandRepeatDefinition> commandRepeats;
    std::map<CommandRepeatKey, LayoutWhere> commandRepeatWhere;
    // What the files loaded so far may still add, in all.
    std::size_t expandedBytesLeftInAll = kMaxExpandedBytesInAll;
    std::size_t enumerationBytesLeftInAll = kMaxEnumerationBytesInAll;

    friend bool operator==(const LoaderDefinitions&, const LoaderDefinitions&) = default;
};

// The image of `definitions`.
std::string writeLayoutImage(const LoaderDefinitions& definitions);
// Reads an image back; false (and `into` unspecified) when it is not a
// whole image of this program's kind.
bool readLayoutImage(std::string_view image, LoaderDefinitions& into);
// The same in two steps. The front holds everything a loader hands over when
// it reads no further text (the catalogue, the commands, the budgets left);
// `after` is left on the rest (the shared enumerations by name, and where
// each definition was given), which only the loading of further texts needs.
// Reading the rest is put off until then: most runs never read it.
bool readLayoutImageFront(std::string_view image, LoaderDefinitions& into, std::string_view& after);
bool readLayoutImageRest(std::string_view after, LoaderDefinitions& into);

// The beam-sample layout alone, read from the front of an image (the
// sample-type tables need nothing else); false when it cannot be read.
bool readBeamSampleLayout(std::string_view image, BeamSampleLayout& into);

// The image of the built-in files, made when the program was built.
std::string_view builtInLayoutImage();

// The catalogue part of the built-in image, left in the program's read-only
// data and unpacked one description at a time, the first time it is looked
// up: a command that meets a handful of record types touches the memory of
// those alone, not of every built-in layout. Safe to use from several
// threads; what it unpacked stays until the process ends.
class BuiltInLayouts {
public:
    // The program's built-in layouts; nullptr when its image cannot be read
    // (it was checked when the program was built).
    static const BuiltInLayouts* get();
    // The index of `image`; nullptr when it is not a whole image of this
    // program's kind. `image` must outlive what this returns.
    static std::unique_ptr<const BuiltInLayouts> index(std::string_view image);
    ~BuiltInLayouts();

    // The description under `key`, or nullptr when the image has none.
    const RecordDescription* record(const RecordKey& key) const;
    const RecordDescription* optional(const RecordKey& key) const;
    const RepeatDescription* repeat(const BlockKey& key) const;
    const VectorDescription* vector(const BlockKey& key) const;
    const VarStringDescription* varString(const BlockKey& key) const;

    const BeamSampleLayout& beamSampleLayout() const { return beamSample_; }
    // Every key of the image, in order (the tests set the look-ups beside the
    // eager reading).
    std::vector<RecordKey> recordKeys() const;
    std::vector<RecordKey> optionalKeys() const;
    std::vector<BlockKey> repeatKeys() const;
    std::vector<BlockKey> vectorKeys() const;
    std::vector<BlockKey> varStringKeys() const;

    // Every description at once, unpacked the first time it is asked for (for
    // code that walks the maps: field names, expressions, record tables).
    // What it unpacked stays until the process ends.
    const LayoutCatalogue& whole() const;

    // Where the catalogue ends in the image: the rest of the front follows.
    std::size_t catalogueEnd() const { return catalogueEnd_; }

    struct Maps;

private:
    BuiltInLayouts() = default;
    std::string_view image_;
    BeamSampleLayout beamSample_;
    std::unique_ptr<Maps> maps_;
    std::size_t catalogueEnd_ = 0;
};

// The front of the built-in image with the catalogue's descriptions left in
// it: the catalogue's maps stay empty and its look-ups go to BuiltInLayouts.
// False (and `into` unspecified) when the image cannot be read so. Without
// `withCommands`, the command definitions are stepped over, not read.
bool readLayoutImageFrontForLookups(LoaderDefinitions& into, bool withCommands = true);

} // namespace tarvik
