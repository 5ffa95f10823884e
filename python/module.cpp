// The C++ half of the tarvik Python module: record files and captures opened
// with the same readers, layouts and checks tarvik-cli uses. The pure Python
// package (tarvik/__init__.py) wraps it; nothing here parses a record itself:
// values are read where the layout walk says each item lies.

#include "core/frame.h"
#include "decode/file_check.h"
#include "decode/record_json.h"
#include "export/record_table.h"
#include "export/record_values.h"
#include "python/shared.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace py = pybind11;

namespace tarvik::python {

namespace {

// The record file error (tarvik._errors), fetched in the module's init. A handle
// that owns a reference for the life of the process: nothing is released after
// the interpreter has finalised.
py::handle recordFileError;

// A numpy function, looked up once and kept (never released, as above).
py::handle numpyFunction(const char* name) { return py::object(py::module_::import("numpy").attr(name)).release(); }

// Texts of a record (field texts, report lines) as str: UTF-8, bytes that are
// not replaced by U+FFFD, as report --json does.
py::str text(std::string_view t) {
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeUTF8(t.data(), static_cast<py::ssize_t>(t.size()), "replace"));
}
py::list texts(const std::vector<std::string>& lines) {
    py::list out;
    for (const std::string& l : lines) out.append(text(l));
    return out;
}

[[noreturn]] void raise(py::handle type, const std::string& message) {
    PyErr_SetString(type.ptr(), message.c_str());
    throw py::error_already_set();
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

// numpy's name of a stored number type ("<u4", "<f8"); empty when it has none.
std::string numberDtype(ValueKind kind, int width) {
    if (width != 1 && width != 2 && width != 4 && width != 8) return {};
    switch (kind) {
    case ValueKind::Unsigned: return "<u" + std::to_string(width);
    case ValueKind::Signed: return "<i" + std::to_string(width);
    case ValueKind::Float: return width >= 4 ? "<f" + std::to_string(width) : std::string();
    default: return {};
    }
}

py::object datetime64(std::int64_t ns) {
    static py::handle make = numpyFunction("datetime64");
    return ns == kNaT ? make("NaT", "ns") : make(ns, "ns");
}

py::object scalarObject(const ScalarValue& v) {
    switch (v.kind) {
    case ValueKind::Unsigned: return py::int_(v.u);
    case ValueKind::Signed: return py::int_(v.i);
    case ValueKind::Float: return py::float_(v.f);
    case ValueKind::Time: return datetime64(v.i);
    case ValueKind::Text: return text(v.text);
    case ValueKind::None: break;
    }
    return py::none();
}

// What an open file shares with its records.
struct FileState {
    std::string path;
    std::shared_ptr<const Definitions> definitions;
    std::shared_ptr<IndexedRecordSource> source;
    std::vector<std::string> warnings;
    std::unique_ptr<RecordDecoder> decoder;
    std::unique_ptr<RecordReporter> reporter;

    Bytes frame(std::size_t position) const { return source->readFrame(position); }
};

class Record {
public:
    Record(std::shared_ptr<FileState> file, std::size_t position)
        : file_(std::move(file)), position_(position), entry_(file_->source->index()[position]) {}

    std::size_t number() const { return position_; }
    std::uint32_t type() const { return entry_.recordType(); }
    std::uint32_t size() const { return entry_.size(); }
    std::uint32_t device() const { return entry_.deviceId(); }
    std::uint32_t enumerator() const { return entry_.systemEnumerator(); }
    std::uint32_t counter() const { return entry_.recordCounter(); }
    std::uint64_t offset() const { return entry_.offset(); }
    std::int64_t timeNs() const { return epochNanoseconds(entry_.time()).value_or(kNaT); }
    py::object time() const { return datetime64(timeNs()); }

    const py::bytes& bytes() const {
        if (!bytes_) {
            const Bytes frame = file_->frame(position_);
            if (frame.empty()) raise(recordFileError, "could not read record " + std::to_string(position_) + " of " + file_->path);
            bytes_ = py::bytes(reinterpret_cast<const char*>(frame.data()), frame.size());
        }
        return *bytes_;
    }
    ByteSpan span() const {
        const py::bytes& b = bytes();
        return {reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(b.ptr())),
                static_cast<std::size_t>(PyBytes_GET_SIZE(b.ptr()))};
    }

    py::dict header() const {
        const FrameView f(span());
        py::dict h;
        for (const RecordHeaderField& field : kRecordHeaderFields)
            h[field.name] = field.number ? py::object(py::int_(field.number(f)))
                                         : datetime64(epochNanoseconds(f.time()).value_or(kNaT));
        return h;
    }

    py::dict fields() const {
        const ByteSpan frame = span();
        RecordDecoder& decoder = *file_->decoder;
        decoder.decode(frame);
        return itemsDict(decoder, frame, decoder.nested());
    }

    py::list problems() const {
        const Report& outcome = file_->decoder->decode(span());
        py::list out = texts(outcome.lines);
        for (const std::string& m : outcome.messages) out.append(text(m));
        return out;
    }

    py::list report() const { return texts(file_->reporter->report(span(), static_cast<std::uint32_t>(position_)).lines); }

    py::str toJson(bool hex, int indent) const {
        const ByteSpan frame = span();
        std::vector<WalkedField> walked;
        file_->reporter->collectFields(&walked);
        const Report rep = file_->reporter->report(frame, static_cast<std::uint32_t>(position_));
        file_->reporter->collectFields(nullptr);
        const std::optional<RecordOrigin> origin = file_->source->frameOrigin(position_);
        return text(recordJson(frame, static_cast<std::uint32_t>(position_), rep, walked, hex, indent, origin ? &*origin : nullptr));
    }

    py::object checksumOk() const {
        const std::optional<bool> ok = checksumMatches(span());
        return ok ? py::object(py::bool_(*ok)) : py::object(py::none());
    }

private:
    // The items of one level as name -> value; a name met again gets " (2)", " (3)", ...
    py::dict itemsDict(const RecordDecoder& decoder, ByteSpan frame, const std::vector<ItemNode>& nodes) const {
        py::dict out;
        for (const ItemNode& n : nodes) {
            const WalkedField& f = *n.field;
            py::object value;
            const FormatCode code = formatCode(f.format);
            if (code == FormatCode::Repeat) {
                py::list blocks;
                for (const auto& block : n.blocks) blocks.append(itemsDict(decoder, frame, block));
                value = std::move(blocks);
            } else if (code == FormatCode::Vector || code == FormatCode::PingData) {
                value = bytesArray(f, code == FormatCode::Vector ? decoder.vectorOf(f) : nullptr);
            } else if (code == FormatCode::VarString) {
                WalkedField text = f;
                text.format = "s";
                value = scalarObject(scalarValue(frame, text));
            } else if (scalarKind(code) != ValueKind::None) {
                value = scalarObject(scalarValue(frame, f));
            } else {
                continue;  // reserved and skipped bytes, constants
            }
            std::string name(f.name);
            for (int k = 2; out.contains(name); ++k) name = std::string(f.name) + " (" + std::to_string(k) + ")";
            out[py::str(name)] = std::move(value);
        }
        return out;
    }

    // A vector's elements (or a sample block's bytes) as a numpy array over the
    // record's bytes object: no copy.
    py::object bytesArray(const WalkedField& f, const VectorDescription* v) const {
        static py::handle frombuffer = numpyFunction("frombuffer");
        std::string dtype = "u1";
        std::int64_t element = 1;
        if (v && v->width > 0) {
            const std::string t = numberDtype(scalarKind(formatCode(v->format)), v->width);
            if (!t.empty()) {
                dtype = t;
                element = v->width;
            }
        }
        const std::int64_t held = static_cast<std::int64_t>(span().size());
        const std::int64_t start = std::clamp<std::int64_t>(f.offset, 0, held);
        const std::int64_t width = std::clamp<std::int64_t>(f.width, 0, held - start);
        return frombuffer(bytes(), py::arg("dtype") = dtype, py::arg("count") = width / element,
                          py::arg("offset") = start);
    }

    std::shared_ptr<FileState> file_;
    std::size_t position_;
    RecordIndexEntry entry_;
    mutable std::optional<py::bytes> bytes_;
};

// The Python class of records (tarvik.Record, a tuple subclass), set by the package.
PyTypeObject* recordType = nullptr;

std::vector<std::uint32_t> numberList(const py::object& o) {
    std::vector<std::uint32_t> out;
    if (o.is_none()) return out;
    if (py::isinstance<py::int_>(o)) {
        out.push_back(o.cast<std::uint32_t>());
        return out;
    }
    for (const py::handle& h : o) out.push_back(h.cast<std::uint32_t>());
    return out;
}

class File {
public:
    File(const py::object& path, const py::object& layouts, bool readPastDamage) : state_(std::make_shared<FileState>()) {
        state_->path = fsPath(path);
        state_->definitions = loadDefinitions(layoutPaths(layouts));
        OpenedSource opened = openSource(state_->path, readPastDamage);
        state_->source = std::move(opened.source);
        state_->warnings = std::move(opened.warnings);
        const Definitions& d = *state_->definitions;
        state_->decoder = std::make_unique<RecordDecoder>(d.loaded.catalogue, d.commands);
        state_->reporter = std::make_unique<RecordReporter>(d.loaded.catalogue, d.commands);
    }

