// The archive audit's task per file, in one call and one pass over the file:
// the whole-file check (the document tarvik-cli check --json prints) and what
// the audit needs to follow each device from one file to the next: its frames,
// bytes and time range, and the first and last ping number of every ping source. A second call digests
// the frames of a device inside a time window, to find records two files hold.
// Layout definitions are loaded once per process: a worker checks thousands of
// files, and loading them costs more than checking a file of megabytes.

#include "core/frame.h"
#include "core/vxtime.h"
#include "core/whole_file_output.h"
#include "decode/file_check.h"
#include "decode/record_json.h"
#include "export/record_values.h"
#include "python/shared.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace py = pybind11;

namespace tarvik::python {

namespace {

// FNV-1a, 64 bits: the same bytes give the same digest in every process.
std::uint64_t digestOf(ByteSpan bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

struct DeviceFacts {
    std::uint64_t frames = 0, bytes = 0;
    std::vector<std::int64_t> times;
};
struct PingFacts {
    std::uint32_t firstPing = 0, lastPing = 0;
};
using DeviceKey = std::pair<std::uint32_t, std::uint32_t>;                     // device, enumerator
using SourceKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;     // type, device, enumerator

// What the audit follows from file to file, gathered as the check walks the
// frames: per device its frames, bytes and times, per ping source the first
// and the last ping number a whole frame carries. The file is read once.
struct ContinuityFacts {
    std::map<DeviceKey, DeviceFacts> devices;
    std::map<SourceKey, PingFacts> pings;
    DeviceFacts* current = nullptr;  // frames come in long runs from one device
    DeviceKey currentKey{};

    void add(const CheckedFrame& f) {
        const DeviceKey key{f.header.deviceId(), f.header.systemEnumerator()};
        if (!current || key != currentKey) {
            current = &devices[key];
            currentKey = key;
        }
        ++current->frames;
        current->bytes += f.header.size();
        if (auto ns = epochNanoseconds(f.header.time())) current->times.push_back(*ns);
        if (isPingRecordType(f.header.recordType()) && !f.bytes.empty()) {
            if (auto ping = pingNumberOf(f.bytes)) {
                auto [it, fresh] = pings.try_emplace({f.header.recordType(), key.first, key.second});
                if (fresh) it->second.firstPing = *ping;
                it->second.lastPing = *ping;
            }
        }
    }
};

py::dict auditFile(const py::object& path, const py::object& layouts) {
    const std::string p = fsPath(path);
    const auto d = loadDefinitions(layoutPaths(layouts));
    std::string json;
    ContinuityFacts facts;
    struct Device {
        DeviceKey key;
        std::uint64_t frames, bytes;
        std::optional<std::int64_t> first, last;
        double interval = 0;
    };
    std::vector<Device> devices;
    {
        py::gil_scoped_release release;
        const FileChecker checker(d->loaded.catalogue, d->commands);
        const FileCheckResult result =
            checkRecordSource(checker, p, {}, [&facts](const CheckedFrame& f) { facts.add(f); });
        json = checkResultJson(result, -1);
        if (result.unreadable) {
            facts.devices.clear();
            facts.pings.clear();
        }
        for (auto& [key, f] : facts.devices) {
            Device e{key, f.frames, f.bytes, std::nullopt, std::nullopt};
            if (!f.times.empty()) {
                std::sort(f.times.begin(), f.times.end());
                e.first = f.times.front();
                e.last = f.times.back();
                if (f.times.size() > 1) {
                    // The usual time between records: the median step.
                    std::vector<std::int64_t> steps(f.times.size() - 1);
                    for (std::size_t i = 1; i < f.times.size(); ++i) steps[i - 1] = f.times[i] - f.times[i - 1];
                    auto mid = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
                    std::nth_element(steps.begin(), mid, steps.end());
                    e.interval = double(*mid) / 1e9;
                }
            }
            devices.push_back(e);
        }
    }
    py::dict out;
    py::dict doc = py::module_::import("json").attr("loads")(json);
    doc["file"] = pathObject(p);  // the JSON text has U+FFFD for bytes that are not UTF-8
    out["check"] = doc;
    py::list deviceList;
    for (const Device& dev : devices) {
        py::dict e;
        e["device"] = dev.key.first;
        e["enumerator"] = dev.key.second;
        e["frames"] = dev.frames;
        e["bytes"] = dev.bytes;
        e["first"] = dev.first ? py::object(py::int_(*dev.first)) : py::object(py::none());
        e["last"] = dev.last ? py::object(py::int_(*dev.last)) : py::object(py::none());
        e["interval"] = dev.interval;
        deviceList.append(e);
    }
    out["devices"] = deviceList;
    py::list pingList;
    for (const auto& [key, s] : facts.pings) {
        py::dict e;
        e["recordType"] = std::get<0>(key);
        e["device"] = std::get<1>(key);
        e["enumerator"] = std::get<2>(key);
        e["firstPing"] = s.firstPing;
        e["lastPing"] = s.lastPing;
        pingList.append(e);
    }
    out["pings"] = pingList;
    return out;
}

// What the duplicate search asks of one file: the frames of one device dated
// within one of `windows` ([first ns, last ns], apart from each other).
struct DigestJob {
    std::string path;
    std::uint32_t device = 0, enumerator = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> windows;
    // (index, offset, record type, time ns, record counter, digest of the bytes), in file order.
    using Row = std::tuple<std::size_t, std::uint64_t, std::uint32_t, std::int64_t, std::uint32_t, std::uint64_t>;
    std::vector<Row> rows;
    std::string error;  // why the file could not be read (no rows)

    DigestJob(const py::handle& path_, std::uint32_t device_, std::uint32_t enumerator_,
              std::vector<std::pair<std::int64_t, std::int64_t>> windows_)
        : path(fsPath(path_)), device(device_), enumerator(enumerator_), windows(std::move(windows_)) {
        std::sort(windows.begin(), windows.end());
    }

    // Without the interpreter lock.
    void run() {
        SourceOptions options;
        options.readPastDamage = true;
        Result<OpenedSource> result = openSource(path, options);
        if (!result || !result->source) {
            error = result ? std::string("cannot be read") : result.error();
            return;
        }
        const OpenedSource& opened = *result;
        const RecordIndex& index = opened.source->index();
        for (std::size_t i = 0; i < index.size(); ++i) {
            const RecordIndexEntry& e = index[i];
            if (e.deviceId() != device || e.systemEnumerator() != enumerator) continue;
            const auto ns = epochNanoseconds(e.time());
            if (!ns) continue;
            // The last window that starts at or before the time holds it, or none does.
            auto w = std::upper_bound(windows.begin(), windows.end(), std::pair{*ns, std::numeric_limits<std::int64_t>::max()});
            if (w == windows.begin() || std::prev(w)->second < *ns) continue;
            const Bytes frame = opened.source->readFrame(i);
            if (frame.empty()) continue;
            rows.emplace_back(i, e.offset(), e.recordType(), *ns, e.recordCounter(), digestOf(frame));
        }
    }

    py::list rowList() const {
        py::list out;
        for (const Row& r : rows) out.append(py::cast(r));
        return out;
    }
};

py::list frameDigests(const py::object& path, std::uint32_t device, std::uint32_t enumerator,
                      std::vector<std::pair<std::int64_t, std::int64_t>> windows) {
    DigestJob job(path, device, enumerator, std::move(windows));
    {
        py::gil_scoped_release release;
        job.run();
    }
    if (!job.error.empty()) {
        const py::object type = py::module_::import("tarvik._errors").attr("RecordFileError");
        PyErr_SetObject(type.ptr(), shownText(job.error).ptr());
        throw py::error_already_set();
    }
    return job.rowList();
}

// frameDigests of each (path, device, enumerator, windows) of `items`, with
// the interpreter lock given up once for all of them: in a worker process whose
// other threads want the lock, each hand-over costs up to milliseconds, more
// than the digests of a small file. A file that cannot be read gives the
// reason (a str) instead of its rows.
py::list frameDigestsMany(const py::iterable& items) {
    std::vector<DigestJob> jobs;
    for (const py::handle& item : items) {
        const py::tuple t = py::reinterpret_borrow<py::object>(item).cast<py::tuple>();
        if (t.size() != 4) throw py::value_error("items are (path, device, enumerator, windows)");
        jobs.emplace_back(t[0], t[1].cast<std::uint32_t>(), t[2].cast<std::uint32_t>(),
                          t[3].cast<std::vector<std::pair<std::int64_t, std::int64_t>>>());
    }
    {
        py::gil_scoped_release release;
        for (DigestJob& job : jobs) job.run();
    }
    py::list out;
    for (const DigestJob& job : jobs) {
        if (job.error.empty()) out.append(job.rowList());
        else out.append(shownText(job.error));
    }
    return out;
}

// The audit's report files go out as tarvik-cli's outputs do: whole or not at
// all, with the mode a plain open() gives a new file or the replaced file's own.
void writeWholeFileFromPython(const py::object& path, const py::bytes& data, bool replace) {
    const std::string target = fsPath(path);
    const std::string_view bytes = data;
    std::string error;
    {
        py::gil_scoped_release release;
        error = writeWholeFile(target, asBytes(bytes), replace ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No)
                    .error();
    }
    if (!error.empty()) {
        if (error == "file exists") throw py::value_error(target + " exists: not replaced");
        PyErr_SetString(PyExc_OSError, ("could not write " + target + ": " + error).c_str());
        throw py::error_already_set();
    }
}

} // namespace

void registerAuditSupport(py::module_& m) {
    m.def("write_whole_file", &writeWholeFileFromPython, py::arg("path"), py::arg("data"), py::arg("replace"),
          "Writes a file whole through a temporary file beside it; OSError when it could not be written");
    m.def("audit_file", &auditFile, py::arg("path"), py::arg("layouts") = py::none(),
          "The archive audit's task: {'check': the check document, 'devices': [...], 'pings': [...]}");
    m.def("frame_digests", &frameDigests, py::arg("path"), py::arg("device"), py::arg("enumerator"), py::arg("windows"),
          "(index, offset, record type, time ns, record counter, digest) of a device's frames in the time windows "
          "[(first ns, last ns), ...] (apart from each other)");
    m.def("frame_digests_many", &frameDigestsMany, py::arg("items"),
          "frame_digests of each (path, device, enumerator, windows), in one call: rows, or a str saying why a file "
          "could not be read");
}

} // namespace tarvik::python
