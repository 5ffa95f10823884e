// The window's share of a tick: 1,000 mixed frames through the window's own
// pipeline and list model, with the events that repaint the list, on the
// offscreen platform. With "--live PORT SECONDS" it then connects the window to
// a running vxcenter-sim on 127.0.0.1 and reports, per ten seconds, how many
// entries each arrival tick took: a queue that the window drains keeps that
// number level instead of growing.

#include "pipeline/arrival_pipeline.h"
#include "app/controls.h"
#include "app/qt/qt_view_port.h"
#include "app/tarvik_view.h"
#include "bench/offscreen_window.h"
#include "tools/synth/server_records.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace tarvik;

int main(int argc, char** argv) {
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    bench::OffscreenWindow offscreen;
    CMainFrame& window = offscreen.window;

    synth::SimDevice device;
    synth::PingShape shape;
    const std::vector<Bytes> kinds = {synth::sonarSettings(device, 1, 1), synth::beamGeometry(device, 2, shape),
                                      synth::bathymetry(device, 3, 1, shape), synth::detections(device, 4, 1, shape),
                                      synth::remoteSonarSettings(device, 5)};
    CArrivalPipeline& pipeline = window.view().pipeline();
    pipeline.setScrollLimit(1000);
    constexpr int kTicks = 200;
    double total = 0, worst = 0;
    for (int tick = 0; tick < kTicks; ++tick) {
        auto& batch = pipeline.arrivalBatch();
        for (int i = 0; i < 1000; ++i) batch.push_back(kinds[static_cast<std::size_t>(i) % kinds.size()]);
        QElapsedTimer t;
        t.start();
        pipeline.ProcessArrivedRecords();
        QApplication::processEvents();  // the list repaints
        const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        total += ms;
        worst = std::max(worst, ms);
    }
    std::printf("window tick, 1000 frames (limit 1000): mean %.2f ms, worst %.2f ms over %d ticks\n", total / kTicks,
                worst, kTicks);

    if (argc == 4 && std::strcmp(argv[1], "--live") == 0) {
        const double seconds = std::atof(argv[3]);
        window.port().setText(controls::kAddress, "127.0.0.1");
        window.port().setText(controls::kPort, argv[2]);
        window.view().OnStartCommunicating();
        if (!window.view().connection().connected()) return 1;
        std::vector<std::size_t> taken;
        auto take = pipeline.takePending;
        pipeline.takePending = [&] {
            auto q = take();
            taken.push_back(q.size());
            return q;
        };
        const auto start = std::chrono::steady_clock::now();
        std::size_t from = 0;
        for (int window10 = 1; std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds);) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            if (std::chrono::steady_clock::now() - start >= std::chrono::seconds(10 * window10)) {
                std::size_t sum = 0, most = 0;
                for (std::size_t i = from; i < taken.size(); ++i) {
                    sum += taken[i];
                    most = std::max(most, taken[i]);
                }
                const std::size_t ticks = taken.size() - from;
                std::printf("%3d s: %zu ticks, %.1f entries per tick, at most %zu\n", 10 * window10, ticks,
                            ticks ? static_cast<double>(sum) / static_cast<double>(ticks) : 0.0, most);
                std::fflush(stdout);
                from = taken.size();
                ++window10;
            }
        }
        window.close();
    }
    return 0;
}
