"""Test profiles from Python, and the JUnit XML tarvik-cli expect writes."""

import os
import subprocess
import xml.etree.ElementTree as ET

import pytest

import tarvik

CLI = os.environ["TARVIK_CLI"]
# tarvik-cli carries its own sanitizer runtime in the sanitized build: the one
# preloaded for this interpreter must not reach it.
CLI_ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


@pytest.fixture(scope="module")
def sample(tmp_path_factory):
    path = tmp_path_factory.mktemp("expect") / "sample.vxr"
    subprocess.run([CLI, "generate", str(path), "--frames", "70"], check=True, capture_output=True, env=CLI_ENV)
    return path


FAILING = """profile: strict
rules:
  - {name: low-frequency, scope: "7000", value: "7000.frequency_hz < 1000"}
  - {name: quiet, severity: warning, scope: "7027", value: "7027.number_of_detection_points < 1"}
  - {name: commands, relation: {each: "7500", has: "7501", within_seconds: 1}}
  - {name: sums, integrity: checksums}
"""


def test_expect_gives_the_cli_verdicts_as_dicts(sample, tmp_path):
    profile = tmp_path / "strict.yaml"
    profile.write_text(FAILING)
    rules = tarvik.expect(sample, profile)
    assert [r["rule"] for r in rules] == ["low-frequency", "quiet", "commands", "sums"]
    outcome = {r["rule"]: r["outcome"] for r in rules}
    assert outcome == {"low-frequency": "failed", "quiet": "failed", "commands": "not_evaluated", "sums": "passed"}
    low = rules[0]
    assert low["failures"] == low["judged"] == 10
    assert low["rows"][0]["row"] == 1 and "does not hold" in low["rows"][0]["text"]

    failures = tarvik.expect_failures(sample, profile)
    assert set(failures["rule"]) == {"low-frequency", "quiet"}
    assert list(failures.columns) == ["rule", "severity", "row", "time", "text"]

    # Built-in profiles by name; the same verdicts as the CLI's JSON.
    assert all(r["outcome"] != "failed" for r in tarvik.expect(sample, "bathymetry-feed"))
    out = tmp_path / "v.json"
    subprocess.run([CLI, "expect", str(profile), str(sample), "--json", str(out)], capture_output=True, env=CLI_ENV)
    import json
    assert json.loads(out.read_text())["sources"][0]["rules"] == rules


def test_bad_profiles_and_sources_raise(sample, tmp_path):
    bad = tmp_path / "bad.yaml"
    bad.write_text("rules:\n  - name: a\n    value: \"7027.nothing > 1\"\n")
    with pytest.raises(tarvik.ProfileError, match=r"bad\.yaml:3: value: unknown field"):
        tarvik.expect(sample, bad)
    with pytest.raises(ValueError):
        tarvik.expect(sample, tmp_path / "missing.yaml")
    with pytest.raises(tarvik.RecordFileError):
        tarvik.expect(tmp_path / "missing.vxr", "file-integrity")


def test_junit_xml_holds_a_case_per_rule_and_counts_failures(sample, tmp_path):
    profile = tmp_path / "strict.yaml"
    profile.write_text(FAILING)
    junit = tmp_path / "rules.xml"
    r = subprocess.run([CLI, "expect", str(profile), str(sample), str(sample), "--junit", str(junit)],
                       capture_output=True, text=True, env=CLI_ENV)
    assert r.returncode == 1, r.stderr
    root = ET.parse(junit).getroot()
    assert root.tag == "testsuites"
    suites = root.findall("testsuite")
    assert len(suites) == 2
    for suite in suites:
        cases = suite.findall("testcase")
        assert [c.get("name") for c in cases] == ["low-frequency", "quiet", "commands", "sums"]
        assert int(suite.get("tests")) == len(cases)
        # Only the failed error rule is a failure; the warning is told in its output.
        assert int(suite.get("failures")) == sum(1 for c in cases if c.find("failure") is not None) == 1
        assert int(suite.get("skipped")) == sum(1 for c in cases if c.find("skipped") is not None) == 1
        assert "row 1:" in cases[0].find("failure").text
        assert cases[1].find("system-out").text.startswith("warning: 10 failures")
    assert int(root.get("tests")) == 8 and int(root.get("failures")) == 2 and int(root.get("skipped")) == 2
