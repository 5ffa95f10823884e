#!/bin/sh
# Remakes every picture in docs/ in one command: builds what it needs, then
# under xvfb-run (a virtual 1600 x 1000 screen, Mesa's software OpenGL) takes
#   docs/screenshot-live.png  the window on vxcenter-sim --imagery, a live row selected
#   docs/screenshot.png       the window on a generated sample file, its 7004 row selected
#   docs/columns-plot.png     the same file under a field filter, with custom columns and the plot pane
#   docs/imagery.png          the window on the generator's picture records, a 7008 row selected
#   docs/workbench.png        the 7004 row under a user layout that stops short: undecoded bytes shaded
#   docs/ctlkit-gallery.png   the Ctlkit gallery
# The window opens as a first run does (its settings in a temporary folder).
#   scripts/screenshots.sh
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/bin"
docs="$root/docs"
if [ ! -f "$root/build/build.ninja" ]; then "$root/scripts/build.sh"; fi
cmake --build "$root/build" -j2 --target tarvik tarvik-cli vxcenter-sim ctlkit-gallery
work=$(mktemp -d)
sim=""
cleanup() {
    if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
export XDG_CONFIG_HOME="$work/config"
screen="-screen 0 1600x1000x24"
shot() {  # PICTURE, then the window's arguments
    picture=$1
    shift
    xvfb-run -a -s "$screen" "$bin/tarvik" --screenshot "$work/shot.png" "$@"
    mv "$work/shot.png" "$picture"
    echo "$picture"
}

# A sample record file, its 7004 (beam geometry) record in row 2.
"$bin/tarvik-cli" generate "$work/sample.vxr" >/dev/null
shot "$docs/screenshot.png" --open "$work/sample.vxr" --select 2

# Columns, a field filter and the plot pane: a 7027 row's detections as a
# column, the list filtered to bathymetry, detections and rate plotted.
shot "$docs/columns-plot.png" --open "$work/sample.vxr" --column 7027.number_of_detection_points \
    --column 'count(7027.quality > 30)' --filter '7027 && 7027.number_of_detection_points > 0' \
    --plot '7027.number_of_detection_points, rate'

# The layout workbench: record 7004 under a user layout that describes only
# its first two fields, so the bytes pane shades what no item decoded and the
# report ends with the line that counts them.
mkdir -p "$work/layouts"
cat >"$work/layouts/7004.yaml" <<'LAYOUT'
records:
  - type: 7004
    title: "Vx Beam Geometry"
    items:
      - ["Sonar serial number", u, 8]
      - ["Number of receiver beams", u, 4]
LAYOUT
shot "$docs/workbench.png" --layouts "$work/layouts" --open "$work/sample.vxr" --select 2

# The simulator's picture records; row 21 is a 7008 beam data record.
"$bin/tarvik-cli" generate "$work/pictures.vxr" --imagery 600 >/dev/null
shot "$docs/imagery.png" --open "$work/pictures.vxr" --select 21

# Live: the simulator with two devices and moving pictures; the window
# connects, and row 6 is selected two seconds later.
"$bin/vxcenter-sim" --port 0 --port-file "$work/port" --devices 2 --ping-rate 5 --imagery --samples 1024 \
    >"$work/sim.log" 2>&1 &
sim=$!
i=0
while [ ! -s "$work/port" ] && [ "$i" -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
shot "$docs/screenshot-live.png" --address 127.0.0.1 --port "$(cat "$work/port")" --start --select 6
kill "$sim" 2>/dev/null || true
sim=""

xvfb-run -a -s "$screen" "$bin/ctlkit-gallery" --screenshot "$docs/ctlkit-gallery.png"
echo "$docs/ctlkit-gallery.png"
