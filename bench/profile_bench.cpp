// A built-in test profile judged over a record file of 1,000,000 frames, warm
// cache, against the whole-file check of the same file (which the profile's
// run includes: the rules see each frame as the check walks it). A plain timed
// program, run through the console program.
//
//   build/bin/bench_profile [--frames=N] [--dir=PATH]

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
    const std::string file = args.file("profile");
    if (!std::filesystem::exists(file)) {
        tarvik::synth::SampleOptions o;
        o.frames = frames;
        o.withCatalog = true;
        if (!tarvik::synth::writeSampleFile(file, o)) return 1;
    }
    seconds("cat '" + file + "' > /dev/null");  // warm the cache
    const double check = best(cli + " check --jobs 1 '" + file + "' > /dev/null");
    const double bathymetry = best(cli + " expect bathymetry-feed '" + file + "' > /dev/null");
    const double integrity = best(cli + " expect file-integrity '" + file + "' > /dev/null");
    const double n = static_cast<double>(frames + 2);
    std::printf("file: %.0f frames, %.1f MB\n", n, static_cast<double>(std::filesystem::file_size(file)) / 1e6);
    std::printf("check --jobs 1                  %7.3f s  %10.0f frames/s\n", check, n / check);
    std::printf("expect bathymetry-feed          %7.3f s  %10.0f frames/s  (%.2f x check)\n", bathymetry,
                n / bathymetry, bathymetry / check);
    std::printf("expect file-integrity           %7.3f s  %10.0f frames/s  (%.2f x check)\n", integrity,
                n / integrity, integrity / check);
    return 0;
}
