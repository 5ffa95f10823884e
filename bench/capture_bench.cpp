// Records per second from a packet capture to listed rows: a capture of
// 1,000,000 records (about 320 MB of Vx payload over one TCP connection) is
// written once to a temporary file, then read as the window and tarvik-cli
// read it. Run: build/bin/bench_capture [RECORDS] [DATA_BYTES].

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/settings.h"
#include "app/tarvik_view.h"
#include "capture/capture_file.h"
#include "capture/capture_reader.h"
#include "tools/synth/capture_records.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tarvik;

namespace {
double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
} // namespace

int main(int argc, char** argv) {
    const std::size_t records = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const std::size_t dataBytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 220;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tarvik-capture-bench-" + std::to_string(::getpid()) + ".pcapng"))
            .string();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || !synth::writeBulkCapture(out, records, dataBytes)) {
        std::fprintf(stderr, "could not write %s\n", path.c_str());
        return 1;
    }
    std::fclose(out);
    const auto size = std::filesystem::file_size(path);
    std::printf("capture: %zu records, %.1f MB\n", records, static_cast<double>(size) / 1e6);

    // The reader alone: packets to records.
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        capture::CaptureReader reader;
        if (!reader.open(path)) {
            std::fprintf(stderr, "%s\n", reader.error().c_str());
            return 1;
        }
        std::size_t n = 0, bytes = 0;
        reader.read([&](capture::CapturedRecord&& r) {
            ++n;
            bytes += r.bytes.size();
        });
        const double s = seconds(start);
        std::printf("read: %zu records (%.0f MB) in %.3f s: %.2f million records/s\n", n, static_cast<double>(bytes) / 1e6,
                    s, static_cast<double>(n) / s / 1e6);
    }
    // Into a temporary record file with its index, as the window and tarvik-cli open a capture.
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        capture::CaptureRecordFile file;
        RecordIndex index;
        std::string message;
        if (!file.load(path, {}, index, message)) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return 1;
        }
        const double s = seconds(start);
        std::printf("index: %zu records in %.3f s: %.2f million records/s\n", index.size(), s,
                    static_cast<double>(index.size()) / s / 1e6);
    }
    // Capture to listed rows, as tarvik-cli list does: the view reads the
    // capture, then every row's three columns are asked for.
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        MemoryPort port;
        MemorySettingsStore settings;
        port.setText(controls::kRecordFilter, std::string(kAllRecords));
        CMyTarvikView view(port, settings);
        const auto made = std::chrono::steady_clock::now();
        if (!view.openRecordFile(path)) return 1;
        std::size_t characters = 0;
        const std::size_t rows = view.recordRowCount();
        for (std::size_t r = 0; r < rows; ++r)
            for (int column = 0; column < 3; ++column) characters += view.rowText(r, column).size();
        const double s = seconds(made);
        std::printf("listed: %zu rows (%zu characters) in %.3f s (the view itself made in %.3f s): "
                    "%.2f million records/s\n",
                    rows, characters, s, std::chrono::duration<double>(made - start).count(),
                    static_cast<double>(rows) / s / 1e6);
    }
    std::filesystem::remove(path);
    return 0;
}
