"""Shared fixtures: small record files made by tarvik-cli generate."""

import os
import subprocess

import pytest

CLI = os.environ.get("TARVIK_CLI", "tarvik-cli")


# Under the sanitizer build the interpreter gets the sanitizer's runtime
# preloaded; tarvik-cli has it linked in and must not load it twice.
CLI_ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def cli(*args, check=True):
    """Runs tarvik-cli and returns its completed process (text output)."""
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, check=check, env=CLI_ENV)


@pytest.fixture(scope="session")
def sample(tmp_path_factory):
    """A generated record file of 40 frames with its catalog."""
    path = tmp_path_factory.mktemp("files") / "sample.vxr"
    cli("generate", path, "--frames", 40)
    return path
