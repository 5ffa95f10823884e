"""Bad input: every error path raises with tarvik-cli's message, and nothing crashes the interpreter."""

import os
import random
import warnings

import pytest

import tarvik
from conftest import cli


def cli_message(path):
    """What tarvik-cli list says on stderr about a file it cannot read."""
    run = cli("list", path, check=False)
    assert run.returncode != 0
    return run.stderr.strip()


def test_unreadable_paths(tmp_path):
    fifo = tmp_path / "pipe.vxr"
    os.mkfifo(fifo)
    for path in (tmp_path, fifo, tmp_path / "missing.vxr"):
        with pytest.raises(tarvik.RecordFileError) as e:
            tarvik.open(path)
        assert str(e.value) == cli_message(path)
        assert isinstance(e.value, OSError)
    # A live address names no file: said so, with the address.
    with pytest.raises(tarvik.RecordFileError, match="^tcp://127.0.0.1:7000 is a live address"):
        tarvik.open("tcp://127.0.0.1:7000")


def test_broken_file_opens_up_to_the_break(sample, tmp_path):
    data = sample.read_bytes()
    whole = len(tarvik.open(sample))
    broken = tmp_path / "broken.vxr"
    broken.write_bytes(data[: len(data) // 2] + b"\x00" * 100)
    with pytest.warns(RuntimeWarning) as caught:
        f = tarvik.open(broken)
    assert 0 < len(f) < whole
    assert str(caught[0].message) in cli("list", broken, check=False).stderr
    assert f.warnings == [str(w.message) for w in caught]
    # Reading past the damage goes on at the next frame.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        assert len(tarvik.open(broken, read_past_damage=True)) >= len(f)


def test_faulty_layout_names_file_and_line(sample, tmp_path):
    layout = tmp_path / "bad.yaml"
    layout.write_text('records:\n  - type: 7000\n    title: "Bad"\n    items:\n      - ["Ping", nosuchformat, 4]\n')
    with pytest.raises(tarvik.LayoutError) as e:
        tarvik.open(sample, layouts=layout)
    assert e.value.file == str(layout) and e.value.line == 5
    assert str(e.value).startswith(f"{layout}:5:")
    with pytest.raises(tarvik.LayoutError):
        tarvik.check(sample, layouts=layout)
    with pytest.raises(tarvik.LayoutError):
        tarvik.catalogue(layouts=tmp_path / "no-such-folder")


def test_bytes_paths_name_the_same_files(sample, tmp_path):
    layout = tmp_path / "bad.yaml"
    layout.write_text('records:\n  - type: 7000\n    title: "Bad"\n    items:\n      - ["Ping", nosuchformat, 4]\n')
    assert len(tarvik.open(os.fsencode(sample))) == len(tarvik.open(sample))
    with pytest.raises(tarvik.LayoutError) as e:
        tarvik.open(sample, layouts=os.fsencode(layout))
    assert e.value.file == str(layout)


def test_check_of_unreadable_file(tmp_path):
    result = tarvik.check(tmp_path)
    assert result["readable"] is False


def test_damaged_records_decode_without_crash(sample, tmp_path):
    # Bytes changed at random in every record: every view of every record
    # either works or raises a Python exception.
    data = bytearray(sample.read_bytes())
    rng = random.Random(7)
    damaged = tmp_path / "damaged.vxr"
    for round_ in range(4):
        copy = bytearray(data)
        for _ in range(60):
            copy[rng.randrange(64, len(copy))] = rng.randrange(256)
        damaged.write_bytes(bytes(copy))
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            f = tarvik.open(damaged, read_past_damage=True)
        for r in f:
            r.fields, r.problems, r.report(), r.to_json(), r.checksum_ok, r.header
        for t in (7000, 7027):
            f.table(t)
        try:
            f.arrays(7027, "Detection point")
        except KeyError:
            pass
        tarvik.check(damaged)


def test_objects_made_without_their_constructor_refuse_or_raise(sample):
    from tarvik import _tarvik

    # Records and their iterator are made by a file only.
    for cls in (tarvik.Record, _tarvik._RecordIterator):
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):
            cls.__new__(cls)
    # A File made by __new__ alone holds no file: every method says so, none reads a null pointer.
    for cls in (tarvik.File, _tarvik.File):
        empty = cls.__new__(cls)
        calls = [len, lambda f: next(iter(f)), repr, lambda f: f[0], lambda f: f.path, lambda f: f.warnings, lambda f: f.index,
                 lambda f: f._records(), lambda f: f._table(7000), lambda f: f._arrays(7000, "x"),
                 lambda f: f._bytes(0), lambda f: f._header(0), lambda f: f._fields(0), lambda f: f._problems(0),
                 lambda f: f._report(0), lambda f: f._to_json(0, False, 2), lambda f: f._checksum_ok(0)]
        if cls is tarvik.File:
            calls += [lambda f: f.records(), lambda f: f.table(7000), lambda f: f.arrays(7000, "x")]
        for call in calls:
            if call is repr:
                assert "tarvik.File" in repr(empty)
                continue
            with pytest.raises(TypeError, match="never opened"):
                call(empty)
    # Copies would be made by __new__ alone: refused.
    import copy

    f = tarvik.open(sample)
    for thing in (f, f[0], iter(f)):
        with pytest.raises(TypeError):
            copy.copy(thing)
    # The errors are ordinary exceptions.
    assert str(tarvik.LayoutError("m")) == "m" and tarvik.RecordFileError("x").args == ("x",)


def test_numbers_a_caller_passes_are_bounded(sample):
    import json as json_

    f = tarvik.open(sample)
    r = f[0]
    for indent in (-1, 0, 64):
        assert json_.loads(r.to_json(indent=indent)) == json_.loads(r.to_json())
    assert "\n" not in r.to_json(indent=-1)
    for indent in (-2, 65, 1500, 1000000):
        with pytest.raises(ValueError, match="indent"):
            r.to_json(indent=indent)
    with pytest.raises(OverflowError):
        r.to_json(indent=2**40)
    with pytest.raises(IndexError):
        f[len(f)]
    with pytest.raises((IndexError, OverflowError, TypeError)):
        f[2**70]
    for bad in (-1, 2**32, 2**70, None, "x"):
        with pytest.raises((TypeError, ValueError, OverflowError, KeyError)):
            f.table(bad)
        with pytest.raises((TypeError, ValueError, OverflowError, KeyError)):
            f.arrays(bad, "x")
        with pytest.raises((TypeError, ValueError, OverflowError)):
            list(f.records(types=[bad]))
    assert list(f.records(types=[])) == list(f)


def test_paths_that_are_not_utf8(sample, tmp_path):
    name = os.path.join(os.fsencode(tmp_path), b"survey-\xff\xfe.vxr")
    with open(name, "wb") as out:
        out.write(sample.read_bytes())
    import pathlib

    for path in (name, os.fsdecode(name), pathlib.Path(os.fsdecode(name))):
        f = tarvik.open(path)
        assert len(f) == len(tarvik.open(sample))
        assert f.path == os.fsdecode(name) and os.fsencode(f.path) == name
        assert tarvik.check(path)["file"] == os.fsdecode(name)
        assert tarvik.check(path)["frames"] == len(f)
    # A message that names such a path shows the bytes escaped (it prints anywhere).
    missing = os.path.join(os.fsencode(tmp_path), b"gone-\xff.vxr")
    with pytest.raises(tarvik.RecordFileError) as e:
        tarvik.open(missing)
    assert "gone-\\xff.vxr" in str(e.value)
    str(e.value).encode("utf-8")
    for bad in (None, 7, 1.5, object()):
        with pytest.raises(TypeError):
            tarvik.open(bad)
    with open(sample, "rb") as handle:
        with pytest.raises(TypeError):
            tarvik.open(handle)


def test_file_cut_off_mid_frame_warns_and_marks_the_record(sample, tmp_path):
    data = sample.read_bytes()
    whole = tarvik.open(sample)
    last = whole[len(whole) - 1]
    cut = tmp_path / "cut.vxr"
    cut.write_bytes(data[: last.offset + 100])  # the last frame keeps 100 of its bytes
    with pytest.warns(RuntimeWarning) as caught:
        f = tarvik.open(cut)
    assert len(f) == len(whole)
    messages = [str(w.message) for w in caught]
    assert any("Is Cut Off" in m for m in messages), messages
    assert all(m in cli("list", cut, check=False).stderr for m in messages)
    assert f[-1].problems[0] == f"cut off: 100 of its {last.size} bytes are held"
    assert not any("cut off" in p for p in f[-2].problems)
    assert not any("cut off" in p for p in last.problems)
