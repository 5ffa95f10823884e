"""Vx sonar record files and packet captures in Python.

The records are read, decoded and checked by the same C++ that tarvik and
tarvik-cli use; this package only arranges the results for numpy and pandas::

    import tarvik
    f = tarvik.open("survey.vxr")
    f.index[:3]
    f.table(7027).describe()

Fields are named as the layouts name them, and numbers are the values the
report shows (angles stored in radians in degrees, as ``report --json`` and
``tarvik-cli export`` give them; ``raw=True`` gives them as stored); times
are UTC, as ``numpy.datetime64`` in nanoseconds.
"""

from __future__ import annotations

import os
import warnings as _warnings
from dataclasses import dataclass as _dataclass
from typing import Any, Iterable, Iterator

import numpy as _np

from ._errors import LayoutError, ProfileError, RecordFileError, TarvikError
from . import _tarvik

__all__ = ["open", "check", "catalogue", "diff", "Diff", "expect", "expect_failures", "File", "Record",
           "RecordFileError", "LayoutError", "ProfileError", "TarvikError"]

__version__: str = _tarvik.__version__

# One record of a file, made by the C++ half (see its docstring): a small object
# that holds the record's place and index entry and reads nothing more until asked.
Record = _tarvik.Record


def _numbers(value):
    if value is None:
        return None
    if isinstance(value, int):
        return [value]
    return [int(v) for v in value]


class File(_tarvik.File):
    """An open record file (*.vxr) or packet capture (*.pcap, *.pcapng).

    Make one with :func:`tarvik.open`. ``len(f)`` is the number of records,
    ``f[i]`` the record at position ``i`` (negative counts from the end) and
    iterating gives every record in file order.
    """

    def __repr__(self) -> str:
        try:
            return f"<tarvik.File {self.path!r}: {len(self)} records>"
        except TypeError:  # made by File.__new__ alone: no file
            return "<tarvik.File (not opened)>"

    def __iter__(self) -> Iterator[Record]:
        return self._records()

    def records(self, types: int | Iterable[int] | None = None,
                devices: int | Iterable[int] | None = None, where: str | None = None) -> Iterator[Record]:
        """The records of the given types and devices (an int or a list; None: any), in file order.

        ``where`` keeps those an expression over their fields passes, as
        ``tarvik-cli list --filter`` does (docs/expressions.md), e.g.
        ``"7027 && 7027.number_of_detection_points > 100"``. Raises
        ValueError, naming the place, for an expression that does not parse.
        """
        if where is None:
            return self._records(_numbers(types), _numbers(devices))
        wanted = _numbers(devices)
        positions = self._matching(str(where), _numbers(types))
        return (r for r in (self[i] for i in positions) if wanted is None or r.device in wanted)

    def table(self, type: int, fields: Iterable[str] | None = None, raw: bool = False,  # noqa: A002
              where: str | None = None):
        """A pandas DataFrame with one row per record of ``type``.

        The columns are ``record`` (position in the file), ``time``,
        ``device`` and ``enumerator``, then one per scalar field of the
        record's layout (numbers, texts, time stamps), or the ``fields``
        named, in that order. Numbers keep their stored type (``uint32``,
        ``float32`` ...); a field that a record does not hold is missing
        (a pandas nullable integer column, NaN or NaT). Values are those the
        report shows: a field stored in radians and named "(deg)" holds
        degrees; ``raw=True`` gives the numbers as stored. The same table as
        ``tarvik-cli export`` (``--raw``).

        ``where`` keeps the rows of the records an expression over their
        fields passes (see ``records``).

        Raises KeyError when the type has no layout or a field is not one of
        its scalar fields, ValueError when ``where`` does not parse.
        """
        import numpy as np
        import pandas as pd

        columns = {}
        for name, kind, values, valid in self._table(int(type), None if fields is None else list(fields), bool(raw)):
            if valid is not None:  # None: every row holds the field
                if kind in ("u", "i"):
                    values = pd.arrays.IntegerArray(values, ~valid)
                elif kind == "s":
                    values = [v if ok else None for v, ok in zip(values, valid)]
            columns[name] = values
        # The columns are the module's own new arrays: pandas takes them as they are.
        frame = pd.DataFrame(columns, copy=False)
        if len(frame) == 0:
            frame = frame.astype({c: v.dtype for c, v in columns.items() if isinstance(v, np.ndarray)})
        if where is not None:
            keep = np.asarray(self._matching(str(where), [int(type)]), dtype=np.int64)
            frame = frame[np.isin(frame["record"].to_numpy(dtype=np.int64), keep)].reset_index(drop=True)
        return frame

    def series(self, y: str | Iterable[str], x: str = "time", where: str | None = None) -> list[dict]:
        """The series of a plot, as ``tarvik-cli plot`` and the window draw them.

        ``y`` is one or more field names or value expressions
        (docs/expressions.md), or the built-in ``"count"`` (the records so
        far) and ``"rate"`` (records per second). ``x`` is ``"time"`` (seconds
        since 1970, UTC) or ``"ping"`` (the ping number of the records that
        have one). ``where`` keeps the records an expression passes. Each
        series is a dict: ``name``, ``unit``, numpy arrays ``x``, ``y`` and
        ``record`` (the position of the record each point comes from) and
        ``truncated``. Raises ValueError for what does not parse.
        """
        names = [y] if isinstance(y, str) else [str(n) for n in y]
        return self._series(names, str(x), where)

    def arrays(self, type: int, field: str, raw: bool = False):  # noqa: A002
        """A 2-D numpy array: one row per record of ``type``.

        A row holds the elements of vector ``field``, or the values of the
        number ``field`` in each repeat block of the record (a bathymetry
        record's detection points for every ping, say). The stored type is
        kept when every row is as long; rows of unequal length are padded
        with NaN in a float64 array. Values are those the report shows (a
        "(deg)" vector stored in radians holds degrees); ``raw=True`` gives
        them as stored. Raises KeyError when no record of the type has such
        a field.
        """
        return self._arrays(int(type), field, bool(raw))


