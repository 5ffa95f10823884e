#pragma once
// How often a word stands in a text (overlapping finds counted), for tests that
// read program output and logs.

#include <cstddef>
#include <string>

namespace tarvik::testing {

inline std::size_t countOccurrences(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

} // namespace tarvik::testing
