#!/bin/sh
# wireshark_bench.sh [BUILD_DIR] [RECORDS]
# Processor time (user+system, /usr/bin/time) of tshark over one generated
# capture: alone, with the compiled plugin, with the Lua dissector, side by
# side in one run. Every run reads the capture with -T fields -e frame.number.
# Run twice over: with tshark's defaults, and with its TCP sequence analysis
# off (whose cost grows with every unacknowledged segment once a dissector asks
# for TCP reassembly; the generated capture acknowledges none).
# Wireshark reads personal plugins only when not run as root: as root the runs
# are made as the user nobody.
set -eu
build=$(cd "${1:-build}" && pwd)
records=${2:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/tarvik-cli" generate --capture "$work/capture.pcapng" --frames "$records" >/dev/null
"$build/bin/tarvik-cli" catalogue --export-wireshark "$work/vx.lua" >/dev/null
mkdir -p "$work/home/.local/lib/wireshark" "$work/home/.config" "$work/none"
ln -s "$build/lib/wireshark/plugins" "$work/home/.local/lib/wireshark/plugins"
chmod -R a+rX "$work"
as_user=""
[ "$(id -u)" -eq 0 ] && as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
run() {  # run NAME HOME TSHARK-ARGS...
    name=$1 home=$2
    shift 2
    $as_user env HOME="$home" XDG_CONFIG_HOME="$home/.config" /usr/bin/time -f "$name %U+%S s" \
        tshark -n -r "$work/capture.pcapng" "$@" -T fields -e frame.number >/dev/null
}
echo "$records records, $(stat -c %s "$work/capture.pcapng") bytes"
for options in "" "-o tcp.analyze_sequence_numbers:FALSE"; do
    echo "tshark $options"
    # shellcheck disable=SC2086
    run alone "$work/none" $options
    # shellcheck disable=SC2086
    run plugin "$work/home" $options
    # shellcheck disable=SC2086
    run lua "$work/none" -X "lua_script:$work/vx.lua" $options
done
