#pragma once
// Modules the programs open with dlopen when a command first needs them (the
// libraries they link would otherwise be mapped and relocated at every start).

#include <string>

namespace tarvik {

// Where a module of ours lies: the path in the environment variable `variable`
// when that is set (tests, a module of one's own), else beside the program:
// PROGRAM_DIR/../lib/tarvik/NAME, as the build tree and the package lay them out.
std::string moduleBesideProgram(const char* variable, const char* name);

} // namespace tarvik
