// The C++ half of the tarvik Python module: record files and captures opened
// with the same readers, layouts and checks tarvik-cli uses. The pure Python
// package (tarvik/__init__.py) wraps it; nothing here parses a record itself:
// values are read where the layout walk says each item lies.

#include "core/frame.h"
#include "core/text.h"
#include "decode/field_format.h"
#include "decode/file_check.h"
#include "decode/record_json.h"
#include "export/record_table.h"
#include "export/record_values.h"
#include "expr/predicate.h"
#include "plot/plot_model.h"
#include "python/shared.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

// numpy's C interface, for datetime64 values made without a call into Python.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include <numpy/arrayscalars.h>
#include <structmember.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
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
    PyErr_SetObject(type.ptr(), shownText(message).ptr());
    throw py::error_already_set();
}

// indent= of a JSON text: -1 (one line) to 64; the JSON library makes a buffer of that many blanks.
int jsonIndent(int indent) {
    if (indent < -1 || indent > 64) throw py::value_error("indent: -1 (one line) to 64");
    return indent;
}

// One warning for the records of a table or array that could no longer be read.
void warnUnread(const std::vector<std::size_t>& unread, std::uint32_t type, const std::string& path) {
    if (unread.empty()) return;
    const std::string message = strprintf("%zu record%s of type %u in %s could not be read (the first at index %zu): "
                                          "left out", unread.size(), unread.size() == 1 ? "" : "s", type, path.c_str(),
                                          unread.front());
    // Level 2: the caller of File.table or File.arrays, past the package's own line.
    if (PyErr_WarnEx(PyExc_RuntimeWarning, py::str(shownText(message)).cast<std::string>().c_str(), 2) < 0)
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

// A numpy.datetime64 in nanoseconds (NaT for kNaT, which is numpy's NaT too),
// made as numpy makes the scalars of an array: no call into Python.
PyObject* newDatetime64(std::int64_t ns) {
    PyObject* o = PyDatetimeArrType_Type.tp_alloc(&PyDatetimeArrType_Type, 0);
    if (!o) return nullptr;
    auto* scalar = reinterpret_cast<PyDatetimeScalarObject*>(o);
    scalar->obval = ns;
    scalar->obmeta.base = NPY_FR_ns;
    scalar->obmeta.num = 1;
    return o;
}

py::object datetime64(std::int64_t ns) {
    PyObject* o = newDatetime64(ns);
    if (!o) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
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

// A table column's numbers as a numpy array of `dtype` over the table's own
// memory, which the array keeps: nothing is copied.
py::array cellArray(const TableColumn& c, std::size_t rows, const std::shared_ptr<TableCells>& cells, const std::string& dtype) {
    const auto n = static_cast<py::ssize_t>(rows);
    if (n == 0) return py::array(py::dtype(dtype), {py::ssize_t{0}}, {});
    auto* owned = new std::shared_ptr<TableCells>(cells);
    py::capsule base(owned, [](void* p) { delete static_cast<std::shared_ptr<TableCells>*>(p); });
    return py::array(py::dtype(dtype), {n}, {}, c.cells, base);
}

// A float array of angles stored in radians as the degrees the report shows,
// in the stored width (see shownNumber: the same rounding).
py::object shownArray(const py::object& stored, const std::string& dtype) {
    static py::handle multiply = numpyFunction("multiply");
    const py::object degrees = multiply(stored.attr("astype")("<f8"), py::float_(shownNumber(FormatCode::Radians, 8, 1.0)));
    return degrees.attr("astype")(dtype);
}

// Appends a number cell of arrays() in its stored width, little-endian: the
// stored bytes, or the shown value where it differs from them.
void appendCell(std::string& out, ByteSpan frame, const WalkedField& f, const ScalarValue& s) {
    if (s.kind == ValueKind::Float && formatCode(f.format) == FormatCode::Radians) {
        ByteWriter w;
        if (s.width == 4) w.f32(static_cast<float>(s.f));
        else w.f64(s.f);
        const Bytes cell = w.take();
        out.append(reinterpret_cast<const char*>(cell.data()), cell.size());
        return;
    }
    out.append(reinterpret_cast<const char*>(frame.data() + f.offset), static_cast<std::size_t>(f.width));
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

    // Numbers as the report shows them (angles in degrees), or with `raw` as stored.
    py::dict fields(bool raw) const {
        const ByteSpan frame = span();
        RecordDecoder& decoder = *file_->decoder;
        decoder.decode(frame);
        return itemsDict(decoder, frame, decoder.nested(), raw);
    }

    py::list problems() const {
        const ByteSpan frame = span();
        const Report& outcome = file_->decoder->decode(frame);
        py::list out;
        if (const std::optional<std::string> cut = cutFrameText(frame)) out.append(text(*cut));
        for (const std::string& line : outcome.lines) out.append(text(line));
        for (const std::string& m : outcome.messages) out.append(text(m));
        return out;
    }

    py::list report() const { return texts(file_->reporter->report(span(), static_cast<std::uint32_t>(position_)).lines); }

    py::str toJson(bool hex, int indent) const {
        jsonIndent(indent);  // refused before anything is read
        const ByteSpan frame = span();
        std::vector<WalkedField> walked;
        file_->reporter->collectFields(&walked);
        const Report rep = file_->reporter->report(frame, static_cast<std::uint32_t>(position_));
        file_->reporter->collectFields(nullptr);
        const std::optional<RecordOrigin> origin = file_->source->frameOrigin(position_);
        return text(recordJson(frame, static_cast<std::uint32_t>(position_), rep, walked, hex, jsonIndent(indent),
                               origin ? &*origin : nullptr));
    }

    py::object checksumOk() const {
        const std::optional<bool> ok = checksumMatches(span());
        return ok ? py::object(py::bool_(*ok)) : py::object(py::none());
    }

private:
    // The items of one level as name -> value; a name met again gets " (2)", " (3)", ...
    py::dict itemsDict(const RecordDecoder& decoder, ByteSpan frame, const std::vector<ItemNode>& nodes, bool raw) const {
        py::dict out;
        for (const ItemNode& n : nodes) {
            const WalkedField& f = *n.field;
            py::object value;
            const FormatCode code = formatCode(f.format);
            if (code == FormatCode::Repeat) {
                py::list blocks;
                for (const auto& block : n.blocks) blocks.append(itemsDict(decoder, frame, block, raw));
                value = std::move(blocks);
            } else if (code == FormatCode::Vector || code == FormatCode::PingData) {
                value = bytesArray(f, code == FormatCode::Vector ? decoder.vectorOf(f) : nullptr, raw);
            } else if (code == FormatCode::VarString) {
                WalkedField text = f;
                text.format = "s";
                value = scalarObject(scalarValue(frame, text));
            } else if (scalarKind(code) != ValueKind::None) {
                value = scalarObject(scalarValue(frame, f, raw));
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
    // record's bytes object: no copy. Elements stored in radians are shown in
    // degrees (a converted copy) unless `raw`.
    py::object bytesArray(const WalkedField& f, const VectorDescription* v, bool raw) const {
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
        py::object stored = frombuffer(bytes(), py::arg("dtype") = dtype, py::arg("count") = width / element,
                                       py::arg("offset") = start);
        if (raw || !v || formatCode(v->format) != FormatCode::Radians) return stored;
        return shownArray(stored, dtype);
    }

    std::shared_ptr<FileState> file_;
    std::size_t position_;
    RecordIndexEntry entry_;
    mutable std::optional<py::bytes> bytes_;
};

// A record type or device a caller names: an int of 0 to 2^32 - 1.
std::uint32_t recordNumber(const py::handle& h) {
    if (!PyLong_Check(h.ptr())) throw py::type_error("record types and devices are ints");
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(h.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || v < 0 || v > 0xffffffffLL) throw py::value_error("record types and devices are 0 to 4294967295");
    return static_cast<std::uint32_t>(v);
}

std::vector<std::uint32_t> numberList(const py::object& o) {
    std::vector<std::uint32_t> out;
    if (o.is_none()) return out;
    if (PyLong_Check(o.ptr())) {
        out.push_back(recordNumber(o));
        return out;
    }
    for (const py::handle& h : o) out.push_back(recordNumber(h));
    return out;
}

class File {
public:
    File(const py::object& path, const py::object& layouts, bool readPastDamage) : state_(std::make_shared<FileState>()) {
        state_->path = fsPath(path);
        state_->definitions = loadDefinitions(layoutPaths(layouts));
        OpenedSource opened = openSource(state_->path, readPastDamage);
        state_->source = std::move(opened.source);
        state_->warnings = opened.warnings();
        const Definitions& d = *state_->definitions;
        state_->decoder = std::make_unique<RecordDecoder>(d.loaded.catalogue, d.commands);
        state_->reporter = std::make_unique<RecordReporter>(d.loaded.catalogue, d.commands);
    }

    std::size_t size() const { return state_->source->index().size(); }
    // The path as Python names it: a name that is not UTF-8 as os.fsdecode makes it.
    py::object path() const { return pathObject(state_->path); }
    const std::vector<std::string>& warnings() const { return state_->warnings; }

    std::size_t position(std::int64_t i) const {
        const auto n = static_cast<std::int64_t>(size());
        if (i < 0) i += n;
        if (i < 0 || i >= n) throw py::index_error("record index out of range");
        return static_cast<std::size_t>(i);
    }
    Record record(std::int64_t i) const { return Record(state_, position(i)); }

    const std::shared_ptr<FileState>& state() const { return state_; }

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
    py::list table(std::uint32_t type, const py::object& fields, bool raw) const {
        std::optional<std::vector<std::string>> names;
        if (!fields.is_none()) {
            names.emplace();
            if (py::isinstance<py::str>(fields)) names->push_back(fields.cast<std::string>());
            else for (const py::handle& h : fields) names->push_back(py::str(h));
        }
        std::optional<Result<RecordTable>> built;
        {
            py::gil_scoped_release release;
            const Definitions& d = *state_->definitions;
            built.emplace(buildRecordTable(*state_->source, d.loaded.catalogue, d.commands, type, names, raw));
        }
        if (!*built) throw py::key_error(built->error());
        RecordTable table = std::move(**built);
        warnUnread(table.unread, type, state_->path);
        py::list out;
        for (TableColumn& c : table.columns) {
            const char* kind = "";
            py::object values;
            switch (c.kind) {
            case ValueKind::Unsigned:
                kind = "u";
                values = cellArray(c, table.rows, table.cells, numberDtype(ValueKind::Unsigned, c.cellSize()));
                break;
            case ValueKind::Signed:
                kind = "i";
                values = cellArray(c, table.rows, table.cells, numberDtype(ValueKind::Signed, c.cellSize()));
                break;
            case ValueKind::Time:
                kind = "M";
                values = cellArray(c, table.rows, table.cells, "<M8[ns]");  // a missing time is NaT
                break;
            case ValueKind::Float:
                kind = "f";
                values = cellArray(c, table.rows, table.cells, numberDtype(ValueKind::Float, c.cellSize()));
                break;
            case ValueKind::Text:
                kind = "s";
                values = texts(c.text);
                break;
            case ValueKind::None: continue;
            }
            // None when every row holds the field (the common case: nothing to mask).
            py::object valid = py::none();
            if (!c.valid.empty()) {
                py::array_t<bool> v(static_cast<py::ssize_t>(c.valid.size()));
                bool* to = v.mutable_data();
                for (std::size_t r = 0; r < c.valid.size(); ++r) to[r] = c.valid[r] != 0;
                valid = std::move(v);
            }
            out.append(py::make_tuple(c.name, kind, values, valid));
        }
        return out;
    }

    // One row per record of `type`: the elements of vector `field`, or the
    // values of scalar `field` in every repeat block. Rows of unequal length
    // are padded: the array is then float64 with NaN.
    py::array arrays(std::uint32_t type, const std::string& field, bool raw) const {
        const RecordIndex& index = state_->source->index();
        RecordDecoder& decoder = *state_->decoder;
        FrameScanner scanner(*state_->source, type);
        std::vector<std::vector<double>> rows;  // as doubles when rows differ or kinds mix
        std::vector<std::string> cells;         // the rows' bytes (as stored, or as shown) when they are alike
        std::string dtype;
        bool alike = true, found = false;
        std::size_t length = 0;
        std::vector<std::size_t> unread;
        for (std::size_t position = 0; position < index.size(); ++position) {
            if (index[position].recordType() != type) continue;
            const ByteSpan frame = scanner.frame(position);
            if (!FrameView(frame).isFrame()) {  // gone since the file was indexed: no row (as in a table)
                unread.push_back(position);
                continue;
            }
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
                        const ScalarValue s = scalarValue(frame, element, raw);
                        values.push_back(s.kind == ValueKind::Unsigned ? double(s.u)
                                         : s.kind == ValueKind::Signed ? double(s.i) : s.f);
                        appendCell(bytes, frame, element, s);
                    }
                    break;  // a vector is one row
                }
                const ScalarValue s = scalarValue(frame, f, raw);
                const std::string t = numberDtype(s.kind, s.width);
                if (t.empty()) continue;
                if (!rowType.empty() && rowType != t) alike = false;
                rowType = t;
                values.push_back(s.kind == ValueKind::Unsigned ? double(s.u) : s.kind == ValueKind::Signed ? double(s.i) : s.f);
                appendCell(bytes, frame, f, s);
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
            cells.push_back(std::move(bytes));
        }
        warnUnread(unread, type, state_->path);
        if (rows.empty()) return py::array_t<double>(std::vector<py::ssize_t>{0, 0});
        if (!found) throw py::key_error("record type " + std::to_string(type) + " has no number field or vector \"" + field + "\"");
        const auto n = static_cast<py::ssize_t>(rows.size());
        if (alike) {
            py::array out(py::dtype(dtype), {n, static_cast<py::ssize_t>(length)}, {});
            auto* to = static_cast<char*>(out.mutable_data());
            for (const std::string& r : cells) {
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

// tarvik.Record: what iteration makes a million times over, so a plain C type.
// It holds the file, its position and a copy of its index entry, and the
// header values a loop reads of every record (type, device, enumerator, time)
// as members; the other attributes are made when asked for, and what comes
// from the frame (header, fields, bytes ...) is read through the file's own
// methods.
struct RecordObject {
    PyObject_HEAD
    PyObject* file;  // the File it belongs to (a strong reference)
    // What a loop over the records reads of each, made with the record: plain
    // members that the interpreter reads without a call.
    PyObject* type;
    PyObject* device;
    PyObject* enumerator;
    PyObject* time;
    std::size_t number;
    RecordIndexEntry entry;
};

PyTypeObject* recordClass = nullptr;

// Records die as fast as iteration makes them: their memory is kept for the next.
constexpr std::size_t kFreeRecords = 64;
std::array<RecordObject*, kFreeRecords> freeRecords{};
std::size_t freeRecordCount = 0;

// Types, devices and enumerators repeat from record to record: one int object
// for each 16-bit value met, made on first use and kept for the process.
PyObject* uint16Object(std::uint16_t v) {
    static std::array<PyObject*, 65536> objects{};
    PyObject*& o = objects[v];
    if (!o) o = PyLong_FromUnsignedLong(v);
    return Py_XNewRef(o);
}

std::int64_t entryTimeNs(const RecordIndexEntry& e) { return epochNanoseconds(e.time()).value_or(kNaT); }

PyObject* newRecord(PyObject* file, std::size_t number, const RecordIndexEntry& entry) {
    RecordObject* r;
    if (freeRecordCount > 0) {
        r = freeRecords[--freeRecordCount];
        PyObject_Init(reinterpret_cast<PyObject*>(r), recordClass);
    } else {
        r = PyObject_GC_New(RecordObject, recordClass);
        if (!r) return nullptr;
    }
    r->file = Py_NewRef(file);
    r->type = uint16Object(entry.recordType());
    r->device = uint16Object(entry.deviceId());
    r->enumerator = uint16Object(entry.systemEnumerator());
    r->time = newDatetime64(entryTimeNs(entry));
    r->number = number;
    r->entry = entry;
    PyObject_GC_Track(r);
    if (!r->type || !r->device || !r->enumerator || !r->time) {
        Py_DECREF(r);
        return nullptr;
    }
    return reinterpret_cast<PyObject*>(r);
}

RecordObject* asRecord(PyObject* o) { return reinterpret_cast<RecordObject*>(o); }

int recordClear(PyObject* o) {
    RecordObject* r = asRecord(o);
    Py_CLEAR(r->file);
    Py_CLEAR(r->type);
    Py_CLEAR(r->device);
    Py_CLEAR(r->enumerator);
    Py_CLEAR(r->time);
    return 0;
}

void recordDealloc(PyObject* o) {
    PyTypeObject* type = Py_TYPE(o);
    PyObject_GC_UnTrack(o);
    recordClear(o);
    if (type == recordClass && freeRecordCount < kFreeRecords) freeRecords[freeRecordCount++] = asRecord(o);
    else PyObject_GC_Del(o);
    Py_DECREF(type);
}

int recordTraverse(PyObject* o, visitproc visit, void* arg) {
    Py_VISIT(asRecord(o)->file);
    Py_VISIT(Py_TYPE(o));
    return 0;
}

PyObject* recordRepr(PyObject* o) {
    const RecordObject* r = asRecord(o);
    return PyUnicode_FromFormat("<tarvik.Record %zu: type %u, %u bytes, device %u>", r->number,
                                unsigned{r->entry.recordType()}, unsigned{r->entry.size()}, unsigned{r->entry.deviceId()});
}

// Two records are equal when they are the same position of the same open file.
PyObject* recordCompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || Py_TYPE(b) != recordClass) Py_RETURN_NOTIMPLEMENTED;
    const bool same = asRecord(a)->file == asRecord(b)->file && asRecord(a)->number == asRecord(b)->number;
    return PyBool_FromLong(same == (op == Py_EQ));
}

Py_hash_t recordHash(PyObject* o) {
    const auto file = reinterpret_cast<std::uintptr_t>(asRecord(o)->file);
    const auto h = static_cast<Py_hash_t>((file >> 4) ^ (asRecord(o)->number * 1000003u));
    return h == -1 ? -2 : h;
}

std::int64_t recordTimeNs(const RecordObject* r) { return entryTimeNs(r->entry); }

PyObject* getFile(PyObject* o, void*) { return Py_NewRef(asRecord(o)->file); }
PyObject* getNumber(PyObject* o, void*) { return PyLong_FromSize_t(asRecord(o)->number); }
PyObject* getSize(PyObject* o, void*) { return PyLong_FromUnsignedLong(asRecord(o)->entry.size()); }
PyObject* getCounter(PyObject* o, void*) { return PyLong_FromUnsignedLong(asRecord(o)->entry.recordCounter()); }
PyObject* getOffset(PyObject* o, void*) { return PyLong_FromUnsignedLongLong(asRecord(o)->entry.offset()); }
PyObject* getTimeNs(PyObject* o, void*) { return PyLong_FromLongLong(recordTimeNs(asRecord(o))); }

// What comes from the frame: the file's method `name` of the record's position.
PyObject* fromFrame(PyObject* o, const char* name) {
    return PyObject_CallMethod(asRecord(o)->file, name, "n", static_cast<Py_ssize_t>(asRecord(o)->number));
}
PyObject* getHeader(PyObject* o, void*) { return fromFrame(o, "_header"); }
PyObject* getFields(PyObject* o, void*) { return fromFrame(o, "_fields"); }
PyObject* getBytes(PyObject* o, void*) { return fromFrame(o, "_bytes"); }
PyObject* getChecksumOk(PyObject* o, void*) { return fromFrame(o, "_checksum_ok"); }
PyObject* getProblems(PyObject* o, void*) { return fromFrame(o, "_problems"); }
PyObject* recordReport(PyObject* o, PyObject*) { return fromFrame(o, "_report"); }

PyObject* recordValues(PyObject* o, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"raw", nullptr};
    int raw = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|p:values", const_cast<char**>(names), &raw)) return nullptr;
    return PyObject_CallMethod(asRecord(o)->file, "_fields", "nO", static_cast<Py_ssize_t>(asRecord(o)->number),
                               raw ? Py_True : Py_False);
}

PyObject* recordToJson(PyObject* o, PyObject* args, PyObject* kwargs) {
    static const char* names[] = {"hex", "indent", nullptr};
    int hex = 0, indent = 2;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|pi:to_json", const_cast<char**>(names), &hex, &indent)) return nullptr;
    return PyObject_CallMethod(asRecord(o)->file, "_to_json", "nOi", static_cast<Py_ssize_t>(asRecord(o)->number),
                               hex ? Py_True : Py_False, indent);
}

PyGetSetDef recordGetSet[] = {
    {"file", getFile, nullptr, "The File the record belongs to (kept open while the record lives).", nullptr},
    {"number", getNumber, nullptr, "The record's position in the file.", nullptr},
    {"size", getSize, nullptr, "The frame's size in bytes.", nullptr},
    {"record_counter", getCounter, nullptr, "The record counter of the frame header.", nullptr},
    {"offset", getOffset, nullptr, "The frame's byte offset in the file.", nullptr},
    {"time_ns", getTimeNs, nullptr, "The time stamp in nanoseconds since 1970 UTC, an int.", nullptr},
    {"header", getHeader, nullptr, "The frame header fields, named as in report --json.", nullptr},
    {"fields", getFields, nullptr,
     "Field name -> value, as the layout walk finds them, named as in the layout and report --json: numbers as the "
     "report shows them (angles in degrees; values(raw=True) gives them as stored), texts as str, repeat blocks as "
     "lists of dicts, vectors and sample blocks as numpy arrays over the record's bytes (a copy when converted).",
     nullptr},
    {"bytes", getBytes, nullptr, "The frame's bytes.", nullptr},
    {"checksum_ok", getChecksumOk, nullptr, "True or False when the flags claim a checksum, else None.", nullptr},
    {"problems", getProblems, nullptr,
     "What the layout walk found wrong: the lines that say why it stopped early and the message texts.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef recordMembers[] = {
    {"type", T_OBJECT_EX, offsetof(RecordObject, type), READONLY, "The record type."},
    {"device", T_OBJECT_EX, offsetof(RecordObject, device), READONLY, "The device identifier."},
    {"enumerator", T_OBJECT_EX, offsetof(RecordObject, enumerator), READONLY, "The system enumerator."},
    {"time", T_OBJECT_EX, offsetof(RecordObject, time), READONLY,
     "The time stamp as numpy.datetime64 (ns, UTC; NaT when it names no instant)."},
    {nullptr, 0, 0, 0, nullptr},
};

PyMethodDef recordMethods[] = {
    {"values", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(recordValues)), METH_VARARGS | METH_KEYWORDS,
     "values(raw=False)\n--\n\nThe fields as a dict (what `fields` gives); raw=True: numbers as stored (angles in "
     "radians)."},
    {"report", recordReport, METH_NOARGS, "report()\n--\n\nThe report lines, as the window and tarvik-cli report show them."},
    {"to_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(recordToJson)), METH_VARARGS | METH_KEYWORDS,
     "to_json(hex=False, indent=2)\n--\n\nWhat tarvik-cli report --json prints for the record (indent=-1: one line)."},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char* kRecordDoc =
    "One record of a file; nothing is read until its bytes are asked for.\n\n"
    "From the index: file, number (position in the file), type, size, device, enumerator,\n"
    "record_counter, offset, time_ns (nanoseconds since 1970 UTC) and time (numpy.datetime64;\n"
    "NaT when the stamp names no instant).\n\n"
    "From the frame (read again on each use): header, fields, bytes, checksum_ok, problems,\n"
    "values(raw=False), report() and to_json(hex=False, indent=2).";

PyType_Slot recordSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(recordDealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(recordTraverse)},
    {Py_tp_clear, reinterpret_cast<void*>(recordClear)},
    {Py_tp_repr, reinterpret_cast<void*>(recordRepr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(recordCompare)},
    {Py_tp_hash, reinterpret_cast<void*>(recordHash)},
    {Py_tp_getset, recordGetSet},
    {Py_tp_members, recordMembers},
    {Py_tp_methods, recordMethods},
    {Py_tp_doc, const_cast<char*>(kRecordDoc)},
    {0, nullptr},
};

// Records are made by their file only: one made from Python would hold no file.
PyType_Spec recordSpec = {"tarvik.Record", sizeof(RecordObject), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION, recordSlots};

// The iterator of File.records(): a record per step, straight from the index.
struct RecordIteratorObject {
    PyObject_HEAD
    PyObject* file;
    const RecordIndex* index;  // owned by the file's state, alive while `file` is
    std::size_t position;
    std::vector<std::uint32_t>* types;    // empty: any
    std::vector<std::uint32_t>* devices;  // empty: any
};

PyTypeObject* recordIteratorClass = nullptr;

RecordIteratorObject* asIterator(PyObject* o) { return reinterpret_cast<RecordIteratorObject*>(o); }

void iteratorDealloc(PyObject* o) {
    PyTypeObject* type = Py_TYPE(o);
    PyObject_GC_UnTrack(o);
    RecordIteratorObject* it = asIterator(o);
    Py_CLEAR(it->file);
    delete it->types;
    delete it->devices;
    PyObject_GC_Del(o);
    Py_DECREF(type);
}

int iteratorTraverse(PyObject* o, visitproc visit, void* arg) {
    Py_VISIT(asIterator(o)->file);
    Py_VISIT(Py_TYPE(o));
    return 0;
}

int iteratorClear(PyObject* o) {
    Py_CLEAR(asIterator(o)->file);
    return 0;
}

PyObject* iteratorNext(PyObject* o) {
    RecordIteratorObject* it = asIterator(o);
    if (!it->file) return nullptr;
    const RecordIndex& index = *it->index;
    const std::vector<std::uint32_t>& t = *it->types;
    const std::vector<std::uint32_t>& d = *it->devices;
    while (it->position < index.size()) {
        const std::size_t position = it->position++;
        const RecordIndexEntry& e = index[position];
        if (!t.empty() && std::find(t.begin(), t.end(), e.recordType()) == t.end()) continue;
        if (!d.empty() && std::find(d.begin(), d.end(), e.deviceId()) == d.end()) continue;
        return newRecord(it->file, position, e);
    }
    return nullptr;  // the end: no exception set
}

PyType_Slot recordIteratorSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(iteratorDealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(iteratorTraverse)},
    {Py_tp_clear, reinterpret_cast<void*>(iteratorClear)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(iteratorNext)},
    {Py_tp_doc, const_cast<char*>("The records of a file, in file order.")},
    {0, nullptr},
};

PyType_Spec recordIteratorSpec = {"tarvik._RecordIterator", sizeof(RecordIteratorObject), 0,
                                  Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                                  recordIteratorSlots};

// The File of `self`; a TypeError for one made without its constructor
// (File.__new__ alone), which holds nothing to read. The instance's own
// record of whether its C++ object was made is asked: a cast would hand out
// memory that no constructor ran on.
const File& opened(const py::handle& self) {
    if (!py::isinstance<File>(self)) throw py::type_error("not a tarvik.File");
    auto* instance = reinterpret_cast<py::detail::instance*>(self.ptr());
    const py::detail::value_and_holder made = instance->get_value_and_holder(py::detail::get_type_info(typeid(File)));
    if (!made || !made.holder_constructed())
        throw py::type_error("this tarvik.File was never opened: make one with tarvik.open(path)");
    return *made.value_ptr<File>();
}

py::object recordAt(const py::object& self, std::int64_t i) {
    const File& f = opened(self);
    const std::size_t at = f.position(i);
    PyObject* r = newRecord(self.ptr(), at, f.state()->source->index()[at]);
    if (!r) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(r);
}

py::object iterateRecords(const py::object& self, const py::object& types, const py::object& devices) {
    const File& f = opened(self);
    auto t = std::make_unique<std::vector<std::uint32_t>>(numberList(types));
    auto d = std::make_unique<std::vector<std::uint32_t>>(numberList(devices));
    RecordIteratorObject* it = PyObject_GC_New(RecordIteratorObject, recordIteratorClass);
    if (!it) throw py::error_already_set();
    it->file = Py_NewRef(self.ptr());
    it->index = &f.state()->source->index();
    it->position = 0;
    it->types = t.release();
    it->devices = d.release();
    PyObject_GC_Track(it);
    return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(it));
}

// The positions of the records of `types` (empty: any) that `where` passes: an
// expression over fields, or record types as the list's filter takes them.
// ValueError, with the place marked, when it is neither.
std::vector<std::size_t> matchingRecords(const py::object& self, const std::string& where, const py::object& types) {
    const File& f = opened(self);
    const std::shared_ptr<const Definitions> definitions = f.state()->definitions;
    Result<RecordFilter> filter = expr::compileFilter(where, definitions->loaded.catalogue);
    if (!filter) throw py::value_error(filter.error());
    const std::vector<std::uint32_t> wanted = numberList(types);
    std::vector<std::size_t> out;
    {
        py::gil_scoped_release release;
        const IndexedRecordSource& source = *f.state()->source;
        const RecordIndex& index = source.index();
        for (std::size_t i = 0; i < index.size(); ++i) {
            const std::uint32_t type = index[i].recordType();
            if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), type) == wanted.end()) continue;
            if (!filter->passesType(type)) continue;
            if (!filter->byTypeOnly()) {
                const Bytes frame = source.readFrame(i);
                const std::optional<RecordOrigin> origin = source.frameOrigin(i);
                if (!filter->passes(frame, {static_cast<std::uint32_t>(i), origin ? &*origin : nullptr})) continue;
            }
            out.push_back(i);
        }
    }
    return out;
}

