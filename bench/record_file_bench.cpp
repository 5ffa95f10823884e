// Indexing a record file of 1,000,000 frames of 200 to 400 bytes, by walking the
// frames and from the file's catalog, with a warm page cache.
//
//   build/bin/bench_record_file [--frames=N] [--dir=PATH]

#include "core/record_file.h"
#include "tools/synth/sample_records.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace tarvik;

namespace {

std::size_t gFrames = 1'000'000;
std::string gDir = std::filesystem::temp_directory_path().string();

const std::string& sampleFile(bool withCatalog) {
    static std::string paths[2];
    std::string& path = paths[withCatalog ? 1 : 0];
    if (path.empty()) {
        path = gDir + "/tarvik-bench-" + std::to_string(gFrames) + (withCatalog ? "-catalog" : "-walk") + ".vxr";
        if (!std::filesystem::exists(path)) {
            synth::SampleOptions o;
            o.frames = gFrames;
            o.withCatalog = withCatalog;
            o.minDataBytes = 200 - 68;  // frame = 64 header + data + 4 checksum
            o.maxDataBytes = 400 - 68;
            if (!synth::writeSampleFile(path, o)) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                std::exit(1);
            }
        }
    }
    return path;
}

void warm(const RecordFile& f) {
    std::vector<std::uint8_t> buf(1 << 20);
    for (std::uint64_t at = 0; f.readAt(at, buf) > 0; at += buf.size()) {
    }
}

void report(benchmark::State& state, const RecordIndex& index) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * index.size()));
    const double chunkBytes = double((index.size() + RecordIndex::kChunkEntries - 1) / RecordIndex::kChunkEntries) *
                              RecordIndex::kChunkEntries * RecordIndexEntry::kSize;
    state.counters["frames"] = double(index.size());
    state.counters["index_bytes_per_frame"] = chunkBytes / double(index.size());
}

void BM_WalkFrames(benchmark::State& state) {
    RecordFile f;
    if (!f.open(sampleFile(false))) state.SkipWithError("open failed");
    warm(f);
    RecordIndex index;
    for (auto _ : state) {
        index.clear();
        auto message = ScanFrames(f, index);
        benchmark::DoNotOptimize(message);
    }
    report(state, index);
}

void BM_ReadCatalog(benchmark::State& state) {
    RecordFile f;
    if (!f.open(sampleFile(true))) state.SkipWithError("open failed");
    warm(f);
    RecordIndex index;
    for (auto _ : state) {
        bool ok = ReadCatalog(f, index);
        if (!ok) state.SkipWithError("catalog not usable");
    }
    report(state, index);
}

} // namespace

BENCHMARK(BM_WalkFrames)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadCatalog)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--frames=", 0) == 0) gFrames = std::stoull(a.substr(9));
        else if (a.rfind("--dir=", 0) == 0) gDir = a.substr(6);
        else rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
