"""Tables, arrays and the export command agree."""

import csv
import io
import json
import os
import math
import struct
import warnings

import numpy as np
import pandas as pd
import pytest

import tarvik
from conftest import cli


def test_table_columns_and_dtypes(sample):
    f = tarvik.open(sample)
    t = f.table(7027)
    n = int((f.index["type"] == 7027).sum())
    assert len(t) == n > 0
    assert list(t.columns[:4]) == ["record", "time", "device", "enumerator"]
    assert t["time"].dtype == np.dtype("M8[ns]")
    assert t["Ping number"].dtype == np.uint32
    assert t["Sample rate (Hz)"].dtype == np.float32
    assert "Vx RAW Detection data" not in t.columns and "Reserved" not in t.columns
    first = f[int(t["record"].iloc[0])]
    assert t["Ping number"].iloc[0] == first.fields["Ping number"]
    chosen = f.table(7027, fields=["Ping number", "Flags"])
    assert list(chosen.columns) == ["record", "time", "device", "enumerator", "Ping number", "Flags"]
    with pytest.raises(KeyError, match="no scalar field"):
        f.table(7027, fields=["No such field"])
    with pytest.raises(KeyError, match="no record layout"):
        f.table(65000)


def test_export_agrees_with_table(sample, tmp_path):
    f = tarvik.open(sample)
    t = f.table(7000)
    out = tmp_path / "t.csv"
    cli("export", sample, "--type", 7000, "--out", out)
    raw = out.read_bytes()
    assert raw.endswith(b"\r\n")
    rows = list(csv.reader(io.StringIO(raw.decode())))
    assert rows[0] == list(t.columns)
    assert len(rows) == len(t) + 1
    back = pd.read_csv(out)
    for column in t.columns:
        if t[column].dtype.kind == "f":
            # Full precision: the text reads back to the same stored value.
            assert (back[column].to_numpy().astype(t[column].dtype) == t[column].to_numpy()).all(), column
        elif t[column].dtype.kind == "M":
            assert (pd.to_datetime(back[column]).dt.tz_localize(None).to_numpy() == t[column].to_numpy()).all()
        else:
            assert (back[column].to_numpy() == t[column].to_numpy()).all(), column
    # JSON Lines: one object per row, the same values.
    lines = cli("export", sample, "--type", 7000, "--format", "jsonl", "--fields", "Ping number").stdout.splitlines()
    assert [json.loads(l)["Ping number"] for l in lines] == list(t["Ping number"])
    # The output is never written onto the input, nor over a file without --force.
    assert cli("export", sample, "--type", 7000, "--out", out, check=False).returncode == 1
    assert cli("export", sample, "--type", 7000, "--out", sample, "--force", check=False).returncode == 1
    assert cli("export", sample, "--type", 65000, check=False).returncode == 2


def test_table_of_damaged_records_matches_their_fields(sample, tmp_path):
    # A table walks a record only as far as its last wanted field: cut and
    # miscounted records must still give what the whole walk (fields) gives.
    data = sample.read_bytes()
    frames, pos = [], 0
    while pos + 64 <= len(data):
        size = struct.unpack_from("<I", data, pos + 8)[0]
        frames.append(bytearray(data[pos:pos + size]))
        pos += size
    damaged, n = [], 0
    for frame in frames:
        if struct.unpack_from("<I", frame, 32)[0] == 7027:
            n += 1
            if n % 4 == 1:    # cut inside the leading fields (8 + 4 + 2 + 3 bytes of data)
                frame = frame[:64 + 17] + bytes(4)
            elif n % 4 == 2:  # cut right after the first field
                frame = frame[:64 + 8] + bytes(4)
            elif n % 4 == 3:  # a detection count far beyond the bytes held
                struct.pack_into("<I", frame, 64 + 14, 0xFFFFFFF0)
            struct.pack_into("<I", frame, 8, len(frame))
        damaged.append(bytes(frame))
    path = tmp_path / "damaged.vxr"
    path.write_bytes(b"".join(damaged))
    t, missing = table_and_fields_agree(tarvik.open(path), 7027)
    assert len(t) == n > 4 and len(t.columns) > 6
    assert missing > 0


