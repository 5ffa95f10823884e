// What a user waits for before tarvik-cli does any work: `check` of a record
// file of about 1 MB against `cat` of it, `--version`, and `list` of a
// 10-record file, each the median of 21 runs (warm cache), started without a
// shell. A plain timed program.
//
//   build/bin/bench_startup [--runs=N] [--dir=PATH]

#include "tools/synth/sample_records.h"

#include "bench/command_timing.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using tarvik::bench::medianSpawned;

int main(int argc, char** argv) {
    int runs = 21;
    std::string dir = std::filesystem::temp_directory_path().string();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--runs=")) runs = std::max(1, std::atoi(a.c_str() + 7));
        else if (a.starts_with("--dir=")) dir = a.substr(6);
    }
    const std::string cli = (std::filesystem::path(argv[0]).parent_path() / "tarvik-cli").string();
    const std::string large = dir + "/tarvik-startup-bench-1mb.vxr";
    const std::string small = dir + "/tarvik-startup-bench-10.vxr";
    for (const auto& [file, frames] : {std::pair{large, std::size_t{2300}}, std::pair{small, std::size_t{10}}}) {
        if (std::filesystem::exists(file)) continue;
        tarvik::synth::SampleOptions o;
        o.frames = frames;
        o.withCatalog = true;
        if (!tarvik::synth::writeSampleFile(file, o)) return 1;
    }
    const double bytes = static_cast<double>(std::filesystem::file_size(large));
    const double cat = medianSpawned({"/bin/cat", large}, runs);
    const double check = medianSpawned({cli, "check", large}, runs);
    const double version = medianSpawned({cli, "--version"}, runs);
    const double list = medianSpawned({cli, "list", small}, runs);
    if (cat < 0 || check < 0 || version < 0 || list < 0) {
        std::fprintf(stderr, "bench_startup: a command failed (%s)\n", cli.c_str());
        return 1;
    }
    std::printf("median of %d runs; file of %.0f bytes\n", runs, bytes);
    std::printf("cat FILE                 %7.3f ms\n", cat * 1e3);
    std::printf("tarvik-cli check FILE    %7.3f ms  %5.2fx cat\n", check * 1e3, check / cat);
    std::printf("tarvik-cli --version     %7.3f ms\n", version * 1e3);
    std::printf("tarvik-cli list (10)     %7.3f ms\n", list * 1e3);
    if (FILE* load = std::fopen("/proc/loadavg", "r")) {
        char text[64] = {};
        if (std::fgets(text, sizeof text, load)) std::printf("load average: %s", text);
        std::fclose(load);
    }
}
