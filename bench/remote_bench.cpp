// Speed of the remote-control side: building the command catalogue, building
// one command record, and playing a script of 10,000 command lines with PACE 0
// (the records go nowhere: what is measured is the tool's own work, to set
// beside the 50 ms the sender pauses after each packet).

#include "decode/layout_loader.h"
#include "remote/definitions.h"
#include "remote/script.h"

#include <benchmark/benchmark.h>

using namespace tarvik;

namespace {

struct Counter : remote::CommandSender {
    std::size_t records = 0;
    void sendRecord(const Bytes& r) override {
        records += 1;
        benchmark::DoNotOptimize(r.data());
    }
};

struct QuietHost : remote::ScriptHost {
    void messageBox(std::string_view) override {}
    void wait(unsigned) override {}
    void writeOutputFile() override {}
    void setDisableInitialSubscription(bool) override {}
    void setScrollLimit(int) override {}
    void startCommunicating() override {}
    void stopVolatileConnections() override {}
    void terminate() override {}
};

const remote::RemoteCommandCatalogue& catalogue() {
    static const remote::RemoteCommandCatalogue c = remote::builtInRemoteCommandCatalogue();
    return c;
}

// A panel on the built-in catalogue for one device, sending to a counter.
struct CountingPanel {
    Counter sent;
    remote::CRemoteControlPanel panel{catalogue(), {}};
    CountingPanel() {
        panel.sender = &sent;
        panel.devices = {{7000, 0, false}};
        panel.localTime = [] { return VxTIME{}; };
    }
};

// The command catalogue made from definitions already loaded (the loading
// itself is timed by bench_report).
void BuildCatalogue(benchmark::State& state) {
    LayoutLoader loader;
    loader.addBuiltIn();
    const LoadedDefinitions definitions = loader.finish();
    for (auto _ : state) benchmark::DoNotOptimize(remote::remoteCommandCatalogue(definitions));
}
BENCHMARK(BuildCatalogue)->Unit(benchmark::kMillisecond);

void BuildOneCommand(benchmark::State& state) {
    CountingPanel counting;
    remote::CRemoteControlPanel& panel = counting.panel;
    panel.selection = panel.findLine("1051 ");
    panel.loadCommandRows();
    for (auto _ : state) {
        panel.rows[1].value = "7000, 7004, 7027";
        panel.buildAndSendCommand();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(counting.sent.records));
}
BENCHMARK(BuildOneCommand);

void PlayTenThousandLines(benchmark::State& state) {
    std::string script = "PACE, 0\r\n";
    for (int i = 0; i < 10'000; ++i)
        script += i % 2 ? "1003, " + std::to_string(i) + "\r\n" : "1051, 0, 7000, 7004, 7027\r\n";
    CountingPanel counting;
    QuietHost host;
    counting.panel.random = [] { return 1u; };
    counting.panel.scriptActive = true;
    remote::CScript player(counting.panel, host);
    for (auto _ : state) player.playScript(script, "bench.vxs");
    state.SetItemsProcessed(static_cast<std::int64_t>(counting.sent.records));
}
BENCHMARK(PlayTenThousandLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
