"""The audit with a test profile: judged per file on the workers, a rules
table in its reports, and JUnit XML for the archive."""

import json
import subprocess
import sys
import xml.etree.ElementTree as ET

import pytest

from conftest import cli
from test_audit import conforms

pytest.importorskip("distributed")

PROFILE = """profile: archive
rules:
  - {name: long-enough, scope: "7000", presence: {at_least: 10}}
  - {name: sums, integrity: checksums}
  - {name: commands, relation: {each: "7500", has: "7501", within_seconds: 1}}
"""


def test_profile_rules_table_and_junit(tmp_path):
    root = tmp_path / "archive"
    root.mkdir()
    cli("generate", root / "long.vxr", "--frames", 140, "--force")
    cli("generate", root / "short.vxr", "--frames", 21, "--force")
    profile = tmp_path / "archive.yaml"
    profile.write_text(PROFILE)
    out_json, out_html, out_junit = tmp_path / "a.json", tmp_path / "a.html", tmp_path / "a.xml"
    run = subprocess.run([sys.executable, "-m", "tarvik.audit", str(root), "--workers", "1", "--profile", str(profile),
                          "--json", str(out_json), "--html", str(out_html), "--junit", str(out_junit)],
                         capture_output=True, text=True, timeout=180)
    assert run.returncode == 1, run.stderr
    assert "  rule long-enough (error): fails in 1 file, first " in run.stdout
    report = json.loads(out_json.read_text())
    with open(__file__.rsplit("/python/", 1)[0] + "/docs/audit.schema.json") as f:
        schema = json.load(f)
    conforms(report, schema, schema)
    rules = {r["rule"]: r for r in report["rules"]["rules"]}
    assert rules["long-enough"]["filesFailing"] == 1 and rules["long-enough"]["filesPassing"] == 1
    assert rules["long-enough"]["firstFailingFile"].endswith("short.vxr")
    assert rules["sums"]["filesPassing"] == 2
    assert rules["commands"]["filesNotEvaluated"] == 2
    assert not report["clean"]
    assert "Rules of" in out_html.read_text()

    junit = ET.parse(out_junit).getroot()
    assert junit.get("tests") == "6" and junit.get("failures") == "1" and junit.get("skipped") == "2"
    suites = {s.get("name").rsplit("/", 1)[-1]: s for s in junit.findall("testsuite")}
    assert suites["short.vxr"].find("testcase[@name='long-enough']/failure") is not None
    assert suites["long.vxr"].get("failures") == "0"


def test_profile_problems_are_usage_errors(tmp_path):
    bad = tmp_path / "bad.yaml"
    bad.write_text("rules:\n  - {name: a, value: \"7000.nope > 1\"}\n")
    for args, said in ((["--profile", str(bad)], "bad.yaml:2:"), (["--junit", str(tmp_path / "j.xml")], "--junit")):
        run = subprocess.run([sys.executable, "-m", "tarvik.audit", str(tmp_path), *args],
                             capture_output=True, text=True, timeout=60)
        assert run.returncode == 2 and said in run.stderr, run.stderr
