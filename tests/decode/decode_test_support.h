#pragma once
// Helpers shared by the decoding tests.

#include "core/frame.h"
#include "decode/catalogue/catalogue.h"
#include "decode/layout_loader.h"
#include "decode/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tarvik::testing {

inline bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline std::ptrdiff_t lineIndex(const std::vector<std::string>& lines, const std::string& line) {
    auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : it - lines.begin();
}

// The built-in definitions with those of `text` (a layout file's) on top;
// every problem of the text fails the test.
inline LayoutCatalogue catalogueWith(const std::string& text) {
    LayoutLoader loader;
    loader.addBuiltIn();
    loader.addText("user.yaml", text);
    LoadedDefinitions loaded = loader.finish();
    EXPECT_TRUE(loaded.problems.empty()) << (loaded.problems.empty() ? "" : loaded.problems.front().message());
    return std::move(loaded.catalogue);
}

// Reports records with a given catalogue and no remote-command definitions.
class Reporter {
public:
    explicit Reporter(LayoutCatalogue catalogue) : catalogue_(std::move(catalogue)), reporter_(catalogue_, none_) {}
    Report operator()(const Bytes& frame, std::uint32_t number = 0) { return reporter_.report(frame, number); }
    Report quiet(const Bytes& frame) { return reporter_.walkOutcome(frame); }
    const LayoutCatalogue& catalogue() const { return catalogue_; }

private:
    LayoutCatalogue catalogue_;
    NoRemoteCommandDefinitions none_;
    RecordReporter reporter_;
};

} // namespace tarvik::testing
