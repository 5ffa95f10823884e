"""Plot series in the module, as tarvik-cli plot draws them, and the audit page's rate plots."""

import numpy as np
import pytest

import tarvik
from tarvik import audit
from tarvik._audit_report import html_page, rate_svg
from conftest import cli


def test_series_of_a_field_count_and_rate(sample):
    f = tarvik.open(sample)
    detections, count, rate = f.series(["7027.number_of_detection_points", "count", "rate"])
    bathymetry = [r.number for r in f.records(7027)]
    assert list(detections["record"]) == bathymetry
    assert detections["name"] == "7027.number_of_detection_points"
    assert (detections["y"] == 8).all()
    assert np.all(np.diff(detections["x"]) > 0)
    assert count["y"][-1] == len(f)
    assert rate["y"].sum() == len(f)
    # where= keeps the records an expression passes, as --filter does
    (only,) = f.series("count", where="vx.record_type == 7027")
    assert only["y"][-1] == len(bathymetry)
    (pings,) = f.series("7027.number_of_detection_points", x="ping")
    assert len(pings["x"]) == len(bathymetry) and pings["x"].max() < 1e6


def test_series_refuse_what_does_not_parse(sample):
    f = tarvik.open(sample)
    with pytest.raises(ValueError, match="did you mean"):
        f.series("7027.qualty")
    with pytest.raises(ValueError, match="'time' or 'ping'"):
        f.series("count", x="row")
    with pytest.raises(ValueError):
        f.series("count", where="7027 &&")


def test_audit_page_has_a_rate_plot_per_file(sample, tmp_path):
    rate = audit.record_rate(sample)
    assert rate and all(len(p) == 2 for p in rate)
    assert sum(r for _, r in rate) == len(tarvik.open(sample))  # one point a second: nothing averaged away
    assert audit.record_rate(tmp_path / "missing.vxr") == []
    svg = rate_svg("s.vxr", rate)
    assert svg.startswith('<svg class="rate"') and "<polyline" in svg
    report = {"totals": {"files": 1, "readableFiles": 1, "cleanFiles": 1, "frames": 1, "bytes": 1,
                         "firstTime": "", "lastTime": "", "problemCount": 0, "recordTypes": [], "devices": []},
              "clean": True, "paths": ["x"], "workers": 1, "elapsedSeconds": 0.0, "continuity": [], "files": [],
              "unreadable": [], "changed": [], "missing": [], "problems": []}
    page = html_page(report, {"s.vxr": rate})
    assert "<h2>Record rates</h2>" in page and 'aria-label="records per second of s.vxr"' in page
    assert "Record rates" not in html_page(report)


def test_plot_command_draws_png_and_svg(sample, tmp_path):
    png, svg = tmp_path / "p.png", tmp_path / "p.svg"
    r = cli("plot", sample, "--y", "7027.number_of_detection_points", "--y", "rate", "--out", png, check=False)
    if r.returncode != 0 and "cannot load the plot drawing module" in r.stderr:
        pytest.skip("this build has no plot drawing module (built without the window): " + r.stderr.strip())
    assert r.returncode == 0, r.stderr
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert "points in 2 series" in r.stdout
    cli("plot", sample, "--y", "count", "--x", "ping", "--out", svg)
    assert b"<svg" in svg.read_bytes()[:400]
    # An existing picture is kept without --force.
    again = cli("plot", sample, "--y", "count", "--out", png, check=False)
    assert again.returncode == 1 and "--force" in again.stderr
