#pragma once
// Budgets for YAML files users hand us (layout definitions, test profiles):
// what a text may nest and what it may come to once its aliases are expanded,
// measured before the tree is built, so that a short file cannot make the
// parser or the loader hold gigabytes.

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/mark.h>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Scans the text for nesting deeper than `maxNesting` before the parser sees
// it: flow brackets outside quotes and comments, and block indentation (four
// blanks a level). True when too deep; `line` is where it got too deep.
bool yamlTooDeep(std::string_view text, int maxNesting, int& line);

// The size of a YAML text as parsed and as its aliases expand, counted from
// the parser's events without building the tree: an anchored node's expanded
// size is remembered when it ends, and each alias adds it again. Throws
// TooLarge (with the line and the reason) as soon as a limit is passed.
class ExpandedSize : public YAML::EventHandler {
public:
    struct Limits {
        std::size_t parsedNodes;
        std::size_t expandedNodes;
        std::size_t expandedBytes;
    };
    struct TooLarge {
        int line;
        std::string text;
    };
    explicit ExpandedSize(Limits limits) : limits_(limits) {}

    std::size_t expandedBytes() const { return bytes_; }

    void OnDocumentStart(const YAML::Mark&) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark& mark, YAML::anchor_t anchor) override { leaf(mark, anchor, 1, 0); }
    void OnAlias(const YAML::Mark& mark, YAML::anchor_t anchor) override;
    void OnScalar(const YAML::Mark& mark, const std::string&, YAML::anchor_t anchor, const std::string& value) override {
        leaf(mark, anchor, 1, value.size());
    }
    void OnSequenceStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t anchor,
                         YAML::EmitterStyle::value) override {
        open(mark, anchor);
    }
    void OnSequenceEnd() override { close(); }
    void OnMapStart(const YAML::Mark& mark, const std::string&, YAML::anchor_t anchor,
                    YAML::EmitterStyle::value) override {
        open(mark, anchor);
    }
    void OnMapEnd() override { close(); }

private:
    struct Open {
        YAML::anchor_t anchor;
        std::size_t nodes, bytes;
    };
    void add(const YAML::Mark& mark, std::size_t nodes, std::size_t bytes);
    void leaf(const YAML::Mark& mark, YAML::anchor_t anchor, std::size_t nodes, std::size_t bytes);
    void open(const YAML::Mark& mark, YAML::anchor_t anchor);
    void close();

    Limits limits_;
    std::size_t parsed_ = 0, nodes_ = 0, bytes_ = 0;
    std::vector<Open> open_;
    std::map<YAML::anchor_t, std::pair<std::size_t, std::size_t>> anchors_;
};

} // namespace tarvik
