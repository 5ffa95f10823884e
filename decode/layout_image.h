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

} // namespace tarvik