    std::size_t size() const { return state_->source->index().size(); }
    const std::string& path() const { return state_->path; }
    const std::vector<std::string>& warnings() const { return state_->warnings; }

    std::size_t position(std::int64_t i) const {
        const auto n = static_cast<std::int64_t>(size());
        if (i < 0) i += n;
        if (i < 0 || i >= n) throw py::index_error("record index out of range");
        return static_cast<std::size_t>(i);
    }
    Record record(std::int64_t i) const { return Record(state_, position(i)); }

    // A record as the package's tuple: (file, number, type, size, device,
    // enumerator, time_ns, record_counter, offset), made without a call into Python.
    // Types, devices, sizes and enumerators repeat from record to record: one
    // int object each serves every record of a batch.
    class IntCache {
    public:
        PyObject* get(std::uint64_t v) {
            auto it = ints_.find(v);
            if (it != ints_.end()) return Py_NewRef(it->second.ptr());
            py::object o = py::reinterpret_steal<py::object>(PyLong_FromUnsignedLongLong(v));
            if (ints_.size() < 4096) ints_.emplace(v, o);
            return o.release().ptr();
        }

    private:
        std::unordered_map<std::uint64_t, py::object> ints_;
    };

    static PyObject* recordTuple(PyObject* file, std::size_t number, const RecordIndexEntry& e, IntCache& ints) {
        if (!recordType) throw std::runtime_error("tarvik.Record is not set");
        PyObject* t = recordType->tp_alloc(recordType, 9);
        if (!t) throw py::error_already_set();
        Py_INCREF(file);
        PyTuple_SET_ITEM(t, 0, file);
        PyTuple_SET_ITEM(t, 1, PyLong_FromSize_t(number));
        PyTuple_SET_ITEM(t, 2, ints.get(e.recordType()));
        PyTuple_SET_ITEM(t, 3, ints.get(e.size()));
        PyTuple_SET_ITEM(t, 4, ints.get(e.deviceId()));
        PyTuple_SET_ITEM(t, 5, ints.get(e.systemEnumerator()));
        PyTuple_SET_ITEM(t, 6, PyLong_FromLongLong(epochNanoseconds(e.time()).value_or(kNaT)));
        PyTuple_SET_ITEM(t, 7, PyLong_FromUnsignedLong(e.recordCounter()));
        PyTuple_SET_ITEM(t, 8, PyLong_FromUnsignedLongLong(e.offset()));
        return t;
    }

