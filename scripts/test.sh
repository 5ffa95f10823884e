#!/bin/sh
# Installs what is missing, builds, and runs every test.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "$root/build"
# Widget tests need a display: give them a virtual one.
xvfb-run -a ctest --output-on-failure -j "$(nproc)"
# A short run of the report fuzzer, built with clang and the sanitizers in a folder of its own.
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DTARVIK_FUZZ=ON -DTARVIK_BUILD_GUI=OFF \
  -DTARVIK_BUILD_TESTS=OFF -DTARVIK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-fuzz" --target report_fuzz -j "$(nproc)"
mkdir -p "$root/build-fuzz/corpus"
"$root/build-fuzz/bin/report_fuzz" -max_total_time=30 -max_len=20000 -print_final_stats=1 "$root/build-fuzz/corpus"
# A short run of the packet handler fuzzer (same build folder).
cmake --build "$root/build-fuzz" --target net_packet_fuzz -j "$(nproc)"
mkdir -p "$root/build-fuzz/corpus-net"
"$root/build-fuzz/bin/net_packet_fuzz" -max_total_time=20 -max_len=8192 -print_final_stats=1 "$root/build-fuzz/corpus-net"
# A short run of the record file fuzzer, seeded with generated files.
cmake --build "$root/build-fuzz" --target record_file_fuzz -j "$(nproc)"
mkdir -p "$root/build-fuzz/corpus-file"
"$root/build/bin/tarvik-cli" generate "$root/build-fuzz/corpus-file/seed-catalog.vxr" --frames 5
"$root/build/bin/tarvik-cli" generate "$root/build-fuzz/corpus-file/seed-walk.vxr" --frames 4 --no-catalog
"$root/build-fuzz/bin/record_file_fuzz" -max_total_time=15 -max_len=4096 -print_final_stats=1 "$root/build-fuzz/corpus-file"
# A short run of the imagery fuzzer, seeded with the first records of a picture record file.
cmake --build "$root/build-fuzz" --target imagery_fuzz -j "$(nproc)"
mkdir -p "$root/build-fuzz/corpus-imagery"
"$root/build/bin/tarvik-cli" generate "$root/build-fuzz/pictures.vxr" --imagery 16
"$root/build/bin/tarvik-cli" list "$root/build-fuzz/pictures.vxr" | head -n 24 |
    awk -F '\t' '{ split($2, s, " "); print $1, s[1], offset + 0; offset += s[1] }' |
    while read -r type bytes offset; do
        [ "$bytes" -le 20000 ] || continue
        dd if="$root/build-fuzz/pictures.vxr" of="$root/build-fuzz/corpus-imagery/seed-$type-$offset" \
            bs=1 skip="$offset" count="$bytes" 2>/dev/null
    done
"$root/build-fuzz/bin/imagery_fuzz" -max_total_time=20 -max_len=20000 -print_final_stats=1 "$root/build-fuzz/corpus-imagery"
# A short run of the layout definition fuzzer, seeded with the built-in files.
cmake --build "$root/build-fuzz" --target layout_fuzz -j "$(nproc)"
mkdir -p "$root/build-fuzz/corpus-layouts"
cp "$root"/data/layouts/*.yaml "$root/build-fuzz/corpus-layouts/"
"$root/build-fuzz/bin/layout_fuzz" -max_total_time=15 -max_len=65536 -print_final_stats=1 "$root/build-fuzz/corpus-layouts"
# Every file of that corpus, hostile ones included, is checked without a crash (0 clean, 1 problems found).
status=0
"$root/build/bin/tarvik-cli" check --jobs "$(nproc)" "$root"/build-fuzz/corpus-file/* >/dev/null || status=$?
[ "$status" -le 1 ] || { echo "tarvik-cli check failed on the record file corpus ($status)"; exit 1; }
# Short runs of the script player and value conversion fuzzers, the script one
# seeded with a few script lines.
cmake --build "$root/build-fuzz" --target script_fuzz convert_fuzz -j "$(nproc)"
mkdir -p "$root/build-fuzz/corpus-script" "$root/build-fuzz/corpus-convert"
printf 'PACE, 0\r\n1003, 50\r\n1051, 0, 7000, 7004\r\nDEVICES, 7125, 1\r\n' > "$root/build-fuzz/corpus-script/seed-a.vxs"
printf 'P1009, 1, 0, 0, 0.7, -2.1, 2, [10, 1500], [20, 1499]\nECHO, Hello\n7500, 1003 Set range, 5\n' \
  > "$root/build-fuzz/corpus-script/seed-b.vxs"
"$root/build-fuzz/bin/script_fuzz" -max_total_time=20 -max_len=4096 -print_final_stats=1 "$root/build-fuzz/corpus-script"
"$root/build-fuzz/bin/convert_fuzz" -max_total_time=10 -max_len=256 -print_final_stats=1 "$root/build-fuzz/corpus-convert"
# A short run of the device list fuzzer (configuration records of any content).
cmake --build "$root/build-fuzz" --target device_list_fuzz -j "$(nproc)"
mkdir -p "$root/build-fuzz/corpus-devices"
"$root/build-fuzz/bin/device_list_fuzz" -max_total_time=15 -max_len=4096 -print_final_stats=1 "$root/build-fuzz/corpus-devices"
