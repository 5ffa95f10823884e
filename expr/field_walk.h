#pragma once
// The walk that gathers a record's values of the fields an expression names,
// shared by the filter (a yes or no per record) and value expressions (the
// values of columns and plots). Internal to expr/.

#include "core/bytes.h"
#include "decode/layout.h"
#include "expr/expression.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvik::expr {

class FieldWalk {
public:
    // `catalogue` and `expression` must outlive the walk. With `keepShown`,
    // each value read is also kept as the report shows it (shown()): that
    // costs a formatting per value, so only a walk for texts asks for it.
    FieldWalk(const LayoutCatalogue& catalogue, const Expression& expression, bool keepShown = false);
    ~FieldWalk();
    FieldWalk(const FieldWalk&) = delete;
    FieldWalk& operator=(const FieldWalk&) = delete;

    // Walks `frame` (a frame with a header) as far as the expression's fields
    // of its type. False when the walk ended (damaged, cut short) before it
    // reached a named field that every record of the type holds once.
    bool walk(ByteSpan frame);
    // Whether the walks from now on keep the report's texts (shown()).
    void keepShown(bool keep);
    // True when the expression names a layout field of `recordType`.
    bool namesFieldsOf(std::uint32_t recordType);

    // What the last walk gathered (by slot); valid until the next walk.
    const FieldValues& values() const;
    // The report's texts of the values, by slot (empty without keepShown).
    const std::vector<std::vector<std::string>>& shown() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace tarvik::expr
