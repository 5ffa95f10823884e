"""Tables, arrays and the export command agree."""

import csv
import io
import json

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
