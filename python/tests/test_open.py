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
