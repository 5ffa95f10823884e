"""Records, their fields and reports against what tarvik-cli prints for the same file."""

import json
import math
import re

import numpy as np
import pytest

import tarvik
from conftest import cli


def flatten_json(items):
    """(name, value) of every item of report --json that has a value, in walk order."""
    out = []
    for item in items:
        if "value" in item:
            out.append((item["name"], item["value"]))
        for block in item.get("blocks", []):
            out.extend(flatten_json(block))
    return out


def flatten_fields(fields):
    out = []
    for name, value in fields.items():
        base = re.sub(r" \(\d+\)$", "", name)  # "Flags (2)": a name met again
        if isinstance(value, list):
            for block in value:
                out.extend(flatten_fields(block))
        elif isinstance(value, (int, float)) and not isinstance(value, bool):
            out.append((base, value))
    return out


def test_every_field_matches_report_json(sample):
    f = tarvik.open(sample)
    documents = [json.loads(line) for line in cli("report", sample, "--all", "--json").stdout.splitlines()]
    assert len(documents) == len(f)
    for record, doc in zip(f, documents):
        assert record.type == doc["header"]["recordType"]
        assert record.device == doc["header"]["deviceIdentifier"]
        assert record.header["size"] == doc["header"]["size"] == len(record.bytes)
        assert list(record.header) == list(doc["header"])
        expected = flatten_json(doc["items"])
        got = flatten_fields(record.fields)
        assert [n for n, _ in got] == [n for n, _ in expected], record
        for (name, a), (_, b) in zip(got, expected):
            if b is None:  # JSON has no NaN
                assert math.isnan(a) or math.isinf(a), name
            elif isinstance(a, float):
                assert a == pytest.approx(b, rel=1e-15), name
            else:
                assert a == b, name
        # The whole document, as report --json prints it (one line per record with --all).
        assert json.loads(record.to_json(indent=-1)) == doc


def test_record_access_and_views(sample):
    f = tarvik.open(sample)
    assert f[-1].number == len(f) - 1
    with pytest.raises(IndexError):
        f[len(f)]
    report = cli("report", sample, "--row", 3).stdout.splitlines()
    assert f[3].report() == report
    assert f[3].checksum_ok is True
    assert f[3].problems == []
    assert f[3].time == f.index["time"][3]
    # A record of the 7027 kind: its detection points are a repeat block.
    bathy = next(f.records(types=7027))
    points = bathy.fields["Vx RAW Detection data"]
    assert isinstance(points, list) and len(points) == bathy.fields["Number of detection Points"]
    assert set(points[0]) >= {"Beam Descriptor", "Detection point"}
    # Filters by type and device.
    types = [r.type for r in f.records(types=[7000, 7004])]
    assert types and set(types) == {7000, 7004}
    assert list(f.records(devices=[12345])) == []
    # Vectors as stored are arrays over the record's bytes (no copy).
    for r in f:
        for value in r.values(raw=True).values():
            if isinstance(value, np.ndarray):
                assert value.base is not None and not value.flags.owndata


def test_user_layout_changes_fields(sample, tmp_path):
    layout = tmp_path / "mine.yaml"
    layout.write_text('records:\n  - type: 7000\n    title: "Mine"\n    items:\n'
                      '      - ["Serial", u, 8]\n      - ["Ping", u, 4]\n')
    before = next(tarvik.open(sample).records(types=7000)).fields
    after = next(tarvik.open(sample, layouts=layout).records(types=7000)).fields
    assert "Sonar serial number" in before
    assert list(after) == ["Serial", "Ping"]
    assert after["Ping"] == before["Ping number"]
    # A folder of layouts works as tarvik-cli --layouts does.
    assert list(next(tarvik.open(sample, layouts=[tmp_path]).records(types=7000)).fields) == ["Serial", "Ping"]


def test_changed_layouts_are_seen(sample, tmp_path):
    # Loaded layouts are kept between calls, as long as their files stay as they were.
    folder = tmp_path / "layouts"
    folder.mkdir()
    layout = folder / "mine.yaml"
    layout.write_text('records:\n  - type: 7000\n    title: "Mine"\n    items:\n      - ["Serial", u, 8]\n')

    def title(layouts):
        return next(e["title"] for e in tarvik.catalogue(layouts) if e["type"] == 7000)

    assert title(layout) == title([folder]) == "Mine"
    layout.write_text('records:\n  - type: 7000\n    title: "Mine, edited"\n    items:\n      - ["Serial", u, 8]\n')
    assert title(layout) == title([folder]) == "Mine, edited"
    assert list(next(tarvik.open(sample, layouts=folder).records(types=7000)).fields) == ["Serial"]
    # A file added to the folder counts too; a faulty one raises every time.
    (folder / "more.yaml").write_text('records:\n  - type: 7000\n    title: "Mine"\n    items:\n      - ["Serial", nosuchformat, 8]\n')
    for _ in range(2):
        with pytest.raises(tarvik.LayoutError):
            tarvik.check(sample, layouts=folder)
    (folder / "more.yaml").unlink()
    assert tarvik.check(sample, layouts=folder)["readable"]


def test_records_are_small_objects(sample):
    f = tarvik.open(sample)
    records = list(f)
    assert len(records) == len(f) and [r.number for r in records] == list(range(len(f)))
    r = records[5]
    assert r == f[5] and r != f[6] and hash(r) == hash(f[5]) and len({r, f[5]}) == 1
    assert (r.type, r.size, r.device, r.enumerator, r.record_counter, r.offset) == tuple(
        f.index[name][5].item() for name in ("type", "size", "device", "enumerator", "record_counter", "offset"))
    assert r.time == f.index["time"][5] and r.time.dtype == np.dtype("M8[ns]") and r.time_ns == r.time.astype(int)
    assert r.file is f and r.to_json(indent=-1) == r.to_json(False, -1) and "\n" not in r.to_json(indent=-1)
    assert repr(r).startswith("<tarvik.Record 5: type ")
    assert isinstance(r, tarvik.Record) and type(r).__module__ == "tarvik"
    # A record keeps its file: the file may go out of scope first.
    del f, records
    assert r.file[5] == r and len(r.bytes) == r.size


def test_records_made_one_after_another_keep_their_own_values(sample):
    # Iteration reuses the memory of records it freed: a record must not keep
    # anything of the one that was there before.
    f = tarvik.open(sample)
    index = f.index
    one_by_one = [(r.number, r.type, r.device, r.enumerator, r.time_ns) for r in f]
    kept = list(f)
    for rows in (one_by_one, [(r.number, r.type, r.device, r.enumerator, r.time_ns) for r in kept]):
        assert [row[1] for row in rows] == index["type"].tolist()
        assert [row[2] for row in rows] == index["device"].tolist()
        assert [row[3] for row in rows] == index["enumerator"].tolist()
        assert [row[4] for row in rows] == index["time"].astype("int64").tolist()
    assert all(r.time == t for r, t in zip(kept, index["time"]))
    with pytest.raises(AttributeError):
        kept[0].type = 1



def test_files_in_reference_cycles_are_freed(sample):
    # A file kept in its own attributes, directly or through one of its
    # records, is freed by the cycle collector like any Python object.
    import gc
    import weakref

    def cycle(link):
        f = tarvik.open(sample)
        f.notes = {"user": "x"}
        link(f)
        return weakref.ref(f)

    for link in (lambda f: setattr(f, "kept", [f]), lambda f: setattr(f, "first", f[0])):
        gone = cycle(link)
        gc.collect()
        assert gone() is None
