#!/bin/sh
# wireshark_lua_floor.sh [BUILD_DIR] [RECORDS] [RUNS]
# What any Lua dissector pays tshark for the tree items it adds, beside what
# the generated Lua dissector costs. On a clean acknowledged capture of
# RECORDS records (default 100,000), processor time (user+system, median of
# RUNS runs, default 3) of tshark writing every packet's tree (-T fields):
#   alone         no Vx dissector;
#   floor 0       a Lua dissector on the Vx port that adds one item a packet
#                 and decodes nothing (the cost of calling Lua at all);
#   floor N       the same adding N items a packet, N being the items the
#                 generated dissector adds per packet on this capture
#                 (counted from tshark -V with and without it);
#   generated     the generated Lua dissector.
# When "floor N" alone is above 3x "alone", no Lua dissector that shows the
# same items can be within 3x: the binding's cost per item is the floor.
set -eu
build=$(cd "${1:-build}" && pwd)
records=${2:-100000}
runs=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/tarvik-cli" generate --capture "$work/acked.pcapng" --frames "$records" --plain --acked >/dev/null
"$build/bin/tarvik-cli" catalogue --export-wireshark "$work/vx.lua" >/dev/null
mkdir -p "$work/none"
chmod -R a+rX "$work"
. "$(dirname "$0")/tshark_timing.sh"

floor_script() {  # floor_script ITEMS FILE
    cat >"$2" <<EOF
local floor = Proto("vxfloor", "Lua item cost")
local value = ProtoField.uint32("vxfloor.value", "Value", base.DEC)
floor.fields = { value }
function floor.dissector(tvb, pinfo, tree)
    if tvb:len() < 4 then return 0 end
    local range = tvb(0, 4)
    local item = tree:add(floor, range)
    for i = 1, $1 do item:add_le(value, range) end
    return tvb:len()
end
DissectorTable.get("tcp.port"):add(7000, floor)
EOF
    chmod a+r "$2"
}

tshark_as() {  # tshark_as ARGS...: tshark on the capture as the user who runs the timings
    $as_user env HOME="$work/none" XDG_CONFIG_HOME="$work/none" tshark -n -r "$work/acked.pcapng" "$@"
}

# Items the generated dissector adds per packet: the lines of the verbose
# tree with it, less those without it, over the packets of the capture.
packets=$(tshark_as -T fields -e frame.number | wc -l)
with=$(tshark_as -V -X "lua_script:$work/vx.lua" | wc -l)
without=$(tshark_as -V | wc -l)
items=$(awk -v a="$with" -v b="$without" -v p="$packets" 'BEGIN { printf "%d", (a - b) / p + 0.5 }')
floor_script 1 "$work/floor0.lua"
floor_script "$items" "$work/floorN.lua"

echo "$records records in $packets packets; the generated dissector adds $items items a packet;"
echo "median of $runs runs; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
alone=$(median "$work/none" "$work/acked.pcapng" -T fields -e frame.number)
ratio() { awk -v a="$alone" -v b="$1" 'BEGIN { printf "%.2fx", b / a }'; }
f0=$(median "$work/none" "$work/acked.pcapng" -X "lua_script:$work/floor0.lua" -T fields -e frame.number)
fn=$(median "$work/none" "$work/acked.pcapng" -X "lua_script:$work/floorN.lua" -T fields -e frame.number)
gen=$(median "$work/none" "$work/acked.pcapng" -X "lua_script:$work/vx.lua" -T fields -e frame.number)
printf '%-32s %8s s\n' "tshark alone" "$alone"
printf '%-32s %8s s %7s\n' "Lua floor, 1 item a packet" "$f0" "$(ratio "$f0")"
printf '%-32s %8s s %7s\n' "Lua floor, $items items a packet" "$fn" "$(ratio "$fn")"
printf '%-32s %8s s %7s\n' "generated Lua dissector" "$gen" "$(ratio "$gen")"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
