#!/bin/sh
# wireshark_bench.sh [BUILD_DIR] [RECORDS] [RUNS]
# Processor time (user+system, /usr/bin/time) of tshark over generated
# captures: alone, with the compiled plugin, with the Lua dissector, side by
# side in one run, each the median of RUNS runs (default 3), and the ratios to
# tshark alone. Every run reads the capture with -T fields -e frame.number,
# which has tshark build every packet's whole tree.
#
# Two captures: clean traffic whose client acknowledges the data as a
# receiving host does (--plain --acked: every record is decoded), and the
# default sample, which acknowledges nothing and has its hard cases (after its
# segments out of order, Wireshark's TCP reassembly with its defaults loses
# the first connection's packet boundaries, so about half the records are not
# decoded there). Wireshark's TCP analysis tracks
# every unacknowledged segment as in flight and walks them all for each new
# segment, so on the second its cost grows with the square of the segments;
# the dissectors ask for TCP reassembly, which spreads that walk over more
# memory, and the walk then dominates. Each capture is read with tshark's
# defaults and with that tracking (tcp.track_bytes_in_flight) off.
# Wireshark reads personal plugins only when not run as root: as root the runs
# are made as the user nobody.
set -eu
build=$(cd "${1:-build}" && pwd)
records=${2:-100000}
runs=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/tarvik-cli" generate --capture "$work/acked.pcapng" --frames "$records" --plain --acked >/dev/null
"$build/bin/tarvik-cli" generate --capture "$work/unacked.pcapng" --frames "$records" >/dev/null
"$build/bin/tarvik-cli" catalogue --export-wireshark "$work/vx.lua" >/dev/null
mkdir -p "$work/home/.local/lib/wireshark" "$work/home/.config" "$work/none"
ln -s "$build/lib/wireshark/plugins" "$work/home/.local/lib/wireshark/plugins"
chmod -R a+rX "$work"
. "$(dirname "$0")/tshark_timing.sh"

row() {  # row CAPTURE OPTIONS OUTPUT TSHARK-ARGS...: one line of the table
    capture=$1 options=$2 output=$3
    shift 3
    # shellcheck disable=SC2086
    alone=$(median "$work/none" "$work/$capture.pcapng" $options "$@")
    # shellcheck disable=SC2086
    plugin=$(median "$work/home" "$work/$capture.pcapng" $options "$@")
    # shellcheck disable=SC2086
    lua=$(median "$work/none" "$work/$capture.pcapng" -X "lua_script:$work/vx.lua" $options "$@")
    label=defaults
    [ -n "$options" ] && label=no-flight
    printf '%-8s %-11s %-8s %8s %8s %8s %7s %7s\n' "$capture" "$label" "$output" \
        "$alone" "$plugin" "$lua" \
        "$(awk -v a="$alone" -v b="$plugin" 'BEGIN { printf "%.2fx", b / a }')" \
        "$(awk -v a="$alone" -v b="$lua" 'BEGIN { printf "%.2fx", b / a }')"
}

echo "$records records; median of $runs runs; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "no-flight: -o tcp.track_bytes_in_flight:FALSE; fields: -T fields -e frame.number (every packet's"
echo "whole tree), filter: -Y frame.len==0 (a tree nobody sees), summary: one line a packet (no tree)"
printf '%-8s %-11s %-8s %8s %8s %8s %7s %7s\n' capture tshark output alone plugin lua plugin/ lua/
for capture in acked unacked; do
    for options in "" "-o tcp.track_bytes_in_flight:FALSE"; do
        row "$capture" "$options" fields -T fields -e frame.number
    done
done
row acked "" filter -Y frame.len==0
row acked "" summary
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
