#include "python/shared.h"

#include "core/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <optional>

namespace py = pybind11;

namespace tarvik::python {

namespace {

py::object errorType(const char* name) { return py::module_::import("tarvik._errors").attr(name); }

// What the cache compares of a layout source: what stat says of the path and,
// for a folder, of each layout file the loader would read in it. A file
// written again has a new modification time (and mostly a new size); a file
// added, removed or renamed changes the folder's listing.
void appendFingerprint(const std::string& path, bool folder, std::string& out) {
    out += path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        out += "\n-\n";
        return;
    }
    out += strprintf("\n%llu %llu %o %lld %lld.%09ld %lld.%09ld\n", static_cast<unsigned long long>(st.st_dev),
                     static_cast<unsigned long long>(st.st_ino), static_cast<unsigned>(st.st_mode),
                     static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
                     static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec);
    if (!folder || !S_ISDIR(st.st_mode)) return;
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(path, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        const std::string ext = it->path().extension().string();
        if (ext == ".yaml" || ext == ".yml") files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) appendFingerprint(f, false, out);
}

// Loaded definitions, kept per list of paths while none of their files
// changes: opening many files or checking them one by one loads the layouts
// once. A few lists are kept; the oldest goes first.
class DefinitionsCache {
public:
    std::shared_ptr<const Definitions> find(const std::string& key) {
        std::lock_guard lock(mutex_);
        for (auto& [k, d] : entries_)
            if (k == key) return d;
        return nullptr;
    }
    void add(std::string key, std::shared_ptr<const Definitions> d) {
        std::lock_guard lock(mutex_);
        for (auto& [k, old] : entries_)
            if (k == key) {
                old = std::move(d);
                return;
            }
        if (entries_.size() == kEntries) entries_.erase(entries_.begin());
        entries_.emplace_back(std::move(key), std::move(d));
    }

private:
    static constexpr std::size_t kEntries = 8;
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::shared_ptr<const Definitions>>> entries_;
};

DefinitionsCache& definitionsCache() {
    static auto* cache = new DefinitionsCache;  // never destroyed: the interpreter may outlive static destructors
    return *cache;
}

} // namespace

std::string fsPath(const py::handle& path) {
    // fsencode: the bytes the file system names (a str that came from a name
    // that is not UTF-8 holds it as surrogate escapes; UTF-8 would refuse them).
    return py::bytes(py::module_::import("os").attr("fsencode")(path));
}

py::object pathObject(const std::string& path) {
    return py::module_::import("os").attr("fsdecode")(py::bytes(path));
}

py::str shownText(std::string_view text) {
    PyObject* s = PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "backslashreplace");
    if (!s) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
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
        const std::string user = userLayoutDirectory();
        std::string key;
        appendFingerprint(user, true, key);
        for (const std::string& p : paths) appendFingerprint(p, true, key);
        if (std::shared_ptr<const Definitions> cached = definitionsCache().find(key)) return cached;
        LayoutLoader loader;
        loader.addBuiltIn();
        loader.addDirectory(user);
        for (const std::string& p : paths) {
            struct stat st {};
            if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) loader.addDirectory(p, true);
            else loader.addFile(p);
        }
        d->loaded = loader.finish();
        if (d->loaded.problems.empty()) {
            d->commands = remote::remoteCommandCatalogue(d->loaded);
            definitionsCache().add(std::move(key), d);
        }
    }
    if (!d->loaded.problems.empty()) {
        // Every problem, one a line, as the window shows them; the first names the file and line.
        std::string message;
        for (const LayoutProblem& p : d->loaded.problems) message += (message.empty() ? "" : "\n") + p.message();
        const LayoutProblem& first = d->loaded.problems.front();
        const py::object type = errorType("LayoutError");
        const py::object e = type(shownText(message), pathObject(first.file), first.line);
        PyErr_SetObject(type.ptr(), e.ptr());
        throw py::error_already_set();
    }
    return d;
}

OpenedSource openSource(const std::string& path, bool readPastDamage) {
    std::optional<Result<OpenedSource>> opened;
    {
        py::gil_scoped_release release;
        SourceOptions options;
        options.readPastDamage = readPastDamage;
        opened.emplace(tarvik::openSource(path, options));
    }
    // A live address has no records to read here.
    if (!*opened || !(*opened)->source) {
        PyErr_SetObject(errorType("RecordFileError").ptr(),
                        shownText(*opened ? path + " is a live address: tarvik.open reads record files and captures"
                                          : opened->error())
                            .ptr());
        throw py::error_already_set();
    }
    return std::move(**opened);
}

} // namespace tarvik::python
