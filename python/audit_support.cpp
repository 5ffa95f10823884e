// What the archive audit needs to know about single frames beyond the whole-file
// check: the ping number of a ping record (to follow ping numbers from one file
// to the next) and a digest of a frame's bytes (to find the same record in two
// files). Frames are read by the same readers tarvik.open uses.

#include "core/frame.h"
#include "export/record_sources.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
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

struct FrameFact {
    std::optional<std::uint32_t> ping;
    std::optional<std::uint64_t> digest;
};

// For each index position (as tarvik.open(path, read_past_damage=True)
// numbers the frames): the ping number when the frame is a ping record, and
// the digest of its bytes when asked. Positions past the index, and frames
// that cannot be read back, give None for both.
py::list frameFacts(const py::object& path, const std::vector<std::size_t>& positions, bool digests) {
    const std::string p = py::str(py::module_::import("os").attr("fspath")(path));
    std::vector<FrameFact> facts(positions.size());
    std::string error;
    {
        py::gil_scoped_release release;
        const OpenedSource opened = openRecordSource(p, {}, true);
        if (!opened.source) {
            error = opened.error.empty() ? "cannot be read" : opened.error;
        } else {
            const RecordIndex& index = opened.source->index();
            for (std::size_t i = 0; i < positions.size(); ++i) {
                const std::size_t at = positions[i];
                if (at >= index.size()) continue;
                const bool ping = isPingRecordType(index[at].recordType());
                if (!ping && !digests) continue;
                const Bytes frame = opened.source->readFrame(at);
                if (frame.empty()) continue;
                if (ping) facts[i].ping = pingNumberOf(frame);
                if (digests) facts[i].digest = digestOf(frame);
            }
        }
    }
    if (!error.empty()) {
        PyErr_SetString(py::module_::import("tarvik._errors").attr("RecordFileError").ptr(), error.c_str());
        throw py::error_already_set();
    }
    py::list out;
    for (const FrameFact& f : facts) {
        out.append(py::make_tuple(f.ping ? py::int_(*f.ping) : py::object(py::none()),
                                  f.digest ? py::int_(*f.digest) : py::object(py::none())));
    }
    return out;
}

} // namespace

void registerAuditSupport(py::module_& m) {
    m.def("frame_facts", &frameFacts, py::arg("path"), py::arg("positions"), py::arg("digests") = false,
          "(ping number or None, digest or None) of the frames at these index positions (the archive audit's use)");
}

} // namespace tarvik::python
