// The whole-file check of a record file of 1,000,000 frames with a checksum on
// every frame, warm cache: bytes per second against `cat FILE > /dev/null` in
// the same run, frames per second with and without the layout walk, and two
// files with two jobs against one. A plain timed program; run it through the
// console program so that the figures include what a user waits for.
//
//   build/bin/bench_check [--frames=N] [--dir=PATH]

#include "tools/synth/sample_records.h"

#include "bench/command_timing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using tarvik::bench::best;
using tarvik::bench::seconds;

int main(int argc, char** argv) {
    const tarvik::bench::GeneratedFileArgs args(argc, argv);
    const std::size_t frames = args.frames;
    const std::string& cli = args.cli;
    const std::string file = args.file("check");
    const std::string copy = args.file("check", "-b");
    if (!std::filesystem::exists(file) || !std::filesystem::exists(copy)) {
        tarvik::synth::SampleOptions o;
        o.frames = frames;
        o.withCatalog = true;
        if (!tarvik::synth::writeSampleFile(file, o)) return 1;
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
    }
    const double bytes = static_cast<double>(std::filesystem::file_size(file));
    const double n = static_cast<double>(frames + 2);
    seconds("cat '" + file + "' '" + copy + "' > /dev/null");  // warm the cache

    const double cat = best("cat '" + file + "' > /dev/null");
    const double plain = best(cli + " check --no-layouts --jobs 1 '" + file + "' > /dev/null");
    const double walk = best(cli + " check --jobs 1 '" + file + "' > /dev/null");
    const double twoSerial = best(cli + " check --jobs 1 '" + file + "' '" + copy + "' > /dev/null");
    const double twoJobs = best(cli + " check --jobs 2 '" + file + "' '" + copy + "' > /dev/null");

    std::printf("file: %.0f frames, %.1f MB\n", n, bytes / 1e6);
    std::printf("cat FILE > /dev/null        %7.3f s  %8.1f MB/s\n", cat, bytes / cat / 1e6);
    std::printf("check --no-layouts          %7.3f s  %8.1f MB/s  %10.0f frames/s  (%.2f x cat)\n", plain,
                bytes / plain / 1e6, n / plain, plain / cat);
    std::printf("check (layout walk)         %7.3f s  %8.1f MB/s  %10.0f frames/s\n", walk, bytes / walk / 1e6,
                n / walk);
    std::printf("two files, --jobs 1         %7.3f s\n", twoSerial);
    std::printf("two files, --jobs 2         %7.3f s  (%.2f x one file)\n", twoJobs, twoJobs / walk);
    return 0;
}
