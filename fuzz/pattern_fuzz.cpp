// Fuzz target: any bytes as a `matches` pattern and a text (split at the first
// zero byte); what compiles is searched in the text and in its halves, so that
// every machine the compiler lets through meets texts of every length.

#include "expr/pattern.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view pattern = input.substr(0, split);
    const std::string_view text = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    const auto compiled = tarvik::expr::Pattern::compile(pattern);
    if (!compiled) return 0;
    if (compiled->steps() > tarvik::expr::Pattern::kMaxSteps + 1) __builtin_trap();
    (void)compiled->search(text);
    (void)compiled->search(text.substr(0, text.size() / 2));
    (void)compiled->search(text.substr(text.size() / 2));
    return 0;
}
