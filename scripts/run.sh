#!/bin/sh
# Installs what is missing, builds, and runs the main job on an embedded default:
# a sample record file made by the project's own frame builder, shown in the
# window when there is a display, else listed and reported on the console.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
bin="$root/build/bin"
sample="$root/build/sample.vxr"
"$bin/tarvik-cli" generate "$sample" --frames 40
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/tarvik" ]; then
    echo "== tarvik --open $sample --select 2"
    exec "$bin/tarvik" --open "$sample" --select 2
fi
echo "== tarvik-cli list $sample"
"$bin/tarvik-cli" list "$sample"
echo "== tarvik-cli report $sample --row 1"
"$bin/tarvik-cli" report "$sample" --row 1
