#include "decode/yaml_budget.h"

#include "core/text.h"

namespace tarvik {

bool yamlTooDeep(std::string_view text, int maxNesting, int& line) {
    int depth = 0;
    line = 1;
    bool lineStart = true;
    int indent = 0;
    char quote = 0;
    bool comment = false;
    for (char c : text) {
        if (c == '\n') {
            ++line;
            lineStart = true;
            indent = 0;
            comment = false;
            if (quote == '\'') quote = 0;  // keep it simple: single quotes end with the line
            continue;
        }
        if (lineStart) {
            if (c == ' ') {
                if (++indent > 4 * maxNesting) return true;
                continue;
            }
            lineStart = false;
        }
        if (comment) continue;
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') quote = c;
        else if (c == '#') comment = true;
        else if (c == '[' || c == '{') {
            if (++depth > maxNesting) return true;
        } else if ((c == ']' || c == '}') && depth > 0) --depth;
    }
    return false;
}

void ExpandedSize::OnAlias(const YAML::Mark& mark, YAML::anchor_t anchor) {
    const auto it = anchors_.find(anchor);
    if (it == anchors_.end()) return leaf(mark, 0, 1, 0);
    leaf(mark, 0, it->second.first, it->second.second);
}

void ExpandedSize::add(const YAML::Mark& mark, std::size_t nodes, std::size_t bytes) {
    nodes_ += nodes;
    bytes_ += bytes;
    if (!open_.empty()) {
        open_.back().nodes += nodes;
        open_.back().bytes += bytes;
    }
    const int line = mark.is_null() ? 0 : mark.line + 1;
    if (parsed_ > limits_.parsedNodes)
        throw TooLarge{line, strprintf("the file holds more than %zu nodes", limits_.parsedNodes)};
    if (nodes_ > limits_.expandedNodes)
        throw TooLarge{line, strprintf("the file comes to more than %zu nodes once its aliases are expanded",
                                       limits_.expandedNodes)};
    if (bytes_ > limits_.expandedBytes)
        throw TooLarge{line, strprintf("the file's texts come to more than %zu MiB once its aliases are expanded",
                                       limits_.expandedBytes >> 20)};
}

void ExpandedSize::leaf(const YAML::Mark& mark, YAML::anchor_t anchor, std::size_t nodes, std::size_t bytes) {
    ++parsed_;
    add(mark, nodes, bytes);
    if (anchor) anchors_[anchor] = {nodes, bytes};
}

void ExpandedSize::open(const YAML::Mark& mark, YAML::anchor_t anchor) {
    ++parsed_;
    add(mark, 1, 0);
    open_.push_back({anchor, 1, 0});
}

void ExpandedSize::close() {
    if (open_.empty()) return;
    const Open done = open_.back();
    open_.pop_back();
    if (!open_.empty()) {
        open_.back().nodes += done.nodes - 1;  // the opening node was counted already
        open_.back().bytes += done.bytes;
    }
    if (done.anchor) anchors_[done.anchor] = {done.nodes, done.bytes};
}

} // namespace tarvik
