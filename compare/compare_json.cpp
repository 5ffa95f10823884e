#include "compare/compare.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace tarvik::compare {

using nlohmann::ordered_json;

namespace {

ordered_json number(const std::optional<double>& d) {
    if (!d || !std::isfinite(*d)) return nullptr;
    return *d;
}

ordered_json row(const std::optional<std::uint64_t>& r) { return r ? ordered_json(*r) : ordered_json(nullptr); }

} // namespace

std::string compareResultJson(const CompareResult& result, const std::string& a, const std::string& b,
                              const std::vector<Finding>& findings, bool truncated, int indent) {
    ordered_json j;
    j["a"] = {{"path", a}, {"records", result.recordsA}, {"notes", result.notesA}};
    j["b"] = {{"path", b}, {"records", result.recordsB}, {"notes", result.notesB}};
    j["equal"] = result.equal();
    ordered_json types = ordered_json::array();
    for (const auto& [type, t] : result.types)
        types.push_back({{"type", type},
                         {"pairs", t.pairs},
                         {"equal", t.equal},
                         {"differing", t.differing},
                         {"only_in_a", t.onlyInA},
                         {"only_in_b", t.onlyInB}});
    j["types"] = std::move(types);
    ordered_json fields = ordered_json::array();
    for (const auto& [name, f] : result.fields)
        fields.push_back({{"field", name}, {"pairs", f.pairs}, {"values", f.values}, {"largest_difference", number(f.largest)}});
    j["fields"] = std::move(fields);
    j["findings_total"] = result.findings;
    j["findings_truncated"] = truncated;
    ordered_json list = ordered_json::array();
    for (const Finding& f : findings) {
        ordered_json e;
        e["kind"] = kindName(f.kind);
        e["row_a"] = row(f.rowA);
        e["row_b"] = row(f.rowB);
        e["type"] = f.stream.type;
        e["device"] = f.stream.device;
        e["enumerator"] = f.stream.enumerator;
        e["paired_by"] = f.pairedBy;
        if (f.kind == Finding::Kind::Differs) {
            e["field"] = f.field;
            e["element"] = f.element;
            e["value_a"] = f.valueA;
            e["value_b"] = f.valueB;
            e["difference"] = number(f.difference);
            if (f.elementsDiffering > 0) {
                e["values_differing"] = f.elementsDiffering;
                e["values_compared"] = f.elementsCompared;
            }
        }
        list.push_back(std::move(e));
    }
    j["findings"] = std::move(list);
    return j.dump(indent, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

} // namespace tarvik::compare