def test_arrays(sample):
    f = tarvik.open(sample)
    depths = f.arrays(7027, "Detection point")
    n = int((f.index["type"] == 7027).sum())
    assert depths.shape[0] == n and depths.ndim == 2
    first = next(f.records(types=7027)).fields["Vx RAW Detection data"]
    assert depths.dtype == np.float32 and depths.shape[1] == len(first)
    assert list(depths[0]) == [b["Detection point"] for b in first]
    with pytest.raises(KeyError):
        f.arrays(7027, "No such field")


def frames_of(data):
    frames, pos = [], 0
    while pos + 64 <= len(data):
        size = struct.unpack_from("<I", data, pos + 8)[0]
        frames.append(bytearray(data[pos:pos + size]))
        pos += size
    return frames


def table_and_fields_agree(f, rtype):
    """The table of `rtype`, checked cell by cell against each record's fields, and its missing cells."""
    t = f.table(rtype)
    assert len(t) == int((f.index["type"] == rtype).sum())
    missing = 0
    for _, row in t.iterrows():
        fields = f[int(row["record"])].fields
        for column in t.columns[4:]:
            if column in fields:
                assert row[column] == fields[column], column
            else:
                assert pd.isna(row[column]), column
                missing += 1
    return t, missing


def test_table_reads_only_its_frames_wherever_they_lie(sample, tmp_path):
    # The table reads the frames of its type through a window: frames far
    # apart (wide frames of other types between them), frames larger than the
    # window, and a last frame that the file cuts short give what each
    # record's own walk gives.
    frames = frames_of(sample.read_bytes())
    out = []
    for k, frame in enumerate(frames):
        rtype = struct.unpack_from("<I", frame, 32)[0]
        if rtype == 7000 and k % 2:
            # A wide frame of another type: 300 KB of padding before its checksum.
            frame = frame[:-4] + bytes(300_000) + frame[-4:]
            struct.pack_into("<I", frame, 8, len(frame))
        if rtype == 7027 and k % 3 == 0:
            # A frame of the type larger than the window: detection points it does not count.
            frame = frame[:-4] + bytes(400_000) + frame[-4:]
            struct.pack_into("<I", frame, 8, len(frame))
        out.append(bytes(frame))
    last_7027 = max(k for k, frame in enumerate(frames) if struct.unpack_from("<I", frame, 32)[0] == 7027)
    data = b"".join(out[:last_7027 + 1])
    path = tmp_path / "spread.vxr"
    path.write_bytes(data[:-30])  # the last frame cut short
    f = tarvik.open(path)
    t, _ = table_and_fields_agree(f, 7027)
    assert len(t) > 3 and t["Ping number"].notna().all()
    whole = tarvik.open(sample).table(7027)
    assert list(t["Ping number"][:len(t)]) == list(whole["Ping number"][:len(t)])


