// tarvik.expect: a test profile judged over a record file or capture, by the
// same checker as tarvik-cli expect, its verdicts as the JSON document the
// CLI writes with --json.

#include "profiles/run.h"
#include "python/shared.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

namespace py = pybind11;

namespace tarvik::python {

namespace {

// (document, None) on success; (None, (kind, reason)) when the profile
// ("profile") or the source ("source") could not be used.
py::tuple expect(const py::object& path, const std::string& profilePath, const py::object& layouts) {
    const std::string p = py::str(py::module_::import("os").attr("fsdecode")(path));
    std::shared_ptr<const Definitions> d = loadDefinitions(layoutPaths(layouts));
    std::string json, problem, kind;
    {
        py::gil_scoped_release release;
        Result<profiles::Profile> profile =
            profiles::loadProfile(profiles::resolveProfile(profilePath), d->loaded.catalogue);
        if (!profile) {
            kind = "profile";
            problem = profile.error();
        } else {
            const FileChecker checker(d->loaded.catalogue, d->commands, {});
            Result<profiles::SourceVerdict> v = profiles::judgeFile(*profile, checker, p);
            if (!v) {
                kind = "source";
                problem = v.error();
            } else {
                json = profiles::verdictJson(*profile, {*v}, -1);
            }
        }
    }
    if (!kind.empty()) return py::make_tuple(py::none(), py::make_tuple(kind, problem));
    return py::make_tuple(py::module_::import("json").attr("loads")(json), py::none());
}

} // namespace

void registerProfileBindings(py::module_& m) {
    // Loads a profile to see that it loads (tarvik.ProfileError when it does not).
    m.def("_load_profile", [](const std::string& path, const py::object& layouts) {
        std::shared_ptr<const Definitions> d = loadDefinitions(layoutPaths(layouts));
        Result<profiles::Profile> p = profiles::loadProfile(profiles::resolveProfile(path), d->loaded.catalogue);
        if (!p) {
            const py::object error = py::module_::import("tarvik._errors").attr("ProfileError");
            PyErr_SetString(error.ptr(), p.error().c_str());
            throw py::error_already_set();
        }
        return static_cast<std::size_t>(p->rules.size());
    }, py::arg("path"), py::arg("layouts") = py::none());
    m.def("_expect", &expect, py::arg("path"), py::arg("profile"), py::arg("layouts") = py::none());
    m.def("_builtin_profiles", [] { return profiles::builtInProfiles(); });
}

} // namespace tarvik::python
