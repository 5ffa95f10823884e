"""Runs the command lines of the README and the docs as a reader would type them.

Every line of a ```sh block that starts one of the programs is run from a
scratch folder laid out like the top folder of a built checkout (build/bin and
build/python point at this build), in the order the page gives them: a reader
who follows the page gets what it promises, and a command that changed its
options or its exit status fails here.  Lines that start a server with `&` run
in the background until their block ends.  Window lines run as written with
--screenshot added, so the window paints once and ends.  A "$ command" shown
with what it prints is run and its output compared; ```python blocks are run
with this build's module.  A page whose examples need what no test machine has
says so in PAGES_NOT_RUN.
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

# Pages whose command lines are run: ```sh blocks, and "$ command" lines in a
# plain ``` block followed by what the command prints.
PAGES = ["README.md", "docs/wireshark.md", "docs/expressions.md", "docs/compare.md"]
# Pages whose ```python blocks are run.
PYTHON_PAGES = ["README.md", "docs/python.md", "docs/expressions.md", "docs/compare.md"]
# Examples that need what no test machine has, with what they need.
PAGES_NOT_RUN = {
    "docs/scale.md": "a batch cluster (srun, dask_jobqueue) and an archive of its own",
    "docs/audit.md": "a running Dask scheduler at tcp://scheduler:8786 and /data/survey",
    "docs/profiles.md": "the reader's own survey folder, profile and sonar at 192.0.2.7 (the README runs "
                        "the same commands on generated files and a local server)",
}
# Record files the pages name as the reader's own; made here from the generator.
READERS_FILES = {
    "survey.vxr": ["generate", "survey.vxr"],
    "traffic.pcapng": ["generate", "traffic.pcapng", "--capture"],
    "reference.vxr": ["generate", "reference.vxr"],
    "today.vxr": ["generate", "today.vxr", "--frames", "41"],
}
# Pages whose examples are filters a reader would try on a file of their own: on
# the generated one an example may let nothing through (exit 1, said on stderr),
# but it must parse and run.
FILTER_PAGES = {"docs/expressions.md"}

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
    "diff build/reference/": 1,  # the firmware regression: the beam counts differ
}

TIMEOUT = 120


def strip_comment(line: str) -> str:
    # A comment in these pages follows the command after blanks: "cmd   # text".
    return re.sub(r"\s+#\s.*$", "", line).strip()


def program_line(line: str) -> bool:
    return (bool(re.match(r"^(build/bin/|tarvik-cli |tarvik |tarvik-audit |vxcenter-sim )", line))
            or " && build/bin/" in line)


def transcript(block: list[str]) -> list[tuple[str, list[str]]] | None:
    """The "$ command" lines of a plain block, each with the lines printed after it."""
    if not block or not block[0].startswith("$ "):
        return None
    shown: list[tuple[str, list[str]]] = []
    for line in block:
        if line.startswith("$ "):
            shown.append((line[2:].strip(), []))
        else:
            shown[-1][1].append(line)
    return shown


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


def fenced_blocks(page: Path) -> list[tuple[str, list[str]]]:
    """Every fenced block of a page with its language ("" for a plain one)."""
    blocks, language, current = [], None, []
    for line in page.read_text(encoding="utf-8").splitlines():
        if language is None:
            if line.strip().startswith("```"):
                language, current = line.strip()[3:].strip(), []
        elif line.strip().startswith("```"):
            blocks.append((language, current))
            language = None
        else:
            current.append(line)
    return blocks


def examples() -> list[tuple[str, int, str, list]]:
    """The runnable blocks of the pages in page order: ("sh", lines) or
    ("transcript", [(command, printed lines)])."""
    found = []
    for page in PAGES:
        for number, (language, block) in enumerate(fenced_blocks(SOURCE / page)):
            if language == "sh":
                lines = [strip_comment(l) for l in block]
                lines = [l for l in lines if l and not l.startswith("#")]
                if any(program_line(l) for l in lines):
                    found.append((page, number, "sh", lines))
            elif language == "":
                shown = transcript(block)
                if shown and any(program_line(command) for command, _ in shown):
                    found.append((page, number, "transcript", shown))
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
    for name, args in READERS_FILES.items():
        subprocess.run([str(BIN / "tarvik-cli"), *args], cwd=folder, check=True, capture_output=True)
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
            if page in FILTER_PAGES and done.returncode == 1 and (
                    "passes the filter" in done.stderr or "has a value of" in done.stderr):
                continue  # parsed and run; nothing of the generated file matched (or had the plotted value)
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


JSON_PAIR = re.compile(r'"([^"]+)": (-?\d+(?:\.\d+)?|"(?:[^"\\]|\\.)*"|\[\])')


def check_transcript(top: Path, page: str, shown: list[tuple[str, list[str]]]) -> None:
    """Runs each command of a transcript and finds what the page shows it printing.
    Lines with "..." stand for lines left out.  A JSON document shown condensed is
    compared by its "name": value pairs, each of which the output must hold."""
    for command, printed in shown:
        done = subprocess.run(command, shell=True, cwd=top, env=environment(top), capture_output=True,
                              text=True, errors="replace", timeout=TIMEOUT)
        output = done.stdout + done.stderr
        context = f"{page}: `{command}` (exit {done.returncode}) printed:\n{output[-3000:]}"
        if printed and printed[0].startswith("{"):
            pairs = [f'"{key}": {value}' for key, value in JSON_PAIR.findall("\n".join(printed))]
            assert pairs, f"{page}: no values in the JSON shown for `{command}`"
            for pair in pairs:
                assert pair in done.stdout, f"{pair} not in the output\n{context}"
            continue
        lines = [l.rstrip() for l in output.splitlines()]
        at = 0
        for want in printed:
            if "..." in want or not want.strip():
                continue
            want = want.rstrip()
            while at < len(lines) and lines[at] != want:
                at += 1
            assert at < len(lines), f"the line {want!r} is not printed (in the page's order)\n{context}"
            at += 1


def test_every_example_runs_as_written(top):
    blocks = examples()
    assert blocks, "no examples found in the pages"
    for page in PAGES:
        assert any(b[0] == page for b in blocks), f"{page}: no command lines found"
    for page, number, kind, lines in blocks:
        if kind == "sh":
            run_block(top, page, lines)
        else:
            check_transcript(top, page, lines)


def test_python_examples_run_as_written(top):
    for page in PYTHON_PAGES:
        codes = [code for language, code in fenced_blocks(SOURCE / page) if language == "python"]
        assert codes, f"{page}: no Python example found"
        for code in codes:
            done = subprocess.run([sys.executable, "-c", "\n".join(code)], cwd=top, env=environment(top),
                                  capture_output=True, text=True, timeout=TIMEOUT)
            assert done.returncode == 0, f"{page}'s Python example failed:\n{done.stderr[-2000:]}"


def test_every_page_with_examples_is_run_or_says_why():
    """A page that gains a command or Python example is run here, or named above with what it needs."""
    for page in sorted([SOURCE / "README.md", *(SOURCE / "docs").glob("*.md")]):
        name = page.relative_to(SOURCE).as_posix()
        blocks = fenced_blocks(page)
        has_sh = any(language == "sh" and any(program_line(strip_comment(l)) for l in block)
                     for language, block in blocks)
        has_transcript = any(language == "" and transcript(block) for language, block in blocks)
        has_python = any(language == "python" for language, _ in blocks)
        if name in PAGES_NOT_RUN:
            print(f"{name}: examples not run here: they need {PAGES_NOT_RUN[name]}")
            continue
        if has_sh or has_transcript:
            assert name in PAGES, f"{name} has command lines that no test runs"
        if has_python:
            assert name in PYTHON_PAGES, f"{name} has Python examples that no test runs"


def test_the_readme_quotes_the_simulators_log_as_it_prints_it(top, tmp_path):
    """The tour played against the simulator: the log lines the README quotes are there."""
    readme = (SOURCE / "README.md").read_text(encoding="utf-8")
    m = re.search(r"The simulator's log then shows each command as it arrived \((.*?)\) and", readme, re.S)
    assert m, "the README no longer quotes the simulator's log"
    text = " ".join(m.group(1).split())
    assert text.startswith('"') and text.endswith('"'), text
    quoted = re.split(r'",\s+"', text[1:-1])
    assert len(quoted) >= 2, quoted
    port_file = tmp_path / "port"
    sim = subprocess.Popen([str(BIN / "vxcenter-sim"), "--port", "0", "--port-file", str(port_file), "--log"],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, start_new_session=True)
    try:
        deadline = time.monotonic() + 10
        while not (port_file.exists() and port_file.read_text().strip()) and time.monotonic() < deadline:
            time.sleep(0.05)
        port = port_file.read_text().strip()
        play = subprocess.run([str(BIN / "tarvik-cli"), "play", "tour.vxs", "--host", "127.0.0.1", "--port", port,
                               "--device", "7125:0"], cwd=top, capture_output=True, text=True, timeout=TIMEOUT)
        assert play.returncode == 0, play.stderr
    finally:
        os.killpg(sim.pid, signal.SIGTERM)
        log = sim.communicate(timeout=10)[0]
    lines = log.splitlines()
    for quote in quoted:
        pieces = [p for p in quote.split(" ... ")]
        found = any(all(p in line for p in pieces) and line.rstrip().endswith(pieces[-1]) for line in lines)
        assert found, f"the README quotes {quote!r}; the log holds:\n{log[-3000:]}"


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


# Reference pages made from --help (docs_match_help holds them).
REFERENCE_PAGES = {"docs/tarvik-cli.md", "docs/tarvik.md", "docs/vxcenter-sim.md"}
PROGRAMS = ("tarvik-cli", "tarvik-audit", "vxcenter-sim", "tarvik")
SPAN = re.compile(r"`(?:build/bin/)?(tarvik-cli|tarvik-audit|vxcenter-sim|tarvik) ([^`]*)`")


def test_the_pages_name_only_options_the_programs_have():
    """Every `program [command] ... --option` a page names in passing is an option of that
    program (and command) as its --help gives them: a page cannot promise an option
    that is not there."""
    helps: dict[tuple[str, str], str] = {}

    def help_of(program: str, command: str) -> str:
        if (program, command) not in helps:
            args = [str(BIN / program), *([command] if command else []), "--help"]
            env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
            done = subprocess.run(args, capture_output=True, text=True, timeout=TIMEOUT, env=env)
            assert done.returncode == 0, f"{' '.join(args)}: {done.stderr}"
            helps[(program, command)] = done.stdout
        return helps[(program, command)]

    commands = set(re.findall(r"^  ([a-z]+)  ", help_of("tarvik-cli", ""), re.M))
    assert {"list", "report", "print", "export"} <= commands, commands
    checked = 0
    for page in sorted([SOURCE / "README.md", *(SOURCE / "docs").glob("*.md")]):
        name = page.relative_to(SOURCE).as_posix()
        if name in REFERENCE_PAGES:
            continue
        for program, rest in SPAN.findall(page.read_text(encoding="utf-8")):
            words = rest.split()
            command = ""
            if program == "tarvik-cli":
                command = words[0] if words and words[0] in commands else ""
                if not command:
                    continue  # an option of the program's commands in general ("tarvik-cli --layouts")
            text = help_of(program, command)
            for option in re.findall(r"(?<![\w-])(--[a-z][a-z0-9-]*)", rest):
                assert re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", text), (
                    f"{name}: `{program} {rest}` names {option}, which `{program} {command} --help` does not know")
                checked += 1
    assert checked > 50, checked