// The series of a plot: for each, its name, unit, and numpy arrays of x, y and
// the record positions the points come from.
py::list plotSeries(const py::object& self, const std::vector<std::string>& y, const std::string& x,
                    const py::object& where) {
    const File& f = opened(self);
    const std::shared_ptr<const Definitions> definitions = f.state()->definitions;
    const std::optional<plot::Axis> axis = plot::axisNamed(x);
    if (!axis) throw py::value_error("x is 'time' or 'ping', not '" + x + "'");
    Result<plot::PlotModel> model = plot::PlotModel::compile(y, *axis, definitions->loaded.catalogue);
    if (!model) throw py::value_error(model.error());
    std::optional<RecordFilter> filter;
    if (!where.is_none()) {
        Result<RecordFilter> compiled = expr::compileFilter(py::str(where).cast<std::string>(), definitions->loaded.catalogue);
        if (!compiled) throw py::value_error(compiled.error());
        filter = std::move(*compiled);
    }
    plot::Plot computed;
    {
        py::gil_scoped_release release;
        computed = model->compute(*f.state()->source, filter ? &*filter : nullptr);
    }
    py::list out;
    for (const plot::Series& s : computed.series) {
        py::array_t<double> xs(static_cast<py::ssize_t>(s.points.size()));
        py::array_t<double> ys(static_cast<py::ssize_t>(s.points.size()));
        py::array_t<std::int64_t> records(static_cast<py::ssize_t>(s.points.size()));
        auto xv = xs.mutable_unchecked<1>();
        auto yv = ys.mutable_unchecked<1>();
        auto rv = records.mutable_unchecked<1>();
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            const auto at = static_cast<py::ssize_t>(i);
            xv(at) = s.points[i].x;
            yv(at) = s.points[i].y;
            rv(at) = static_cast<std::int64_t>(f.state()->source->rowRecordNumber(s.points[i].row));
        }
        py::dict d;
        d["name"] = s.name;
        d["unit"] = s.unit;
        d["x"] = xs;
        d["y"] = ys;
        d["record"] = records;
        d["truncated"] = s.truncated;
        out.append(d);
    }
    return out;
}

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
    py::dict result = py::module_::import("json").attr("loads")(json);
    result["file"] = pathObject(p);  // the JSON text has U+FFFD for bytes that are not UTF-8
    return result;
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
void registerCompareSupport(py::module_& m);  // compare_support.cpp

} // namespace tarvik::python

