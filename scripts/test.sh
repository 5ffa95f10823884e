#!/bin/sh
# Installs what is missing, builds, and runs every test: the GCC build (with the
# widget tests under a virtual display and the Debian package test), then the
# clang build with AddressSanitizer and UndefinedBehaviorSanitizer (the unit and
# end-to-end tests, and short runs of every fuzz target from its seed corpus),
# then the threaded tests (network, connection, pipeline) with ThreadSanitizer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "$root/build"
# Widget tests need a display: give them a virtual one.
xvfb-run -a ctest --output-on-failure -j "$jobs"

# The sanitizer build. Widget tests stay out: Qt's own libraries are not
# instrumented, and the window adds the longest compile for little reach.
sanitized="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$sanitized" -G Ninja -DTARVIK_FUZZ=ON -DTARVIK_SANITIZE=address \
  -DTARVIK_BUILD_GUI=OFF -DTARVIK_BUILD_TESTS=ON -DTARVIK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$sanitized" -j "$jobs"
export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$sanitized" --output-on-failure -j "$jobs"

# Short fuzz runs. Each starts from its seed corpus in fuzz/corpus/NAME (read
# only) and writes what it finds into build-fuzz/corpus/NAME.
fuzz() {  # NAME SECONDS MAX_LEN [LIBFUZZER OPTION]...
    name=$1 seconds=$2 length=$3
    shift 3
    mkdir -p "$sanitized/corpus/$name"
    "$sanitized/bin/$name" -max_total_time="$seconds" -max_len="$length" -print_final_stats=1 "$@" \
        "$sanitized/corpus/$name" "$root/fuzz/corpus/$name"
}
fuzz report_fuzz 12 20000
fuzz net_packet_fuzz 10 8192
fuzz record_file_fuzz 10 4096
fuzz imagery_fuzz 12 20000
fuzz layout_fuzz 10 4096
fuzz script_fuzz 10 4096 -dict="$root/fuzz/script.dict"
fuzz convert_fuzz 5 256
fuzz device_list_fuzz 8 4096
fuzz capture_fuzz 10 16384
# Every record file of that corpus, hostile ones included, is checked without a
# crash (0 clean, 1 problems found), by the sanitized build.
status=0
"$sanitized/bin/tarvik-cli" check --jobs "$jobs" "$root"/fuzz/corpus/record_file_fuzz/* \
    "$sanitized"/corpus/record_file_fuzz/* >/dev/null || status=$?
[ "$status" -le 1 ] || { echo "tarvik-cli check failed on the record file corpus ($status)"; exit 1; }

# The threaded code under ThreadSanitizer: the receiver, the connection and the
# arrival pipeline, with the programs their end-to-end tests start.
threaded="$root/build-tsan"
CC=clang CXX=clang++ cmake -S "$root" -B "$threaded" -G Ninja -DTARVIK_SANITIZE=thread \
  -DTARVIK_BUILD_GUI=OFF -DTARVIK_BUILD_TESTS=ON -DTARVIK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$threaded" -j "$jobs" --target net_tests app_tests tarvik-cli vxcenter-sim
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$threaded/bin/net_tests" --gtest_brief=1
"$threaded/bin/app_tests" --gtest_brief=1