def open(path: str | os.PathLike, layouts=None, read_past_damage: bool = False) -> File:  # noqa: A001
    """Opens a record file or a packet capture and indexes it.

    ``layouts`` adds layout definition files (a path or a list of paths, each
    a YAML file or a folder of them) after the built-in ones and the user's
    own folder, as ``tarvik-cli --layouts`` does. A file that breaks part way
    is opened up to the broken frame, with tarvik-cli's message as a
    :class:`RuntimeWarning` (``read_past_damage=True`` goes on at the next
    sync pattern instead); the messages are also in ``File.warnings``.

    Raises :class:`RecordFileError` with tarvik-cli's message when the file
    cannot be read at all (a folder, a FIFO, no such file, not a capture) and
    :class:`LayoutError` when a layout file is faulty.
    """
    f = File(path, layouts, read_past_damage)
    for text in f.warnings:
        _warnings.warn(text, RuntimeWarning, stacklevel=2)
    return f


def check(path: str | os.PathLike, layouts=None, walk_layouts: bool = True) -> dict:
    """Checks every frame of a record file or capture.

    Returns what ``tarvik-cli check --json`` prints, as a dict: frames and
    bytes per record type, the first and last time, and each problem with its
    frame index and byte offset. ``walk_layouts=False`` is ``--no-layouts``.
    A file that cannot be read is not an exception: ``readable`` is false and
    ``unreadable`` says why, as in the CLI's document.
    """
    return _tarvik.check(path, layouts, walk_layouts)


def expect(source: str | os.PathLike, profile: str | os.PathLike, layouts=None) -> list[dict]:
    """Judges a test profile over a record file or capture, as ``tarvik-cli expect``.

    ``profile`` is a profile file or the name of a built-in profile
    ("bathymetry-feed"). Returns one dict per rule, in the profile's order:
    ``rule``, ``kind``, ``severity``, ``outcome`` ("passed", "failed" or
    "not_evaluated"), ``judged``, ``failures``, ``changes``, ``note`` and
    ``rows`` (the first failing rows, each a dict of ``row``, ``time`` and
    ``text``). Raises ProfileError for a profile that does not load and
    RecordFileError for a source that cannot be read.
    """
    document, problem = _tarvik._expect(source, os.fspath(profile), layouts)
    if problem is not None:
        kind, reason = problem
        raise ProfileError(reason) if kind == "profile" else RecordFileError(reason)
    return document["sources"][0]["rules"]