def test_rows_that_can_no_longer_be_read_are_left_out(sample, tmp_path):
    copy = tmp_path / "cut.vxr"
    copy.write_bytes(sample.read_bytes())
    f = tarvik.open(copy)
    whole = f.table(7027)
    depths = f.arrays(7027, "Detection point")
    n = len(whole)
    # The file cut short, while open, in the middle of the records of the type.
    os.truncate(copy, int(f.index["offset"][int(whole["record"].iloc[n // 2])]) + 10)
    with pytest.warns(RuntimeWarning, match=f"{n - n // 2} records of type 7027 .* could not be read") as caught:
        t = f.table(7027)
    assert caught[0].filename == __file__  # the caller's line, not the package's
    assert list(t["record"]) == list(whole["record"][: n // 2])
    assert (t["device"] == 7125).all() and (t["Ping number"] == whole["Ping number"][: n // 2]).all()
    with pytest.warns(RuntimeWarning, match="could not be read"):
        cut = f.arrays(7027, "Detection point")
    assert (cut == depths[: n // 2]).all()


def test_rows_of_a_capture_written_over_while_open_are_left_out(tmp_path):
    capture = tmp_path / "traffic.pcapng"
    cli("generate", capture, "--capture", "--plain", "--frames", 40)
    whole = {t: tarvik.open(capture).table(t) for t in (7000, 7027)}
    f = tarvik.open(capture)
    # Bytes in the middle of the capture written over, while it is open and before any table was made.
    size = os.path.getsize(capture)
    with open(capture, "r+b") as out:
        out.seek(size // 3)
        out.write(b"\xff" * (size // 3))
    left_out = 0
    for t, before in whole.items():
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            table = f.table(t)
        # Every row still made is the row it was; none is made of other bytes.
        kept = before.set_index("record").loc[list(table["record"])].reset_index()
        assert (table["device"] == kept["device"]).all() and (table["time"] == kept["time"]).all()
        if len(table) < len(before):
            assert any("could not be read" in str(w.message) for w in caught)
            left_out += len(before) - len(table)
    assert left_out > 0


def test_text_that_is_not_utf8_reads_alike_in_every_table(sample, tmp_path):
    f = tarvik.open(sample)
    r = next(f.records(types=7022))
    data = bytearray(sample.read_bytes())
    at = r.offset + r.bytes.index(b"5.1.2.3")
    data[at:at + 7] = b"5.1\xff\xe2\x823"  # a byte that starts nothing, a sequence cut short
    damaged = tmp_path / "text.vxr"
    damaged.write_bytes(bytes(data))
    expected = "5.1\ufffd\ufffd3"
    assert tarvik.open(damaged).table(7022)["Version"].iloc[0] == expected
    out_csv, out_jsonl = tmp_path / "t.csv", tmp_path / "t.jsonl"
    cli("export", damaged, "--type", 7022, "--out", out_csv)
    cli("export", damaged, "--type", 7022, "--format", "jsonl", "--out", out_jsonl)
    rows = list(csv.DictReader(io.StringIO(out_csv.read_bytes().decode("utf-8"))))
    assert rows[0]["Version"] == expected
    assert json.loads(out_jsonl.read_bytes().decode("utf-8").splitlines()[0])["Version"] == expected


def test_angles_are_degrees_as_the_report_shows_them_and_raw_as_stored(sample):
    f = tarvik.open(sample)
    name = "Tx Steering angle (deg.)"
    record = next(f.records(types=7027))
    shown, raw = record.fields[name], record.values(raw=True)[name]
    assert shown == pytest.approx(math.degrees(raw), rel=1e-6)
    line = next(l for l in record.report() if l.startswith(name))
    assert float(line[len(name):].split()[0]) == pytest.approx(shown, abs=1e-3)
    item = next(i for i in json.loads(record.to_json())["items"] if i["name"] == name)
    assert item["value"] == pytest.approx(shown) and item["storedValue"] == pytest.approx(raw)
    # Tables and arrays follow the same rule, with the stored numbers on request.
    assert f.table(7027)[name].iloc[0] == pytest.approx(shown)
    assert f.table(7027, raw=True)[name].iloc[0] == pytest.approx(raw)
    for flags, value in (([], shown), (["--raw"], raw)):
        line = cli("export", sample, "--type", 7027, "--format", "jsonl", "--fields", name, *flags).stdout.splitlines()[0]
        assert json.loads(line)[name] == pytest.approx(value)
    angles, stored = f.arrays(7027, "Rx Angle (deg)"), f.arrays(7027, "Rx Angle (deg)", raw=True)
    assert angles.dtype == stored.dtype == np.float32
    assert np.allclose(angles, np.degrees(stored.astype(float)), rtol=1e-6)
    # A vector of angles: a converted copy; raw, the stored radians.
    geometry = next(f.records(types=7004))
    assert np.allclose(geometry.fields["Y width (deg)"],
                       np.degrees(geometry.values(raw=True)["Y width (deg)"].astype(float)), rtol=1e-6)
