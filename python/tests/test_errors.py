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
