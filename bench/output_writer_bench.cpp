// 1 GiB of frames through the output record file writer (one write per frame,
// as the arrival pipeline hands them over) against a plain write-and-flush
// loop of the same frames in the same run. Frames of 16 KiB, 64 KiB and 1 MB.
//
// Usage: bench_output_writer [FOLDER]   (default: the system's temporary folder)

#include "app/memory_port.h"
#include "app/output_writer.h"
#include "app/settings.h"
#include "core/frame.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t kTotal = 1ull << 30;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

Bytes frameOf(std::size_t size, std::uint32_t counter) {
    FrameBuilder b(7008);
    b.device(7125, 0).counter(counter);
    b.data().fill(size - 64 - 4, static_cast<std::uint8_t>(counter));
    return b.build();
}

double plainLoop(const std::string& path, const std::vector<Bytes>& frames, std::size_t count) {
    const auto start = Clock::now();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    for (std::size_t i = 0; i < count; ++i) {
        const Bytes& f = frames[i % frames.size()];
        std::fwrite(f.data(), 1, f.size(), out);
        std::fflush(out);
    }
    std::fclose(out);
    return seconds(start);
}

double writerLoop(const std::filesystem::path& folder, const std::vector<Bytes>& frames, std::size_t count,
                  std::time_t stamp) {
    MemoryPort port;
    MemorySettingsStore settings;
    RegistryString dir(setting_names::kLastOutputDirectory, settings);
    dir = folder.string();
    dir.Write();
    COutputFileWriter writer(port, settings);
    writer.clock = [stamp] { return stamp; };
    const auto start = Clock::now();
    writer.OnWriteOutputFile();
    for (std::size_t i = 0; i < count; ++i) writer.WriteArrivedFrame(frames[i % frames.size()]);
    const std::string name = writer.outputFileName();
    writer.OnWriteOutputFile();
    const double s = seconds(start);
    std::filesystem::remove(name);
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string plain = (folder / "bench_plain.vxr").string();
    for (std::size_t size : {std::size_t{16} << 10, std::size_t{64} << 10, std::size_t{1'000'000}}) {
        std::vector<Bytes> frames;
        for (std::uint32_t i = 0; i < 8; ++i) frames.push_back(frameOf(size, i));
        const std::size_t count = static_cast<std::size_t>(kTotal / size);
        double bestPlain = 1e9, bestWriter = 1e9;
        for (int run = 0; run < 3; ++run) {
            bestPlain = std::min(bestPlain, plainLoop(plain, frames, count));
            std::filesystem::remove(plain);
            bestWriter = std::min(bestWriter, writerLoop(folder, frames, count, 1709622249 + run));
        }
        const double mb = static_cast<double>(count * size) / 1e6;
        std::printf("frames of %zu bytes, %zu frames: plain write-and-flush %.0f MB/s, output writer %.0f MB/s "
                    "(%.0f %% of plain)\n",
                    size, count, mb / bestPlain, mb / bestWriter, 100.0 * bestPlain / bestWriter);
    }
    return 0;
}
