// The layout workbench's two speeds, warm cache, as a user waits for them:
//  - tarvik-cli catalogue --draft over 100,000 records of a title-only type
//    (bytes of the file per second, the best of three runs);
//  - with a display (bench_layout_reload), the time from saving a layout file
//    to the new report in the window.
//
//   build/bin/bench_workbench [--records=N] [--dir=PATH]

#include "tests/support/hidden_records.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

double seconds(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    std::size_t records = 100'000;
    std::string dir = std::filesystem::temp_directory_path().string();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--records=")) records = std::strtoull(a.c_str() + 10, nullptr, 10);
        else if (a.starts_with("--dir=")) dir = a.substr(6);
    }
    const std::string cli = (std::filesystem::path(argv[0]).parent_path() / "tarvik-cli").string();
    const std::string file = dir + "/tarvik-draft-bench-" + std::to_string(records) + ".vxr";
    if (!std::filesystem::exists(file)) {
        std::ofstream out(file, std::ios::binary);
        for (std::size_t i = 0; i < records; ++i) {
            const tarvik::Bytes r = tarvik::testing::hiddenRecord(static_cast<std::uint32_t>(i));
            out.write(reinterpret_cast<const char*>(r.data()), static_cast<std::streamsize>(r.size()));
        }
    }
    const double bytes = static_cast<double>(std::filesystem::file_size(file));
    const std::string command = cli + " catalogue --draft 7032 '" + file + "' > /dev/null 2>&1";
    seconds("cat '" + file + "' > /dev/null");
    double best = seconds(command);
    for (int i = 0; i < 2; ++i) best = std::min(best, seconds(command));
    std::printf("draft: %zu records, %.1f MB in %.3f s: %.0f MB/s\n", records, bytes / 1e6, best, bytes / 1e6 / best);
    return 0;
}
