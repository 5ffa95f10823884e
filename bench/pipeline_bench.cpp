// The arrival pipeline: records per second through ProcessArrivedRecords
// (100,000 frames of mixed types in batches of 1,000, scroll limit 1000), with
// a display that shows nothing, so that only the pipeline's own work is measured.
// With rules:1 the built-in bathymetry profile judges every listed record, as
// the window's Rules pane and expect --live do: its cost per record beside
// rules:0 is what the rules add to the pipeline.
// With sinks:1 the records go through the pipeline of the window's view with
// the sinks it attaches while connected: statistics, an output record file
// being written and the imagery (the rules, when asked, beside them).

#include "bench/no_display.h"
#include "bench/view_sinks.h"
#include "decode/layout_loader.h"
#include "pipeline/arrival_pipeline.h"
#include "profiles/rule_checker.h"
#include "tools/synth/server_records.h"

#include <benchmark/benchmark.h>

#include <memory>

using namespace tarvik;

namespace {

std::vector<Bytes> mixedFrames(std::size_t count) {
    synth::SimDevice device;
    synth::PingShape shape;
    shape.beams = 64;
    shape.samples = 100;
    shape.imageWidth = 64;
    shape.imageHeight = 32;
    // Each round of kinds is a ping of its own, as a sonar sends them: the
    // relation and gap rules then judge pairs, not one ping over and over.
    std::vector<Bytes> frames;
    frames.reserve(count);
    for (std::uint32_t i = 0; frames.size() < count; ++i) {
        const std::uint32_t ping = i / 7 + 1;
        switch (i % 7) {
        case 0: frames.push_back(synth::sonarSettings(device, i, ping)); break;
        case 1: frames.push_back(synth::beamGeometry(device, i, shape)); break;
        case 2: frames.push_back(synth::bathymetry(device, i, ping, shape)); break;
        case 3: frames.push_back(synth::detections(device, i, ping, shape)); break;
        case 4: frames.push_back(synth::beamData(device, i, ping, shape)); break;
        case 5: frames.push_back(synth::imageData(device, i, ping, shape)); break;
        default: frames.push_back(synth::remoteSonarSettings(device, i)); break;
        }
    }
    return frames;
}

// The built-in bathymetry profile, loaded once for every run.
const profiles::Profile& bathymetryProfile() {
    static const LoadedDefinitions definitions = loadLayouts({}, false);
    static const profiles::Profile profile = [] {
        auto p = profiles::loadProfile(profiles::resolveProfile("bathymetry-feed"), definitions.catalogue);
        if (!p) {
            std::fprintf(stderr, "%s\n", p.error().c_str());
            std::exit(1);
        }
        return std::move(*p);
    }();
    return profile;
}

void ProcessArrivedRecords(benchmark::State& state) {
    const std::vector<Bytes> frames = mixedFrames(100'000);
    std::size_t bytes = 0;
    for (const auto& f : frames) bytes += f.size();
    bench::NoDisplay display;
    std::unique_ptr<CArrivalPipeline> own;
    std::unique_ptr<bench::ViewWithSinks> view;
    if (state.range(2)) view = std::make_unique<bench::ViewWithSinks>();
    else own = std::make_unique<CArrivalPipeline>(display);
    CArrivalPipeline& pipeline = view ? view->pipeline() : *own;
    pipeline.setFilter(RecordFilter::types(state.range(0) ? "ALL RECORDS" : "7000; 7027"));
    pipeline.setScrollLimit(1000);
    std::size_t written = 0;
    CArrivalPipeline::Subscriber writer;
    writer.passed = [&](const Bytes&) { ++written; };
    const auto sink = pipeline.subscribe(std::move(writer));
    std::unique_ptr<profiles::RuleChecker> checker;
    CArrivalPipeline::Subscription rules;
    if (state.range(1)) {
        checker = std::make_unique<profiles::RuleChecker>(bathymetryProfile(), profiles::CheckerOptions{10, true});
        CArrivalPipeline::Subscriber judge;
        judge.listed = [&checker](const ListedEntry& entry) {
            if (FrameView(entry.bytes()).isFrame()) checker->record(entry.bytes(), entry.number);
        };
        rules = pipeline.subscribe(std::move(judge));
    }
    for (auto _ : state) {
        for (std::size_t at = 0; at < frames.size(); at += 1000) {
            state.PauseTiming();
            auto& batch = pipeline.arrivalBatch();
            batch.assign(frames.begin() + static_cast<long>(at), frames.begin() + static_cast<long>(at + 1000));
            state.ResumeTiming();
            pipeline.ProcessArrivedRecords();
        }
    }
    if (view && !view->writing()) state.SkipWithError("the output file stopped being written");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * frames.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    benchmark::DoNotOptimize(written);
}
BENCHMARK(ProcessArrivedRecords)
    ->ArgsProduct({{1, 0}, {0, 1}, {0, 1}})
    ->ArgNames({"all", "rules", "sinks"})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