def expect_failures(source: str | os.PathLike, profile: str | os.PathLike, layouts=None):
    """The failing rows of ``expect`` as a pandas DataFrame.

    One row per failing row kept (the first of each rule): ``rule``,
    ``severity``, ``row``, ``time`` (seconds since 1970, UTC, or NaN) and
    ``text``; rules that passed or were not evaluated are left out.
    """
    import pandas as pd

    rows = []
    for rule in expect(source, profile, layouts):
        if rule["outcome"] != "failed":
            continue
        for r in rule["rows"]:
            rows.append({"rule": rule["rule"], "severity": rule["severity"], "row": r["row"],
                         "time": float("nan") if r["time"] is None else r["time"], "text": r["text"]})
    return pd.DataFrame(rows, columns=["rule", "severity", "row", "time", "text"])


def catalogue(layouts=None) -> list[dict]:
    """What can be decoded: one dict per record type.

    Keys: ``type``, ``title``, ``items`` (the layout's items as (name, format,
    number)) and ``fields`` (the scalar fields a table has, as (name, kind,
    width) with kind one of "u", "i", "f", "time", "text").
    """
    return _tarvik.catalogue(layouts)


# The columns of Diff.differences, in this order.
_DIFF_COLUMNS = ["kind", "row_a", "row_b", "type", "device", "enumerator", "paired_by", "field", "element",
                 "value_a", "value_b", "difference", "values_differing", "values_compared"]

#: The fields ``diff`` leaves out unless ``ignore`` is given.
DEFAULT_IGNORED: tuple[str, ...] = tuple(_tarvik._DEFAULT_IGNORED)


@_dataclass(frozen=True)
class Diff:
    """What ``diff`` found.

    ``differences``: one row per finding, in the order found: ``kind``
    ("differs", "only in A", "only in B"), ``row_a`` and ``row_b`` (frame
    numbers in each file, missing for the side without the record), the
    stream (``type``, ``device``, ``enumerator``), ``paired_by``, then for a
    field that differs its ``field`` name and ``element`` ("[3]" inside
    blocks and vectors), ``value_a`` and ``value_b`` as the report shows
    them, and ``difference`` (numbers); a summary of many differing
    elements has ``values_differing`` and ``values_compared`` and the
    largest ``difference``.
    ``summary``: one row per record type (pairs, equal, differing, only in
    A, only in B). ``fields``: one row per differing field (pairs, values,
    largest difference). ``equal``: nothing was found. ``notes``: what could
    not be read of each file, under "a" and "b".
    """

    differences: Any
    summary: Any
    fields: Any
    equal: bool
    notes: dict


def diff(a: str | os.PathLike, b: str | os.PathLike, tolerance=None, ignore=None, where: str | None = None,
         window: int = 10000, time_tolerance: float = 0.001, layouts=None) -> Diff:
    """Compares two recordings (record files or captures) as ``tarvik-cli diff`` does.

    Records are paired per device, enumerator and record type by ping
    number, record counter or time; each pair is compared field by field.
    ``tolerance``: ``{"vx.7027.detection_point": 0.5, "7006": "1%"}`` or
    texts as ``--tolerance`` takes them ("NAME=AMOUNT", "NAME=PERCENT%").
    ``ignore``: field names (a list or a comma-separated text, "PREFIX*"
    for many); None leaves out ``DEFAULT_IGNORED``, ``[]`` compares every
    field. ``where``: an expression both sides' records must pass.

    Raises ValueError for an unknown field name or a bad amount, and
    :class:`RecordFileError` when a file cannot be read at all.
    """
    import pandas as pd

    doc = _tarvik._diff(a, b, tolerance, ignore, where, int(window), float(time_tolerance), layouts)
    rows = doc["findings"]
    differences = pd.DataFrame(rows, columns=_DIFF_COLUMNS)
    for column in ("row_a", "row_b", "values_differing", "values_compared"):
        differences[column] = differences[column].astype("Int64")
    differences["difference"] = differences["difference"].astype("float64")
    summary = pd.DataFrame(doc["types"], columns=["type", "pairs", "equal", "differing", "only_in_a", "only_in_b"])
    fields = pd.DataFrame(doc["fields"], columns=["field", "pairs", "values", "largest_difference"])
    fields["largest_difference"] = fields["largest_difference"].astype("float64")
    if doc["findings_truncated"]:
        _warnings.warn(f"{doc['findings_total']} findings, the first {len(rows)} listed", RuntimeWarning, stacklevel=2)
    return Diff(differences, summary, fields, bool(doc["equal"]), {"a": doc["a"]["notes"], "b": doc["b"]["notes"]})
