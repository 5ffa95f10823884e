#pragma once
// The programs a test runs and the source tree, as this build tree has them.
// CMake defines the paths in a small file it generates for each test program
// (tarvik_test_paths in tests/CMakeLists.txt) and adds this header to every
// source of that program. Absolute paths in the compile commands would make
// each test object differ between two checkouts, and a compiler cache shared
// by the checkouts would then rebuild every one of them.

namespace tarvik::testing::paths {
extern const char* const cli;        // tarvik-cli
extern const char* const sim;        // vxcenter-sim
extern const char* const gui;        // tarvik, the desktop program
extern const char* const sourceDir;  // the root of the source tree
} // namespace tarvik::testing::paths

#define TARVIK_CLI ::tarvik::testing::paths::cli
#define TARVIK_SIM ::tarvik::testing::paths::sim
#define VXCENTER_SIM ::tarvik::testing::paths::sim
#define TARVIK_PROGRAM ::tarvik::testing::paths::gui
#define TARVIK_SOURCE_DIR ::tarvik::testing::paths::sourceDir
