// Filters and plots over a record file of 1,000,000 frames, warm cache, side
// by side in one run: a field expression against `check`, a header-only
// expression against the record-type filter, and `plot` of one field against
// `check`. The commands take turns, round after round, so that a load that
// comes and goes touches each alike; the median of the rounds is shown.
//
//   build/bin/bench_expressions [FILE.vxr] [--frames=N] [--dir=PATH] [--rounds=N]

#include "tools/synth/sample_records.h"

#include "bench/command_timing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using tarvik::bench::seconds;

namespace {

struct Timed {
    const char* what;
    std::string command;
    std::vector<double> times;
    double median() const {
        std::vector<double> t = times;
        std::sort(t.begin(), t.end());
        return t.empty() ? 0 : t[t.size() / 2];
    }
};

} // namespace

int main(int argc, char** argv) {
    std::size_t frames = 1'000'000;
    int rounds = 9;
    std::string dir = std::filesystem::temp_directory_path().string();
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--frames=")) frames = std::strtoull(a.c_str() + 9, nullptr, 10);
        else if (a.starts_with("--dir=")) dir = a.substr(6);
        else if (a.starts_with("--rounds=")) rounds = std::max(1, std::atoi(a.c_str() + 9));
        else file = a;
    }
    const std::string cli = (std::filesystem::path(argv[0]).parent_path() / "tarvik-cli").string();
    if (file.empty()) {
        // The file bench_check makes: the same frames, no catalog past 1,000,000 records.
        file = dir + "/tarvik-check-bench-" + std::to_string(frames) + ".vxr";
        if (!std::filesystem::exists(file)) {
            tarvik::synth::SampleOptions o;
            o.frames = frames;
            o.withCatalog = true;
            if (!tarvik::synth::writeSampleFile(file, o)) return 1;
        }
    }
    const std::string picture = dir + "/tarvik-expressions-bench.png";
    const std::string f = " '" + file + "'";
    std::vector<Timed> runs = {
        {"cat FILE", "cat" + f + " > /dev/null", {}},
        {"check", cli + " check --jobs 1" + f + " > /dev/null", {}},
        {"list --filter 7027", cli + " list --filter 7027" + f + " > /dev/null 2>&1", {}},
        {"list --filter <header-only>",
         cli + " list --filter 'vx.device == 7125 && vx.enumerator == 1'" + f + " > /dev/null 2>&1", {}},
        {"list --filter <field>",
         cli + " list --filter '7027 && 7027.number_of_detection_points > 100'" + f + " > /dev/null 2>&1", {}},
        {"plot --y <field>",
         cli + " plot" + f + " --y 7027.number_of_detection_points --out '" + picture + "' --force > /dev/null", {}},
    };
    seconds("cat" + f + " > /dev/null");  // warm the cache
    for (int r = 0; r < rounds; ++r)
        for (Timed& t : runs) t.times.push_back(seconds(t.command));
    std::filesystem::remove(picture);

    const double check = runs[1].median(), byType = runs[2].median();
    std::printf("file: %s, %.1f MB; median of %d rounds\n", file.c_str(),
                static_cast<double>(std::filesystem::file_size(file)) / 1e6, rounds);
    for (const Timed& t : runs) std::printf("%-30s %7.3f s\n", t.what, t.median());
    std::printf("field filter / check          %7.2f x  (aim 1.5)\n", runs[4].median() / check);
    std::printf("header-only / record types    %7.2f x  (aim 1.2)\n", runs[3].median() / byType);
    std::printf("plot / check                  %7.2f x  (aim 2)\n", runs[5].median() / check);
    return 0;
}
