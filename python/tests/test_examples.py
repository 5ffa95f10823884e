"""The example scripts run on a generated file and write their outputs."""

import os
import subprocess
import sys

import pytest

EXAMPLES = os.environ.get("TARVIK_EXAMPLES", os.path.join(os.path.dirname(__file__), "../../examples/python"))


@pytest.mark.parametrize("script,args,output", [
    ("ping_rate.py", ["{file}", "{out}"], "rate.png"),
    ("detections_per_ping.py", ["{file}", "{out}"], "detections.png"),
    ("detections_per_ping.py", ["{file}", "{out}", "Rx Angle (deg)"], "angles.png"),
    ("table_to_csv.py", ["{file}", "7000", "{out}"], "table.csv"),
])
def test_example_writes_its_output(sample, tmp_path, script, args, output):
    out = tmp_path / output
    env = dict(os.environ, MPLBACKEND="Agg", MPLCONFIGDIR=str(tmp_path))
    words = [a.format(file=sample, out=out) for a in args]
    run = subprocess.run([sys.executable, os.path.join(EXAMPLES, script), *words],
                         capture_output=True, text=True, env=env, timeout=120)
    assert run.returncode == 0, run.stderr
    assert out.stat().st_size > 0
    if output.endswith(".png"):
        assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
