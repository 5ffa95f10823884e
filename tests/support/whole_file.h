#pragma once
// A whole file read into memory, for tests that compare what a program wrote.

#include "core/bytes.h"

#include <fstream>
#include <iterator>
#include <string>

namespace tarvik::testing {

// The bytes of the file as text (empty when it cannot be read).
inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The same, as bytes.
inline Bytes slurpBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

} // namespace tarvik::testing
