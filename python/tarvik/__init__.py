"""Vx sonar record files and packet captures in Python.

The records are read, decoded and checked by the same C++ that tarvik and
tarvik-cli use; this package only arranges the results for numpy and pandas::

    import tarvik
    f = tarvik.open("survey.vxr")
    f.index[:3]
    f.table(7027).describe()
"""

from __future__ import annotations

import os
import warnings as _warnings

from ._errors import LayoutError, RecordFileError, TarvikError
from . import _tarvik

__all__ = ["open", "check", "File", "RecordFileError", "LayoutError", "TarvikError"]

__version__ = _tarvik.__version__ if hasattr(_tarvik, "__version__") else "0"


class File(_tarvik.File):
    """An open record file (*.vxr) or packet capture (*.pcap, *.pcapng).

    Use :func:`tarvik.open` to make one. ``len(f)`` is the number of records.
    """

    def __repr__(self) -> str:
        return f"<tarvik.File {self.path!r}: {len(self)} records>"


def open(path: str | os.PathLike, layouts=None, read_past_damage: bool = False) -> File:  # noqa: A001
    """Opens a record file or a packet capture and indexes it.

    ``layouts`` adds layout definition files (a path or a list of paths, each
    a YAML file or a folder of them) after the built-in ones and the user's
    own folder, as ``tarvik-cli --layouts`` does. A file that breaks part way
    is opened up to the broken frame, with tarvik-cli's message as a
    :class:`RuntimeWarning` (``read_past_damage=True`` goes on at the next
    sync pattern instead).

    Raises :class:`RecordFileError` when the file cannot be read at all and
    :class:`LayoutError` when a layout file is faulty.
    """
    f = File(path, layouts, read_past_damage)
    for text in f.warnings:
        _warnings.warn(text, RuntimeWarning, stacklevel=2)
    return f


def check(path: str | os.PathLike, layouts=None, walk_layouts: bool = True) -> dict:
    """Checks every frame of a record file or capture: what ``tarvik-cli check --json`` prints, as a dict."""
    return _tarvik.check(path, layouts, walk_layouts)
