#!/bin/sh
# Installs what is missing, builds, and runs every test.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "$root/build"
# Widget tests need a display: give them a virtual one.
xvfb-run -a ctest --output-on-failure -j "$(nproc)"
