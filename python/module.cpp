// The C++ half of the tarvik Python module: record files and captures opened
// with the same readers, layouts and checks tarvik-cli uses. The pure Python
// package (tarvik/__init__.py) wraps it; nothing here parses bytes itself.

#include "decode/file_check.h"
#include "decode/layout_loader.h"
#include "decode/record_json.h"
#include "export/record_sources.h"
#include "remote/definitions.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;

namespace tarvik::python {

namespace {

// The Python exceptions, made in the module's init.
py::object recordFileError, layoutError;

[[noreturn]] void raise(const py::object& type, const std::string& message) {
    PyErr_SetString(type.ptr(), message.c_str());
    throw py::error_already_set();
}

// Layout definitions: the built-in files, the user's folder, then the paths
// the caller named (files or folders), as tarvik-cli --layouts adds a folder.
struct Definitions {
    LoadedDefinitions loaded;
    remote::RemoteCommandCatalogue commands;
};

std::shared_ptr<const Definitions> loadDefinitions(const std::vector<std::string>& paths) {
    LayoutLoader loader;
    loader.addBuiltIn();
    loader.addDirectory(userLayoutDirectory());
    for (const std::string& p : paths) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) loader.addDirectory(p, true);
        else loader.addFile(p);
    }
    auto d = std::make_shared<Definitions>();
    d->loaded = loader.finish();
    if (!d->loaded.problems.empty()) {
        // Every problem, one a line, as the window's message; the first names the file and line.
        std::string text;
        for (const LayoutProblem& p : d->loaded.problems) text += (text.empty() ? "" : "\n") + p.message();
        const LayoutProblem& first = d->loaded.problems.front();
        py::object e = layoutError(text, first.file, first.line);
        PyErr_SetObject(layoutError.ptr(), e.ptr());
        throw py::error_already_set();
    }
    d->commands = remote::remoteCommandCatalogue(d->loaded);
    return d;
}

std::vector<std::string> layoutPaths(const py::object& layouts) {
    std::vector<std::string> paths;
    if (layouts.is_none()) return paths;
    if (py::isinstance<py::str>(layouts) || py::hasattr(layouts, "__fspath__")) {
        paths.push_back(py::str(py::module_::import("os").attr("fspath")(layouts)));
        return paths;
    }
    for (const py::handle& h : layouts) paths.push_back(py::str(py::module_::import("os").attr("fspath")(h)));
    return paths;
}

std::string fsPath(const py::object& path) { return py::str(py::module_::import("os").attr("fspath")(path)); }

// Nanoseconds since 1970 (UTC) of a time stamp; nullopt when it has no date.
std::optional<std::int64_t> epochNanoseconds(const VxTIME& t) {
    if (t.year == 0 || t.day < 1 || t.day > (isLeapYear(t.year) ? 366 : 365) || t.hours > 23 || t.minutes > 59 ||
        !std::isfinite(t.seconds) || t.seconds < 0 || t.seconds >= 61)
        return std::nullopt;
    // Days from 1970-01-01 to 1 January of the year.
    const std::int64_t y = t.year - 1;
    const std::int64_t days = 365 * (y - 1969) + (y / 4 - 1969 / 4) - (y / 100 - 1969 / 100) + (y / 400 - 1969 / 400);
    const std::int64_t seconds = (days + t.day - 1) * 86400 + t.hours * 3600 + t.minutes * 60;
    return seconds * 1'000'000'000 + std::llround(double(t.seconds) * 1e9);
}
constexpr std::int64_t kNaT = std::numeric_limits<std::int64_t>::min();

// One row of the index as numpy sees it (packed, little-endian).
#pragma pack(push, 1)
struct IndexRow {
    std::uint16_t type;
    std::uint32_t size;
    std::uint16_t device;
    std::uint16_t enumerator;
    std::int64_t time;
    std::uint32_t counter;
    std::uint64_t offset;
};
#pragma pack(pop)