namespace tarvik::python {
void registerProfileBindings(py::module_& m);  // profile_bindings.cpp
}

PYBIND11_MODULE(_tarvik, m) {
    using namespace tarvik::python;
    m.doc() = "The C++ half of the tarvik package (use the tarvik package, not this module).";
    m.attr("__version__") = TARVIK_VERSION;
    py::module_ errors = py::module_::import("tarvik._errors");
    recordFileError = py::object(errors.attr("RecordFileError")).release();
    if (_import_array() < 0) throw py::error_already_set();
    recordClass = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&recordSpec));
    recordIteratorClass = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&recordIteratorSpec));
    if (!recordClass || !recordIteratorClass) throw py::error_already_set();
    // The module keeps a reference of its own to each (the types live as long as the process).
    m.attr("Record") = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(recordClass));
    m.attr("_RecordIterator") = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(recordIteratorClass));

    // No attribute dictionary here: the Python subclass (tarvik.File) has its own. With both, the
    // collector visited the one dictionary twice and never freed a file that refers to itself.
    py::class_<File>(m, "File")
        .def(py::init<const py::object&, const py::object&, bool>(), py::arg("path"), py::arg("layouts") = py::none(),
             py::arg("read_past_damage") = false)
        // Every method goes through opened(self): an instance made by File.__new__ alone has no File.
        .def("__len__", [](const py::object& self) { return opened(self).size(); })
        .def("__getitem__", &recordAt)
        .def("_records", &iterateRecords, py::arg("types") = py::none(), py::arg("devices") = py::none())
        .def("_matching", &matchingRecords, py::arg("where"), py::arg("types") = py::none())
        .def("_series", &plotSeries, py::arg("y"), py::arg("x") = "time", py::arg("where") = py::none())
        .def_property_readonly("path", [](const py::object& self) { return opened(self).path(); })
        .def_property_readonly("warnings", [](const py::object& self) { return opened(self).warnings(); })
        .def_property_readonly("index", [](const py::object& self) { return opened(self).index(); })
        .def("_table", [](const py::object& self, std::uint32_t type, const py::object& fields, bool raw) {
            return opened(self).table(type, fields, raw);
        }, py::arg("type"), py::arg("fields") = py::none(), py::arg("raw") = false)
        .def("_arrays", [](const py::object& self, std::uint32_t type, const std::string& field, bool raw) {
            return opened(self).arrays(type, field, raw);
        }, py::arg("type"), py::arg("field"), py::arg("raw") = false)
        .def("_bytes", [](const py::object& self, std::int64_t i) { return opened(self).record(i).bytes(); })
        .def("_header", [](const py::object& self, std::int64_t i) { return opened(self).record(i).header(); })
        .def("_fields", [](const py::object& self, std::int64_t i, bool raw) { return opened(self).record(i).fields(raw); },
             py::arg("i"), py::arg("raw") = false)
        .def("_problems", [](const py::object& self, std::int64_t i) { return opened(self).record(i).problems(); })
        .def("_report", [](const py::object& self, std::int64_t i) { return opened(self).record(i).report(); })
        .def("_to_json", [](const py::object& self, std::int64_t i, bool hex, int indent) {
            return opened(self).record(i).toJson(hex, indent);
        })
        .def("_checksum_ok", [](const py::object& self, std::int64_t i) { return opened(self).record(i).checksumOk(); });
    m.def("check", &check, py::arg("path"), py::arg("layouts") = py::none(), py::arg("walk_layouts") = true);
    // Parses a filter against the layouts (ValueError when it is none), before work is handed out.
    m.def("_check_filter", [](const std::string& text, const py::object& layouts) {
        const std::shared_ptr<const Definitions> d = loadDefinitions(layoutPaths(layouts));
        tarvik::Result<tarvik::RecordFilter> filter = tarvik::expr::compileFilter(text, d->loaded.catalogue);
        if (!filter) throw py::value_error(filter.error());
    }, py::arg("text"), py::arg("layouts") = py::none());
    m.def("catalogue", &catalogue, py::arg("layouts") = py::none());
    registerAuditSupport(m);
    registerCompareSupport(m);
    registerProfileBindings(m);
}
