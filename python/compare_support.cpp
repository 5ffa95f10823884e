// tarvik.diff: two recordings compared by the library tarvik-cli diff uses,
// handed to Python as the document `diff --json` writes (with every finding),
// which the package turns into DataFrames.

#include "compare/compare.h"
#include "expr/predicate.h"
#include "python/shared.h"

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace py = pybind11;

namespace tarvik::python {

namespace {

// Findings handed to Python at most (all are counted): a bound on the memory
// of a comparison of two very different recordings.
constexpr std::size_t kFindingsKept = 1'000'000;

py::object errorType(const char* name) { return py::module_::import("tarvik._errors").attr(name); }

// `tolerance`: None, "NAME=AMOUNT", an iterable of such texts, or a dict
// {NAME: AMOUNT or "PERCENT%"}. `ignore`: None (the defaults), a comma-separated
// text or an iterable of names.
compare::CompareOptions optionsFrom(const py::object& tolerance, const py::object& ignore, const py::object& where,
                                    std::size_t window, double timeTolerance, const LayoutCatalogue& catalogue) {
    compare::CompareOptions options;
    options.window = window;
    options.timeTolerance = timeTolerance;
    options.detailLimit = 0;
    std::vector<std::string> tolerances;
    if (py::isinstance<py::str>(tolerance)) {
        tolerances.push_back(tolerance.cast<std::string>());
    } else if (py::isinstance<py::dict>(tolerance)) {
        for (const auto& [k, v] : tolerance.cast<py::dict>())
            tolerances.push_back(py::str(k).cast<std::string>() + "=" + py::str(v).cast<std::string>());
    } else if (!tolerance.is_none()) {
        for (const py::handle& h : tolerance) tolerances.push_back(py::str(h).cast<std::string>());
    }
    for (const std::string& t : tolerances)
        if (const Result<void> added = compare::addTolerance(t, catalogue, options); !added)
            throw py::value_error("tolerance: " + added.error());
    if (!ignore.is_none()) {
        std::string names;
        if (py::isinstance<py::str>(ignore)) names = ignore.cast<std::string>();
        else
            for (const py::handle& h : ignore) names += py::str(h).cast<std::string>() + ",";
        Result<std::vector<std::string>> resolved = compare::ignoredNames(names, catalogue);
        if (!resolved) throw py::value_error("ignore: " + resolved.error());
        options.ignored = std::move(*resolved);
    }
    if (!where.is_none()) {
        Result<RecordFilter> filter = expr::compileFilter(where.cast<std::string>(), catalogue);
        if (!filter) throw py::value_error(filter.error());
        options.filter = std::move(*filter);
    }
    return options;
}

py::object diff(const py::object& a, const py::object& b, const py::object& tolerance, const py::object& ignore,
                const py::object& where, std::size_t window, double timeTolerance, const py::object& layouts) {
    const std::string pa = fsPath(a), pb = fsPath(b);
    if (window == 0) throw py::value_error("window: at least 1 record");
    if (!(timeTolerance >= 0)) throw py::value_error("time_tolerance: at least 0 seconds");
    const std::shared_ptr<const Definitions> d = loadDefinitions(layoutPaths(layouts));
    const compare::CompareOptions options =
        optionsFrom(tolerance, ignore, where, window, timeTolerance, d->loaded.catalogue);
    std::vector<compare::Finding> all;
    bool truncated = false;
    std::string json;
    std::string failed;
    {
        py::gil_scoped_release release;
        compare::CompareObserver observer;
        observer.finding = [&](const compare::Finding& f) {
            if (all.size() < kFindingsKept) all.push_back(f);
            else truncated = true;
        };
        Result<compare::CompareResult> r = compare::compareFiles(pa, pb, d->loaded.catalogue, options, observer);
        if (r) json = compare::compareResultJson(*r, pa, pb, all, truncated, -1);
        else failed = r.error();
    }
    if (!failed.empty()) {
        PyErr_SetObject(errorType("RecordFileError").ptr(), shownText(failed).ptr());
        throw py::error_already_set();
    }
    return py::module_::import("json").attr("loads")(json);
}

} // namespace

void registerCompareSupport(py::module_& m) {
    m.def("_diff", &diff, py::arg("a"), py::arg("b"), py::arg("tolerance") = py::none(), py::arg("ignore") = py::none(),
          py::arg("where") = py::none(), py::arg("window") = 10000, py::arg("time_tolerance") = 0.001,
          py::arg("layouts") = py::none());
    py::list defaults;
    for (const std::string& n : compare::CompareOptions::defaultIgnored()) defaults.append(n);
    m.attr("_DEFAULT_IGNORED") = py::tuple(defaults);
}

} // namespace tarvik::python