py::dtype indexDtype() {
    py::list fields;
    fields.append(py::make_tuple("type", "<u2"));
    fields.append(py::make_tuple("size", "<u4"));
    fields.append(py::make_tuple("device", "<u2"));
    fields.append(py::make_tuple("enumerator", "<u2"));
    fields.append(py::make_tuple("time", "<M8[ns]"));
    fields.append(py::make_tuple("record_counter", "<u4"));
    fields.append(py::make_tuple("offset", "<u8"));
    return py::dtype::from_args(fields);
}

class File {
public:
    File(const py::object& path, const py::object& layouts, bool readPastDamage) {
        const std::string p = fsPath(path);
        definitions_ = loadDefinitions(layoutPaths(layouts));
        OpenedSource opened;
        {
            py::gil_scoped_release release;
            opened = openRecordSource(p, {}, readPastDamage);
        }
        if (!opened.source) raise(recordFileError, opened.error);
        source_ = std::move(opened.source);
        warnings_ = std::move(opened.warnings);
        path_ = p;
    }

    std::size_t size() const { return source_->index().size(); }
    const std::string& path() const { return path_; }
    const std::vector<std::string>& warnings() const { return warnings_; }

    py::array index() const {
        const RecordIndex& index = source_->index();
        py::array out(indexDtype(), {static_cast<py::ssize_t>(index.size())}, {});
        auto* rows = static_cast<IndexRow*>(out.mutable_data());
        for (std::size_t i = 0; i < index.size(); ++i) {
            const RecordIndexEntry& e = index[i];
            IndexRow& r = rows[i];
            r.type = e.recordType();
            r.size = e.size();
            r.device = e.deviceId();
            r.enumerator = e.systemEnumerator();
            r.time = epochNanoseconds(e.time()).value_or(kNaT);
            r.counter = e.recordCounter();
            r.offset = e.offset();
        }
        return out;
    }

private:
    std::string path_;
    std::shared_ptr<const Definitions> definitions_;
    std::shared_ptr<IndexedRecordSource> source_;
    std::vector<std::string> warnings_;
};

py::object check(const py::object& path, const py::object& layouts, bool walkLayouts) {
    const std::string p = fsPath(path);
    std::shared_ptr<const Definitions> d = walkLayouts ? loadDefinitions(layoutPaths(layouts)) : nullptr;
    std::string json;
    {
        py::gil_scoped_release release;
        static const LayoutCatalogue kNoLayouts;
        static const remote::RemoteCommandCatalogue kNoCommands;
        FileCheckOptions options;
        options.walkLayouts = walkLayouts;
        const FileChecker checker(d ? d->loaded.catalogue : kNoLayouts, d ? static_cast<const RemoteCommandDefinitions&>(d->commands) : kNoCommands, options);
        json = checkResultJson(checkRecordSource(checker, p), -1);
    }
    return py::module_::import("json").attr("loads")(json);
}

} // namespace

void registerAuditSupport(py::module_& m);  // audit_support.cpp

} // namespace tarvik::python

PYBIND11_MODULE(_tarvik, m) {
    using namespace tarvik::python;
    m.doc() = "The C++ half of the tarvik package (use the tarvik package, not this module).";
    py::module_ errors = py::module_::import("tarvik._errors");
    recordFileError = errors.attr("RecordFileError");
    layoutError = errors.attr("LayoutError");

    py::class_<File>(m, "File")
        .def(py::init<const py::object&, const py::object&, bool>(), py::arg("path"), py::arg("layouts") = py::none(),
             py::arg("read_past_damage") = false)
        .def("__len__", &File::size)
        .def_property_readonly("path", &File::path)
        .def_property_readonly("warnings", &File::warnings)
        .def_property_readonly("index", &File::index);
    m.def("check", &check, py::arg("path"), py::arg("layouts") = py::none(), py::arg("walk_layouts") = true);
    registerAuditSupport(m);
}
