"""tarvik.expect and the audit's --profile give the verdicts tarvik-cli expect
gives, on a clean file, a damaged one and a capture that lost packets: per
rule its outcome, failure count and first failing row. (The window's Rules
pane is held to the CLI's by the profile_agreement_tests.)"""

import json
import os
import struct
import subprocess
import sys

import pytest

import tarvik

CLI = os.environ["TARVIK_CLI"]
CLI_ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
PROFILES = ("file-integrity", "bathymetry-feed", "remote-control-session")


def verdicts(rules):
    return {r["rule"]: (r["outcome"], r["failures"], r["rows"][0]["row"] if r["rows"] else None) for r in rules}


@pytest.fixture(scope="module")
def sources(tmp_path_factory):
    root = tmp_path_factory.mktemp("agree")
    for name, args in (("clean.vxr", ["--frames", "200"]), ("damaged.vxr", ["--frames", "200", "--no-catalog"]),
                       ("lossy.pcapng", ["--capture"])):
        subprocess.run([CLI, "generate", str(root / name), *args], check=True, capture_output=True, env=CLI_ENV)
    # The sync pattern of frame 52 (a detections record) broken.
    data = bytearray((root / "damaged.vxr").read_bytes())
    at = 0
    for _ in range(52):
        at += struct.unpack_from("<I", data, at + 8)[0]
    data[at + 4] = ord("X")
    (root / "damaged.vxr").write_bytes(bytes(data))
    # The built-in profiles that speak of files, as one.
    text = "profile: combined\nrules:\n"
    for name in PROFILES:
        profile = subprocess.run([CLI, "profiles", name], check=True, capture_output=True, text=True, env=CLI_ENV).stdout
        text += profile.split("\nrules:\n", 1)[1]
    (root / "combined.yaml").write_text(text)
    return root


def test_module_and_audit_agree_with_the_cli(sources, tmp_path):
    profile = sources / "combined.yaml"
    names = ("clean.vxr", "damaged.vxr", "lossy.pcapng")
    cli = {}
    for name in names:
        out = tmp_path / f"{name}.json"
        subprocess.run([CLI, "expect", str(profile), str(sources / name), "--json", str(out)], capture_output=True,
                       env=CLI_ENV)
        cli[name] = verdicts(json.loads(out.read_text())["sources"][0]["rules"])
        assert verdicts(tarvik.expect(sources / name, profile)) == cli[name], name
    assert cli["damaged.vxr"]["no-damage"][0] == "failed"
    assert cli["damaged.vxr"]["detections-each-ping"][0] == "failed"
    assert cli["lossy.pcapng"]["no-lost-packets"][0] == "failed"
    assert all(v[0] != "failed" for v in cli["clean.vxr"].values())

    pytest.importorskip("distributed")
    report_path = tmp_path / "audit.json"
    run = subprocess.run([sys.executable, "-m", "tarvik.audit", *(str(sources / n) for n in names), "--workers", "1",
                          "--profile", str(profile), "--json", str(report_path)],
                         capture_output=True, text=True, timeout=180)
    assert run.returncode == 1, run.stderr
    audited = {os.path.basename(v["file"]): verdicts(v["rules"])
               for v in json.loads(report_path.read_text())["rules"]["verdicts"]}
    assert audited == cli