    static py::object item(const py::object& self, std::int64_t i) {
        const File& f = self.cast<const File&>();
        const std::size_t at = f.position(i);
        IntCache ints;
        return py::reinterpret_steal<py::object>(recordTuple(self.ptr(), at, f.state_->source->index()[at], ints));
    }

    // Up to `count` records from position `start` on, of the given types and
    // devices (empty: any), and the position to go on from.
    static py::tuple batch(const py::object& self, std::size_t start, std::size_t count, const py::object& types,
                           const py::object& devices) {
        const File& f = self.cast<const File&>();
        const std::vector<std::uint32_t> t = numberList(types), d = numberList(devices);
        const RecordIndex& index = f.state_->source->index();
        py::list out;
        IntCache ints;
        std::size_t position = start;
        for (; position < index.size() && static_cast<std::size_t>(out.size()) < count; ++position) {
            const RecordIndexEntry& e = index[position];
            if (!t.empty() && std::find(t.begin(), t.end(), e.recordType()) == t.end()) continue;
            if (!d.empty() && std::find(d.begin(), d.end(), e.deviceId()) == d.end()) continue;
            PyObject* r = recordTuple(self.ptr(), position, e, ints);
            if (PyList_Append(out.ptr(), r) != 0) {
                Py_DECREF(r);
                throw py::error_already_set();
            }
            Py_DECREF(r);
        }
        return py::make_tuple(out, position);
    }

