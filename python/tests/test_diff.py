"""tarvik.diff: the differences tarvik-cli diff finds, as DataFrames."""

import json
import struct

import pytest

import tarvik
from conftest import cli


def changed_copy(source, target, item, value):
    """A copy of `source` in which the 7027 record's first item named `item`
    holds the u32 `value`, with the record's checksum made anew."""
    f = tarvik.open(source)
    record = next(r for r in f if r.type == 7027)
    doc = json.loads(record.to_json())
    field = next(i for i in doc["items"] if i["name"] == item)
    data = bytearray(open(source, "rb").read())
    frame = bytearray(record.bytes)
    struct.pack_into("<I", frame, field["offset"], value)
    struct.pack_into("<I", frame, len(frame) - 4, sum(frame[:-4]) & 0xFFFFFFFF)
    data[record.offset:record.offset + len(frame)] = frame
    open(target, "wb").write(bytes(data))
    return record.number, field


def test_a_file_equals_itself(sample):
    d = tarvik.diff(sample, sample)
    assert d.equal
    assert d.differences.empty
    assert list(d.differences.columns[:5]) == ["kind", "row_a", "row_b", "type", "device"]
    assert d.summary["pairs"].sum() == d.summary["equal"].sum() > 30
    assert d.notes == {"a": [], "b": []}


def test_one_changed_field_is_the_one_difference_and_the_cli_finds_the_same(sample, tmp_path):
    copy = tmp_path / "copy.vxr"
    row, field = changed_copy(sample, copy, "Ping number", 999)
    d = tarvik.diff(sample, copy)
    assert not d.equal
    assert len(d.differences) == 1
    found = d.differences.iloc[0]
    assert (found["kind"], found["row_a"], found["row_b"], found["field"]) == ("differs", row, row, "vx.7027.ping_number")
    assert (found["value_a"], found["value_b"]) == (str(field["value"]), "999")
    assert found["difference"] == abs(999 - field["value"])
    assert d.fields["field"].tolist() == ["vx.7027.ping_number"]

    out = tmp_path / "d.json"
    assert cli("diff", sample, copy, "--json", out, check=False).returncode == 1
    doc = json.loads(out.read_text())
    assert [(f["row_a"], f["field"], f["value_a"], f["value_b"]) for f in doc["findings"]] == \
        [(r.row_a, r.field, r.value_a, r.value_b) for r in d.differences.itertuples()]

    # A tolerance wide enough, or the field ignored, makes them equal.
    assert tarvik.diff(sample, copy, tolerance={"7027.ping_number": abs(999 - field["value"])}).equal
    assert not tarvik.diff(sample, copy, tolerance=[f"7027.ping_number={abs(999 - field['value']) - 1}"]).equal
    assert tarvik.diff(sample, copy, ignore=["vx.7027.*"]).equal
    assert tarvik.diff(sample, copy, where="7000").equal


def test_arguments_are_checked(sample, tmp_path):
    with pytest.raises(ValueError, match="did you mean vx.7027.quality"):
        tarvik.diff(sample, sample, tolerance="7027.qualty=1")
    with pytest.raises(ValueError):
        tarvik.diff(sample, sample, ignore="vx.tme")
    with pytest.raises(ValueError):
        tarvik.diff(sample, sample, where="7027.qualty > 1")
    with pytest.raises(tarvik.RecordFileError):
        tarvik.diff(sample, tmp_path / "none.vxr")
    assert tarvik.DEFAULT_IGNORED == ("vx.time", "vx.record_counter")
    # Without the defaults the time stamps of two generated files still agree.
    assert tarvik.diff(sample, sample, ignore=[]).equal
