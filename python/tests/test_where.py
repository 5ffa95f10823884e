"""where= in the module and --where in the audit: the rows `list --filter` keeps."""

import distributed
import pytest

import tarvik
from tarvik import audit
from conftest import cli

EXPRESSIONS = [
    "7027 && 7027.number_of_detection_points > 3",
    "vx.record_type in {7000, 7004} || row < 3",
    "any(7027.quality > 0)",
    "7000; 7004",
]


def listed(path, expression):
    """The index positions `tarvik-cli list --filter` shows."""
    out = cli("list", path, "--filter", expression, check=False).stdout
    return [int(line.split("\t")[2]) for line in out.splitlines() if line]


@pytest.mark.parametrize("expression", EXPRESSIONS)
def test_records_where_gives_the_rows_of_list(sample, expression):
    f = tarvik.open(sample)
    assert [r.number for r in f.records(where=expression)] == listed(sample, expression)


def test_where_with_types_and_table(sample):
    f = tarvik.open(sample)
    deep = [r.number for r in f.records(7027, where="7027.number_of_detection_points > 3")]
    assert deep == listed(sample, "7027 && 7027.number_of_detection_points > 3")
    table = f.table(7027, where="7027.number_of_detection_points > 3")
    assert list(table["record"]) == deep
    assert len(f.table(7027, where="vx.device == 4294967295")) == 0


def test_bad_expressions_raise_value_error_with_the_place(sample):
    f = tarvik.open(sample)
    with pytest.raises(ValueError, match=r"did you mean vx\.7027\.quality\?\) at column 9"):
        list(f.records(where="7027 && 7027.qualty > 2"))
    with pytest.raises(ValueError, match="cannot compare a number with a text"):
        f.table(7027, where='vx.device == "a"')


def test_audit_counts_matches_per_file(tmp_path):
    for name in ("a", "b"):
        cli("generate", tmp_path / f"{name}.vxr", "--frames", 30)
    expression = "7027 && 7027.number_of_detection_points > 3"
    with audit.local_cluster(1) as c, distributed.Client(c) as client:
        report = audit.audit([tmp_path], client, where=expression)
    where = report["where"]
    assert where["expression"] == expression
    per_file = {f["file"]: f["matches"] for f in where["files"]}
    for name in ("a", "b"):
        path = str(tmp_path / f"{name}.vxr")
        assert per_file[path] == len(listed(path, expression))
    assert where["matches"] == sum(per_file.values()) > 0
    assert any("pass --where" in line for line in audit.summary_lines(report))
    assert audit.main([str(tmp_path), "--where", "7027.qualty > 1", "--workers", "1"]) == audit.EXIT_UNUSABLE