    py::array index() const {
        const RecordIndex& index = state_->source->index();
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

    // The table's columns as (name, kind, width, values, valid) for the Python side to make a DataFrame.
    py::list table(std::uint32_t type, const py::object& fields) const {
        std::optional<std::vector<std::string>> names;
        if (!fields.is_none()) {
            names.emplace();
            if (py::isinstance<py::str>(fields)) names->push_back(fields.cast<std::string>());
            else for (const py::handle& h : fields) names->push_back(py::str(h));
        }
        RecordTable table;
        std::string error;
        bool ok;
        {
            py::gil_scoped_release release;
            const Definitions& d = *state_->definitions;
            ok = buildRecordTable(*state_->source, d.loaded.catalogue, d.commands, type, names, table, error);
        }
        if (!ok) throw py::key_error(error);
        py::list out;
        for (TableColumn& c : table.columns) {
            const auto n = static_cast<py::ssize_t>(table.rows);
            py::object values;
            const char* kind = "";
            switch (c.kind) {
            case ValueKind::Unsigned: {
                kind = "u";
                py::array_t<std::uint64_t> a(n);
                std::memcpy(a.mutable_data(), c.u.data(), c.u.size() * sizeof(std::uint64_t));
                values = a.attr("astype")(numberDtype(ValueKind::Unsigned, c.width));
                break;
            }
            case ValueKind::Signed: {
                kind = "i";
                py::array_t<std::int64_t> a(n);
                std::memcpy(a.mutable_data(), c.i.data(), c.i.size() * sizeof(std::int64_t));
                values = a.attr("astype")(numberDtype(ValueKind::Signed, c.width));
                break;
            }
            case ValueKind::Time: {
                kind = "M";
                for (std::size_t r = 0; r < c.i.size(); ++r)
                    if (!c.valid[r]) c.i[r] = kNaT;
                py::array_t<std::int64_t> a(n);
                std::memcpy(a.mutable_data(), c.i.data(), c.i.size() * sizeof(std::int64_t));
                values = a.attr("view")("M8[ns]");
                break;
            }
            case ValueKind::Float: {
                kind = "f";
                py::array_t<double> a(n);
                std::memcpy(a.mutable_data(), c.f.data(), c.f.size() * sizeof(double));
                values = c.width == 4 ? py::object(a.attr("astype")("<f4")) : py::object(a);
                break;
            }
            case ValueKind::Text: {
                kind = "s";
                values = texts(c.text);
                break;
            }
            case ValueKind::None: continue;
            }
            py::array_t<bool> valid(n);
            for (py::ssize_t r = 0; r < n; ++r) valid.mutable_data()[r] = c.valid[static_cast<std::size_t>(r)] != 0;
            out.append(py::make_tuple(c.name, kind, values, valid));
        }
        return out;
    }

    // One row per record of `type`: the elements of vector `field`, or the
    // values of scalar `field` in every repeat block. Rows of unequal length
    // are padded: the array is then float64 with NaN.
    py::array arrays(std::uint32_t type, const std::string& field) const {
        const RecordIndex& index = state_->source->index();
        RecordDecoder& decoder = *state_->decoder;
        FrameScanner scanner(*state_->source);
        std::vector<std::vector<double>> rows;  // as doubles when rows differ or kinds mix
        std::vector<std::string> raw;           // the rows' stored bytes when they are alike
        std::string dtype;
        bool alike = true, found = false;
        std::size_t length = 0;
        for (std::size_t position = 0; position < index.size(); ++position) {
            if (index[position].recordType() != type) continue;
            const ByteSpan frame = scanner.frame(position);
            decoder.decode(frame);
            std::vector<double> values;
            std::string bytes;
            std::string rowType;
            for (const WalkedField& f : decoder.fields()) {
                if (f.name != field) continue;
                const FormatCode code = formatCode(f.format);
                if (code == FormatCode::Vector) {
                    const VectorDescription* v = decoder.vectorOf(f);
                    const ValueKind kind = v ? scalarKind(formatCode(v->format)) : ValueKind::None;
                    rowType = v ? numberDtype(kind, v->width) : std::string();
                    if (rowType.empty()) continue;
                    WalkedField element = f;
                    element.format = v->format;
                    element.width = v->width;
                    for (std::int64_t at = 0; at + v->width <= f.width; at += v->width) {
                        element.offset = f.offset + at;
                        const ScalarValue s = scalarValue(frame, element);
                        values.push_back(s.kind == ValueKind::Unsigned ? double(s.u)
                                         : s.kind == ValueKind::Signed ? double(s.i) : s.f);
                        bytes.append(reinterpret_cast<const char*>(frame.data() + element.offset), static_cast<std::size_t>(v->width));
                    }
                    break;  // a vector is one row
                }
                const ScalarValue s = scalarValue(frame, f);
                const std::string t = numberDtype(s.kind, s.width);
                if (t.empty()) continue;
                if (!rowType.empty() && rowType != t) alike = false;
                rowType = t;
                values.push_back(s.kind == ValueKind::Unsigned ? double(s.u) : s.kind == ValueKind::Signed ? double(s.i) : s.f);
                bytes.append(reinterpret_cast<const char*>(frame.data() + f.offset), static_cast<std::size_t>(f.width));
            }
            if (!values.empty()) {
                if (found && (rowType != dtype || values.size() != length)) alike = false;
                if (!found) {
                    dtype = rowType;
                    length = values.size();
                    found = true;
                }
            } else if (found || !rows.empty()) {
                alike = alike && length == 0;
            }
            rows.push_back(std::move(values));
            raw.push_back(std::move(bytes));
        }
        if (rows.empty()) return py::array_t<double>(std::vector<py::ssize_t>{0, 0});
        if (!found) throw py::key_error("record type " + std::to_string(type) + " has no number field or vector \"" + field + "\"");
        const auto n = static_cast<py::ssize_t>(rows.size());
        if (alike) {
            py::array out(py::dtype(dtype), {n, static_cast<py::ssize_t>(length)}, {});
            auto* to = static_cast<char*>(out.mutable_data());
            for (const std::string& r : raw) {
                std::memcpy(to, r.data(), r.size());
                to += r.size();
            }
            return out;
        }
        std::size_t widest = 0;
        for (const auto& r : rows) widest = std::max(widest, r.size());
        py::array_t<double> out({n, static_cast<py::ssize_t>(widest)});
        double* to = out.mutable_data();
        for (const auto& r : rows) {
            for (std::size_t k = 0; k < widest; ++k) *to++ = k < r.size() ? r[k] : std::nan("");
        }
        return out;
    }

private:
    std::shared_ptr<FileState> state_;
};

py::dict check(const py::object& path, const py::object& layouts, bool walkLayouts) {
    const std::string p = fsPath(path);
    std::shared_ptr<const Definitions> d = walkLayouts ? loadDefinitions(layoutPaths(layouts)) : nullptr;
    std::string json;
    {
        py::gil_scoped_release release;
        static const LayoutCatalogue kNoLayouts;
        static const remote::RemoteCommandCatalogue kNoCommands;
        FileCheckOptions options;
        options.walkLayouts = walkLayouts;
        const FileChecker checker(d ? d->loaded.catalogue : kNoLayouts,
                                  d ? static_cast<const RemoteCommandDefinitions&>(d->commands) : kNoCommands, options);
        json = checkResultJson(checkRecordSource(checker, p), -1);
    }
    return py::module_::import("json").attr("loads")(json);
}

// What the layouts decode: one entry per record type with its title and scalar fields.
py::list catalogue(const py::object& layouts) {
    std::shared_ptr<const Definitions> d = loadDefinitions(layoutPaths(layouts));
    py::list out;
    for (const auto& [key, record] : d->loaded.catalogue.records) {
        if (key.protocolVersion != kCatalogueProtocolVersion || key.recordVersion != kCatalogueRecordVersion) continue;
        py::list fields;
        for (const TableColumn& c : tableColumns(d->loaded.catalogue, static_cast<std::uint32_t>(key.recordType))) {
            const char* kind = c.kind == ValueKind::Unsigned ? "u" : c.kind == ValueKind::Signed ? "i"
                             : c.kind == ValueKind::Float ? "f" : c.kind == ValueKind::Time ? "time" : "text";
            fields.append(py::make_tuple(c.name, kind, c.width));
        }
        py::list items;
        for (const CRecordDataLayout& item : record.items) items.append(py::make_tuple(item.name, item.format, item.number));
        py::dict entry;
        entry["type"] = key.recordType;
        entry["title"] = record.title;
        entry["items"] = items;
        entry["fields"] = fields;
        out.append(entry);
    }
    return out;
}

} // namespace

void registerAuditSupport(py::module_& m);  // audit_support.cpp

} // namespace tarvik::python

