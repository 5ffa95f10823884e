// Records per second from a packet capture to listed rows: a capture of
// 1,000,000 records (about 320 MB of Vx payload over one TCP connection) is
// written once to a temporary file, then read as the window and tarvik-cli
// read it. Run: build/bin/bench_capture [RECORDS] [DATA_BYTES] [CAPTURE [PHASE]]:
// with CAPTURE, that capture is read (and written first only when missing,
// then kept); PHASE runs one measurement only (read, views, index, source,
// listed or commands). Each line gives the wall time and the processor time
// of the process; `commands` times whole programs instead: `cat` of the
// capture, `tarvik-cli list` and `tarvik-cli check` of it, in turns, the
// median of 7 runs each (warm cache).

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/settings.h"
#include "app/tarvik_view.h"
#include "capture/capture_file.h"
#include "capture/capture_reader.h"
#include "capture/capture_source.h"
#include "tools/synth/capture_records.h"

#include "bench/command_timing.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tarvik;

namespace {
struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
    double wallSeconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    }
    double cpuSeconds() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

void report(const char* what, std::size_t records, const Clock& clock) {
    const double wall = clock.wallSeconds(), cpu = clock.cpuSeconds();
    std::printf("%s: %zu records in %.3f s (processor %.3f s): %.2f million records/s (%.2f per processor second)\n",
                what, records, wall, cpu, static_cast<double>(records) / wall / 1e6,
                static_cast<double>(records) / cpu / 1e6);
}
} // namespace

int main(int argc, char** argv) {
    const std::size_t records = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const std::size_t dataBytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 220;
    const bool keep = argc > 3;
    const std::string path =
        keep ? std::string(argv[3])
             : (std::filesystem::temp_directory_path() /
                ("tarvik-capture-bench-" + std::to_string(::getpid()) + ".pcapng"))
                   .string();
    const std::string phase = argc > 4 ? argv[4] : "";
    auto runs = [&](const char* name) { return phase.empty() || phase == name ? 3 : 0; };
    if (!keep || !std::filesystem::exists(path)) {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out || !synth::writeBulkCapture(out, records, dataBytes)) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            return 1;
        }
        std::fclose(out);
    }
    const auto size = std::filesystem::file_size(path);
    std::printf("capture: %.1f MB\n", static_cast<double>(size) / 1e6);

    // The reader alone: packets to records.
    for (int run = 0; run < runs("read"); ++run) {
        const Clock clock;
        capture::CaptureReader reader;
        if (!reader.open(path)) {
            std::fprintf(stderr, "%s\n", reader.error().c_str());
            return 1;
        }
        std::size_t n = 0;
        reader.read([&](capture::CapturedRecord&&) { ++n; });
        report("read", n, clock);
    }
    // The reader handing out views only: packets to records, nothing kept
    // (what libpcap, the link and IP layers and the reassembly cost).
    for (int run = 0; run < runs("views"); ++run) {
        const Clock clock;
        capture::CaptureOptions options;
        options.findRecordsInFile = true;
        capture::CaptureReader reader(options);
        if (!reader.open(path)) {
            std::fprintf(stderr, "%s\n", reader.error().c_str());
            return 1;
        }
        std::size_t n = 0, inPlace = 0;
        reader.readInPlace([&](const capture::CapturedRecordView& r) {
            ++n;
            inPlace += r.fileOffset >= 0;
        });
        report("views", n, clock);
        std::printf("  records found in place in the capture: %zu of %zu\n", inPlace, n);
    }
    // The index, as the window and tarvik-cli open a capture.
    for (int run = 0; run < runs("index"); ++run) {
        const Clock clock;
        capture::CaptureRecordFile file;
        RecordIndex index;
        std::string message;
        if (!file.load(path, {}, index, message)) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return 1;
        }
        report("index", index.size(), clock);
    }
    // The capture as a record source: frames whole in one packet stay in the
    // capture, the rest are copied aside.
    for (int run = 0; run < runs("source"); ++run) {
        const Clock clock;
        auto source = std::make_shared<capture::CaptureRecordSource>();
        std::string message;
        if (!source->build(path, {}, message)) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return 1;
        }
        report("source", source->index().size(), clock);
        std::printf("  frames copied aside: %llu of %zu\n", static_cast<unsigned long long>(source->copiedFrames()),
                    source->index().size());
    }
    // Capture to listed rows, as tarvik-cli list does: the view reads the
    // capture, then every row's three columns are asked for.
    for (int run = 0; run < runs("listed"); ++run) {
        MemoryPort port;
        MemorySettingsStore settings;
        port.setText(controls::kRecordFilter, std::string(kAllRecords));
        CMyTarvikView view(port, settings);
        const Clock clock;
        if (!view.openRecordFile(path)) return 1;
        std::size_t characters = 0;
        const std::size_t rows = view.recordRowCount();
        for (std::size_t r = 0; r < rows; ++r)
            for (int column = 0; column < 3; ++column) characters += view.rowText(r, column).size();
        report("listed", rows, clock);
    }
    // The commands a user runs, against `cat` of the same file.
    if (phase.empty() || phase == "commands") {
        const std::string cli = (std::filesystem::path(argv[0]).parent_path() / "tarvik-cli").string();
        const std::vector<std::vector<std::string>> commands = {
            {"/bin/cat", path}, {cli, "list", path}, {cli, "check", path}};
        std::vector<std::vector<double>> times(commands.size());
        constexpr int kRuns = 7;
        // One run of each warms the cache; then they take turns, so that a
        // change in the machine's load falls on all of them alike.
        for (int run = 0; run <= kRuns; ++run)
            for (std::size_t c = 0; c < commands.size(); ++c) {
                // check ends with 1 when the capture holds problems (lost packets).
                const double t = bench::spawnedSeconds(commands[c], -1);
                if (t < 0) {
                    std::fprintf(stderr, "could not run %s\n", commands[c][0].c_str());
                    return 1;
                }
                if (run > 0) times[c].push_back(t);
            }
        const double cat = bench::median(times[0]), list = bench::median(times[1]), check = bench::median(times[2]);
        std::printf("median of %d runs\n", kRuns);
        std::printf("cat CAPTURE                %7.3f s\n", cat);
        std::printf("tarvik-cli list CAPTURE    %7.3f s  %5.1fx cat\n", list, list / cat);
        std::printf("tarvik-cli check CAPTURE   %7.3f s  %5.1fx cat\n", check, check / cat);
        if (std::FILE* load = std::fopen("/proc/loadavg", "r")) {
            char text[64] = {};
            if (std::fgets(text, sizeof text, load)) std::printf("load average: %s", text);
            std::fclose(load);
        }
    }
    if (!keep) std::filesystem::remove(path);
    return 0;
}
