// The condensed file of a 1,000,000-frame record file in which 30 % of the
// records carry ping numbers (so their frames are read for the number): lines
// per second, index already built, output written to a file. For comparison,
// the same ping numbers read with one positioned read per frame.
//
// Usage: bench_condense [FOLDER]   (default: the system's temporary folder)

#include "core/condense.h"
#include "core/frame.h"
#include "core/output_file.h"
#include "core/record_file.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kFrames = 1'000'000;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void writeFile(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::uint32_t ping = 1;
    for (std::size_t i = 0; i < kFrames; ++i) {
        // Three frames in ten carry a ping number; one gap in a thousand pings.
        const std::uint32_t type = i % 10 < 3 ? 7000 : (i % 2 ? 7004 : 7027);
        FrameBuilder b(type);
        b.device(7125, static_cast<std::uint16_t>(i % 2)).counter(static_cast<std::uint32_t>(i));
        b.time(VxTIME{2024, 65, static_cast<float>(i % 60000) / 1000.0f, 7, 4});
        if (type == 7000) ping += (i % 1000 == 0) ? 3 : 1;
        // The ping number follows the sonar serial number.
        b.data().fill(20 + (i % 7) * 8, 0x33).patch<std::uint32_t>(kPingNumberInData, ping);
        const Bytes f = b.build();
        out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string input = (folder / "bench_condense.vxr").string();
    const std::string output = (folder / "bench_condense.txt").string();
    writeFile(input);

    RecordFile file;
    if (!file.open(input)) return 1;
    RecordIndex index;
    ScanFrames(file, index);
    std::printf("record file: %zu frames, %.1f MB\n", index.size(), static_cast<double>(file.size()) / 1e6);

    for (int run = 0; run < 3; ++run) {
        std::filesystem::remove(output);
        OutputFile out;
        if (out.create(output) != OutputFile::Created::Yes) return 1;
        LastPingNumbers pings;
        const auto start = Clock::now();
        const CondenseResult r = condenseRecords(file, index, DataSeparator::FixedWidth, pings,
                                                 [&](std::string_view piece) { return out.write(piece); });
        const double s = seconds(start);
        std::printf("condense (fixed width): %llu lines in %.3f s = %.2f million lines/s, %.1f MB written\n",
                    static_cast<unsigned long long>(r.lines), s, static_cast<double>(r.lines) / s / 1e6,
                    static_cast<double>(out.length()) / 1e6);
    }

    // The same ping numbers, one positioned read per frame.
    const auto start = Clock::now();
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < index.size(); ++i) {
        if (!carriesPingNumber(index[i].recordType())) continue;
        std::uint8_t head[64 + kPingNumberInData + 4];
        file.readAt(index[i].offset(), head);
        sum += pingNumberOf(head).value_or(0);
    }
    std::printf("ping numbers alone, one read per frame: %.3f s (checksum %llu)\n", seconds(start),
                static_cast<unsigned long long>(sum));
    std::filesystem::remove(input);
    std::filesystem::remove(output);
    return 0;
}
