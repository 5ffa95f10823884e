#pragma once
// What the module's two halves share (module.cpp: files, records, tables;
// audit_support.cpp: the archive audit's tasks): paths from Python arguments,
// layout definitions and opened record sources.

#include "decode/layout_loader.h"
#include "sources/open_source.h"
#include "remote/definitions.h"

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::python {

// A path argument (str, bytes or path-like) as the file system's name.
std::string fsPath(const pybind11::handle& path);
// A file system name as Python names it (os.fsdecode).
pybind11::object pathObject(const std::string& path);
// A message that may name a path: bytes that are not UTF-8 shown as \xNN, so
// that the message prints anywhere and still tells the name apart.
pybind11::str shownText(std::string_view text);
// A `layouts` argument: None (no paths), one path, or an iterable of paths.
std::vector<std::string> layoutPaths(const pybind11::object& layouts);

struct Definitions {
    LoadedDefinitions loaded;
    remote::RemoteCommandCatalogue commands;
};
// The built-in layouts, the user's folder, then `paths` (files or folders, a
// folder added as tarvik-cli --layouts adds one). Raises tarvik.LayoutError
// listing every problem, one a line; its file and line name the first.
// Loaded definitions are kept while none of their files changes (a changed,
// added or removed layout file is seen); faulty ones are never kept.
std::shared_ptr<const Definitions> loadDefinitions(const std::vector<std::string>& paths);

// A record file or capture opened and indexed (without holding the GIL);
// raises tarvik.RecordFileError when nothing can be read.
OpenedSource openSource(const std::string& path, bool readPastDamage);

} // namespace tarvik::python