PYBIND11_MODULE(_tarvik, m) {
    using namespace tarvik::python;
    m.doc() = "The C++ half of the tarvik package (use the tarvik package, not this module).";
    m.attr("__version__") = TARVIK_VERSION;
    py::module_ errors = py::module_::import("tarvik._errors");
    recordFileError = py::object(errors.attr("RecordFileError")).release();

    py::class_<File>(m, "File", py::dynamic_attr())
        .def(py::init<const py::object&, const py::object&, bool>(), py::arg("path"), py::arg("layouts") = py::none(),
             py::arg("read_past_damage") = false)
        .def("__len__", &File::size)
        .def("__getitem__", &File::item)
        .def("_batch", &File::batch)
        .def_property_readonly("path", &File::path)
        .def_property_readonly("warnings", &File::warnings)
        .def_property_readonly("index", &File::index)
        .def("_table", &File::table, py::arg("type"), py::arg("fields") = py::none())
        .def("_arrays", &File::arrays, py::arg("type"), py::arg("field"))
        .def("_bytes", [](const File& f, std::int64_t i) { return f.record(i).bytes(); })
        .def("_header", [](const File& f, std::int64_t i) { return f.record(i).header(); })
        .def("_fields", [](const File& f, std::int64_t i) { return f.record(i).fields(); })
        .def("_problems", [](const File& f, std::int64_t i) { return f.record(i).problems(); })
        .def("_report", [](const File& f, std::int64_t i) { return f.record(i).report(); })
        .def("_to_json", [](const File& f, std::int64_t i, bool hex, int indent) { return f.record(i).toJson(hex, indent); })
        .def("_checksum_ok", [](const File& f, std::int64_t i) { return f.record(i).checksumOk(); });
    m.def("_set_record_class", [](const py::type& cls) {
        if (!PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls.ptr()), &PyTuple_Type))
            throw py::type_error("the record class must be a tuple subclass");
        cls.inc_ref();
        recordType = reinterpret_cast<PyTypeObject*>(cls.ptr());
    });
    m.def("check", &check, py::arg("path"), py::arg("layouts") = py::none(), py::arg("walk_layouts") = true);
    m.def("catalogue", &catalogue, py::arg("layouts") = py::none());
    registerAuditSupport(m);
}
