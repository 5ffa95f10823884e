// Imagery speed: echogram pings and colour-map changes, and one sector frame of
// 1,024 beams x 2,000 samples from record to picture.

#include "core/frame.h"
#include "imagery/echogram.h"
#include "imagery/sector.h"
#include "imagery/sector_render.h"
#include "tools/synth/report_records.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tarvik;

void BM_AddPing2048(benchmark::State& state) {
    EchogramImage echogram;
    echogram.SetResamplingMode(static_cast<std::uint32_t>(state.range(0)));
    Bytes ping(2048);
    for (std::size_t i = 0; i < ping.size(); ++i) ping[i] = static_cast<std::uint8_t>(i * 31);
    for (auto _ : state) {
        echogram.AddPing(ping);
        benchmark::DoNotOptimize(echogram.row(0));
    }
}
BENCHMARK(BM_AddPing2048)->Arg(0)->Arg(1)->Arg(2);

// A colour change: the map rebuilt, and (without the colour-table extension)
// the whole image expanded to RGBA for the upload.
void BM_ColourMapChange(benchmark::State& state) {
    EchogramImage echogram;
    std::vector<std::uint8_t> rgba;
    std::uint32_t choice = 0;
    for (auto _ : state) {
        echogram.SetColourMap(choice++ % 5);
        if (state.range(0)) echogram.expand(rgba);
        benchmark::DoNotOptimize(echogram.colourMap().data());
    }
}
BENCHMARK(BM_ColourMapChange)->Arg(0)->Arg(1);

Bytes bigBeamRecord() {
    synth::BeamData shape;
    shape.beams = 1024;
    shape.samples = 2000;
    shape.sampleType = 0x0022;  // 2-byte amplitude and phase
    FrameBuilder b(7008);
    b.device(7125, 0);
    synth::data7008(b.data(), 1, shape);
    return b.build();
}

// Record to sector picture: decoding 2,048,000 samples onto 1,024 rows.
void BM_SectorBeamRecord(benchmark::State& state) {
    const Bytes record = bigBeamRecord();
    CSonarSector sector;
    for (auto _ : state) {
        sector.DisplayRecord({7125, 0, 7008}, record);
        benchmark::DoNotOptimize(sector.picture().image.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(record.size()));
}
BENCHMARK(BM_SectorBeamRecord)->Unit(benchmark::kMillisecond);

// Drawing the fan of that picture: with the geometry unchanged (every ping)
// and with a new window size each time (resizing).
void BM_SectorDraw(benchmark::State& state) {
    CSonarSector sector;
    sector.DisplayRecord({7125, 0, 7008}, bigBeamRecord());
    EchogramImage colours;
    colours.SetColourMap(0);
    SectorRenderer renderer;
    RgbaImage out;
    out.resize(800, 600);
    int grow = 0;
    for (auto _ : state) {
        if (state.range(0)) out.resize(800 + (grow++ % 2), 600);
        renderer.render(sector.picture(), colours.colourMap(), out);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(BM_SectorDraw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
