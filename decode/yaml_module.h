#pragma once
// The YAML reader module: the reading of layout definition files and test
// profiles, the only code that links the YAML library. The built-in layouts
// come compiled, so most runs parse no YAML at all; a program opens the module
// when its first YAML text must be read, from PROGRAM_DIR/../lib/tarvik/ or
// the path in TARVIK_YAML_MODULE. Programs that always parse YAML (the build's
// layout compiler, the Python module) link the readers instead, and never
// open the module.

#include "core/result.h"

namespace tarvik {

inline constexpr const char* kYamlModuleName = "libtarvik-yaml.so";

// The address of the module's function `symbol`, the module opened on the
// first call (thread-safe) and kept for the life of the process; or why it
// cannot be had, naming the module and the Debian package of the YAML library.
Result<void*> yamlModuleSymbol(const char* symbol);

// Whether opening the module was tried and failed (it does not try).
bool yamlModuleMissing();

} // namespace tarvik
