#!/bin/sh
# Installs what is missing, builds, and runs the main job on an embedded default:
# vxcenter-sim, the server stand-in, on 127.0.0.1 (a port the system chooses),
# and the window with that address and port filled in: press "Start
# Communicating" and watch live records arrive, with the sector fan and the
# side-scan waterfall moving. Without a display, tarvik-cli listen runs against
# it for a few seconds instead. The stand-in stops when the
# window closes (or the listen ends).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
bin="$root/build/bin"
run="$root/build/run"
mkdir -p "$run"
rm -f "$run/port"
"$bin/vxcenter-sim" --port 0 --port-file "$run/port" --devices 2 --ping-rate 5 --imagery --samples 1024 >"$run/vxcenter-sim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT INT TERM
i=0
while [ ! -s "$run/port" ] && [ "$i" -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
port=$(cat "$run/port")
echo "== vxcenter-sim on 127.0.0.1:$port"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/tarvik" ]; then
    echo "== tarvik --address 127.0.0.1 --port $port   (press \"Start Communicating\")"
    "$bin/tarvik" --address 127.0.0.1 --port "$port"
else
    echo "== tarvik-cli listen 127.0.0.1 $port --seconds 4 --report-last"
    "$bin/tarvik-cli" listen 127.0.0.1 "$port" --seconds 4 --report-last
fi
