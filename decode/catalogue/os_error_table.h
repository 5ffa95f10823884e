#pragma once
// The operating system's error message texts, embedded at build time from
// data/windows-error-texts.tsv (see decode/catalogue/embed_error_texts.cmake).

#include <cstddef>
#include <cstdint>

namespace tarvik {

struct OsErrorText {
    std::int32_t number;
    const char* text;
};

// In ascending order of the error numbers.
extern const OsErrorText kOsErrorTexts[];
extern const std::size_t kOsErrorTextCount;

} // namespace tarvik
