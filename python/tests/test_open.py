import json

import numpy as np

import tarvik
from conftest import cli


def test_index_matches_list(sample):
    f = tarvik.open(sample)
    rows = cli("list", sample).stdout.splitlines()
    assert len(f) == len(rows)
    index = f.index
    assert index.dtype.names == ("type", "size", "device", "enumerator", "time", "record_counter", "offset")
    assert index["time"].dtype == np.dtype("M8[ns]")
    # list prints the type, the size and the record number per row.
    for row, entry in zip(rows, index):
        cells = row.split("\t")
        assert int(cells[0]) == entry["type"]
        assert cells[1] == f"{entry['size']} bytes"


def test_check_is_the_cli_json(sample):
    out = cli("check", "--json", sample).stdout
    assert tarvik.check(sample) == json.loads(out)


def test_capture_is_a_source(tmp_path):
    capture = tmp_path / "traffic.pcapng"
    cli("generate", capture, "--capture", "--plain", "--frames", 12)
    f = tarvik.open(capture)
    rows = [r for r in cli("list", capture).stdout.splitlines() if not r.startswith("TEXT")]
    assert len(f) == len(rows) > 0
    assert [r.type for r in f] == [int(r.split("\t")[0]) for r in rows]
    assert all(r.checksum_ok is not False for r in f)
    assert tarvik.check(capture) == json.loads(cli("check", "--json", capture).stdout)
    # The same table from a capture as from its records.
    assert len(f.table(7000)) == sum(1 for r in f if r.type == 7000)
