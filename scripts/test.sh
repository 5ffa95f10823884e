#!/bin/sh
# Installs what is missing, builds, and runs every test: the GCC build (with the
# widget tests under a virtual display and the Debian package test), then the
# clang build with AddressSanitizer and UndefinedBehaviorSanitizer (the unit and
# end-to-end tests, and short runs of every fuzz target from its seed corpus),
# then the threaded tests (network, connection, pipeline, capture read-ahead)
# with ThreadSanitizer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
. "$root/scripts/ccache_env.sh"

# One line per stage with the time it took, and the stage a failure stopped in.
started=$(date +%s)
stage_start=$started
stage_name=setup
stage() {  # the stage that starts now
    now=$(date +%s)
    echo "test.sh: $stage_name took $((now - stage_start)) s"
    stage_start=$now
    stage_name=$1
}
trap 'status=$?; [ "$stage_name" = done ] || echo "test.sh: stopped in $stage_name after $(($(date +%s) - stage_start)) s (exit $status)"' EXIT

"$root/scripts/setup.sh"
stage "GCC build"
"$root/scripts/build.sh"
stage "GCC tests"
cd "$root/build"
# Widget tests need a display: give them a virtual one. Two tests more than
# cores: many end-to-end tests spend their seconds waiting on sockets and child
# programs. (The sanitizer runs below keep one per core: there the tests are
# slow on the processor, and some bound the time a client takes.)
xvfb-run -a ctest --output-on-failure -j "$((jobs + 2))"

# The sanitizer build. Widget tests stay out: Qt's own libraries are not
# instrumented, and the window adds the longest compile for little reach.
stage "ASan build"
sanitized="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$sanitized" -G Ninja -DTARVIK_FUZZ=ON -DTARVIK_SANITIZE=address \
  -DTARVIK_BUILD_GUI=OFF -DTARVIK_BUILD_TESTS=ON -DTARVIK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$sanitized" -j "$jobs"
export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
stage "ASan tests"
# Two tests of the GCC run are left out here, where they take half a minute
# between them and the sanitizers add little: tarvik-cli play refusing a
# script fan-out (the same budget is played in-process under the sanitizers by
# ScriptBudgets.NestedFanOutStopsAtTheRecordCap, and the program's memory bound
# cannot be measured under them), and the Python examples (the module's own
# tests, which run here, cover what they call).
ctest --test-dir "$sanitized" --output-on-failure -j "$jobs" \
    -E '^(CliPlay\.FanOutIsRefusedWithinMemoryAndTime|python_examples)$'

stage fuzz
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
fuzz expression_fuzz 8 512
fuzz pattern_fuzz 8 4096
fuzz script_fuzz 10 4096 -dict="$root/fuzz/script.dict"
fuzz convert_fuzz 5 256
fuzz device_list_fuzz 8 4096
fuzz capture_fuzz 10 16384
fuzz capture_stream_fuzz 8 16384
fuzz packet_file_fuzz 10 16384
fuzz profile_fuzz 8 4096
# Every record file of that corpus, hostile ones included, is checked without a
# crash (0 clean, 1 problems found), by the sanitized build.
status=0
"$sanitized/bin/tarvik-cli" check --jobs "$jobs" "$root"/fuzz/corpus/record_file_fuzz/* \
    "$sanitized"/corpus/record_file_fuzz/* >/dev/null || status=$?
[ "$status" -le 1 ] || { echo "tarvik-cli check failed on the record file corpus ($status)"; exit 1; }

# The threaded code under ThreadSanitizer: the receiver, the connection and the
# arrival pipeline, with the programs their end-to-end tests start, and the
# capture reader's read-ahead.
stage "TSan build"
threaded="$root/build-tsan"
CC=clang CXX=clang++ cmake -S "$root" -B "$threaded" -G Ninja -DTARVIK_SANITIZE=thread \
  -DTARVIK_BUILD_GUI=OFF -DTARVIK_BUILD_TESTS=ON -DTARVIK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$threaded" -j "$jobs" --target net_tests app_tests capture_tests tarvik-cli vxcenter-sim
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
stage "TSan tests"
# Both programs at once, each cut into shards run side by side (GoogleTest's
# sharding): their end-to-end tests mostly wait on sockets and child programs.
pids=""
tsan_shards() {  # PROGRAM SHARDS
    i=0
    while [ "$i" -lt "$2" ]; do
        GTEST_TOTAL_SHARDS=$2 GTEST_SHARD_INDEX=$i "$threaded/bin/$1" --gtest_brief=1 &
        pids="$pids $!"
        i=$((i + 1))
    done
}
tsan_shards net_tests 2
tsan_shards app_tests 1
# The capture file read ahead on a second thread, and the check of what it reads.
GTEST_FILTER='PacketFile.*:CaptureCheck.*' "$threaded/bin/capture_tests" --gtest_brief=1 &
pids="$pids $!"
failed=0
for pid in $pids; do wait "$pid" || failed=1; done
[ "$failed" -eq 0 ] || { echo "ThreadSanitizer tests failed"; exit 1; }
stage done
echo "test.sh: all stages took $(($(date +%s) - started)) s"
