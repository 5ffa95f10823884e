"""Runs the command lines of the README and the docs as a reader would type them.

Every line of a ```sh block that starts one of the programs is run from a
scratch folder laid out like the top folder of a built checkout (build/bin and
build/python point at this build), in the order the page gives them: a reader
who follows the page gets what it promises, and a command that changed its
options or its exit status fails here.  Lines that start a server with `&` run
in the background until their block ends.  Window lines run as written with
--screenshot added, so the window paints once and ends.
"""
from __future__ import annotations

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

import pytest

SOURCE = Path(os.environ["TARVIK_SOURCE"])
BIN = Path(os.environ["TARVIK_BIN"])
PYTHON_DIR = Path(os.environ["TARVIK_PYTHON_DIR"])

# Pages whose examples are run, and the prefix a page's lines use for the programs.
PAGES = ["README.md", "docs/wireshark.md"]

# Lines not run here, with where they are covered instead.
NOT_RUN = (
    "./scripts/",  # the test command itself, and run.sh (a window that stays open)
    "cmake ",  # the package and Ctlkit installs: the debian_package and ctlkit_package tests
    "sudo ",  # installs into the system
    "srun ",  # a batch cluster's job script
    "python3 ",  # named by its interpreter elsewhere
)

# Exit statuses the pages state for their examples (by a piece of the line);
# every other line must succeed.
EXPECTED_STATUS = {
    "check damaged.vxr": 1,
    "check build/damaged.vxr": 1,
}

TIMEOUT = 120


def sh_blocks(page: Path) -> list[list[str]]:
    blocks, current = [], None
    for line in page.read_text(encoding="utf-8").splitlines():
        if current is None:
            if line.strip() == "```sh":
                current = []
        elif line.strip().startswith("```"):
            blocks.append(current)
            current = None
        else:
            current.append(line)
    return blocks


def strip_comment(line: str) -> str:
    # A comment in these pages follows the command after blanks: "cmd   # text".
    return re.sub(r"\s+#\s.*$", "", line).strip()


def program_line(line: str) -> bool:
    return bool(re.match(r"^(build/bin/|tarvik-cli |tarvik |vxcenter-sim )", line)) or " && build/bin/" in line


def wait_for_port(port: int, seconds: float = 10.0) -> None:
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise AssertionError(f"nothing listens on 127.0.0.1:{port}")


def port_in_use(port: int) -> bool:
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


def port_of(line: str) -> int | None:
    m = re.search(r"--port (\d+)", line)
    return int(m.group(1)) if m else None


def examples() -> list[tuple[str, int, list[str]]]:
    found = []
    for page in PAGES:
        for number, block in enumerate(sh_blocks(SOURCE / page)):
            lines = [strip_comment(l) for l in block]
            lines = [l for l in lines if l and not l.startswith("#")]
            if any(program_line(l) for l in lines):
                found.append((page, number, lines))
    return found


@pytest.fixture(scope="module")
def top(tmp_path_factory):
    """A scratch top folder: build/bin and build/python are this build's."""
    folder = tmp_path_factory.mktemp("top")
    (folder / "build").mkdir()
    os.symlink(BIN, folder / "build" / "bin")
    os.symlink(PYTHON_DIR, folder / "build" / "python")
    # The script the README shows before it plays it.
    readme = (SOURCE / "README.md").read_text(encoding="utf-8")
    m = re.search(r"```\n(// tour\.vxs.*?)```", readme, re.S)
    if m:
        (folder / "tour.vxs").write_text(m.group(1), encoding="utf-8")
    return folder


def environment(top: Path) -> dict[str, str]:
    env = dict(os.environ)
    env["PATH"] = f"{BIN}{os.pathsep}{env.get('PATH', '')}"
    env["PYTHONPATH"] = str(PYTHON_DIR)
    return env


def run_block(top: Path, page: str, lines: list[str]) -> None:
    env = environment(top)
    servers = []
    try:
        for shot, line in enumerate(lines):
            if line.startswith(NOT_RUN):
                continue
            if line.endswith("&"):
                command = line[:-1].strip()
                port = port_of(command)
                if port and port_in_use(port):
                    pytest.skip(f"{page}: port {port}, which the page's server takes, is in use on this machine")
                servers.append(subprocess.Popen(command, shell=True, cwd=top, env=env,
                                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                                start_new_session=True))
                if port:
                    wait_for_port(port)
                continue
            command = line
            picture = None
            if re.match(r"^(build/bin/)?tarvik ", command):
                if not os.environ.get("DISPLAY"):
                    print(f"{page}: window line not run without a display: {line}")
                    continue
                picture = top / f"window-{shot}.png"
                command = f"{command} --screenshot {picture}"
            done = subprocess.run(command, shell=True, cwd=top, env=env, capture_output=True,
                                  text=True, errors="replace", timeout=TIMEOUT)
            expected = next((s for piece, s in EXPECTED_STATUS.items() if piece in line), 0)
            assert done.returncode == expected, (
                f"{page}: `{line}` exited {done.returncode}, the page implies {expected}\n"
                f"stdout: {done.stdout[-2000:]}\nstderr: {done.stderr[-2000:]}")
            if picture is not None:
                assert picture.stat().st_size > 0, f"{page}: `{line}` painted no window"
    finally:
        for server in servers:
            try:
                os.killpg(server.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            server.wait(timeout=10)


def test_every_example_runs_as_written(top):
    blocks = examples()
    assert blocks, "no examples found in the pages"
    for page, number, lines in blocks:
        run_block(top, page, lines)


def test_python_example_runs_as_written(top):
    readme = (SOURCE / "README.md").read_text(encoding="utf-8")
    for code in re.findall(r"```python\n(.*?)```", readme, re.S):
        done = subprocess.run([sys.executable, "-c", code], cwd=top, env=environment(top),
                              capture_output=True, text=True, timeout=TIMEOUT)
        assert done.returncode == 0, f"README's Python example failed:\n{done.stderr[-2000:]}"


def yaml_blocks(page: Path) -> list[str]:
    return re.findall(r"```yaml\n(.*?)```", page.read_text(encoding="utf-8"), re.S)


def test_layout_examples_load_without_a_problem(tmp_path):
    """Every layout example that is a whole file loads clean: a reader who copies
    one into the layouts folder gets no problem message.  Fragments of a
    section (they start with `items:`) and the reference of every key (it holds
    placeholders, "...") are not whole files."""
    loaded = 0
    for number, text in enumerate(yaml_blocks(SOURCE / "docs/layouts.md")):
        if text.startswith("items:") or '"..."' in text:
            continue
        folder = tmp_path / f"example-{number}"
        folder.mkdir()
        (folder / "example.yaml").write_text(text, encoding="utf-8")
        done = subprocess.run([str(BIN / "tarvik-cli"), "catalogue", "--layouts", str(folder)],
                              capture_output=True, text=True, timeout=TIMEOUT)
        assert done.returncode == 0 and done.stderr == "", (
            f"docs/layouts.md, example {number + 1}:\n{text}\n{done.stderr}")
        loaded += 1
    assert loaded >= 5
