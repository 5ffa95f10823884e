#!/bin/sh
# Configures and builds into build/ (programs in build/bin/).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/ccache_env.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)"
