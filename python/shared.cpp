#include "python/shared.h"

#include <sys/stat.h>

namespace py = pybind11;

namespace tarvik::python {

namespace {

py::object errorType(const char* name) { return py::module_::import("tarvik._errors").attr(name); }

} // namespace

std::string fsPath(const py::handle& path) {
    // fsdecode: a bytes path is decoded as the file system names it.
    return py::str(py::module_::import("os").attr("fsdecode")(path));
}

std::vector<std::string> layoutPaths(const py::object& layouts) {
    std::vector<std::string> paths;
    if (layouts.is_none()) return paths;
    if (py::isinstance<py::str>(layouts) || py::isinstance<py::bytes>(layouts) || py::hasattr(layouts, "__fspath__"))
        paths.push_back(fsPath(layouts));
    else
        for (const py::handle& h : layouts) paths.push_back(fsPath(h));
    return paths;
}

std::shared_ptr<const Definitions> loadDefinitions(const std::vector<std::string>& paths) {
    auto d = std::make_shared<Definitions>();
    {
        py::gil_scoped_release release;
        LayoutLoader loader;
        loader.addBuiltIn();
        loader.addDirectory(userLayoutDirectory());
        for (const std::string& p : paths) {
            struct stat st {};
            if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) loader.addDirectory(p, true);
            else loader.addFile(p);
        }
        d->loaded = loader.finish();
    }
    if (!d->loaded.problems.empty()) {
        // Every problem, one a line, as the window shows them; the first names the file and line.
        std::string message;
        for (const LayoutProblem& p : d->loaded.problems) message += (message.empty() ? "" : "\n") + p.message();
        const LayoutProblem& first = d->loaded.problems.front();
        const py::object type = errorType("LayoutError");
        const py::object e = type(message, first.file, first.line);
        PyErr_SetObject(type.ptr(), e.ptr());
        throw py::error_already_set();
    }
    d->commands = remote::remoteCommandCatalogue(d->loaded);
    return d;
}

OpenedSource openSource(const std::string& path, bool readPastDamage) {
    OpenedSource opened;
    {
        py::gil_scoped_release release;
        opened = openRecordSource(path, {}, readPastDamage);
    }
    if (!opened.source) {
        PyErr_SetString(errorType("RecordFileError").ptr(), opened.error.empty() ? "cannot be read" : opened.error.c_str());
        throw py::error_already_set();
    }
    return opened;
}

} // namespace tarvik::python
