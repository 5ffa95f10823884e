#include "tools/tarvik-cli/live_session.h"

#include "app/controls.h"
#include "core/frame.h"

#include <chrono>
#include <csignal>
#include <signal.h>
#include <thread>

namespace tarvik::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) { gInterrupted = 1; }

} // namespace

void LiveSession::catchInterrupts() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        if (::sigaction(sig, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;  // a second interrupt ends the program
        ::sigaction(sig, &action, nullptr);
    }
}

bool LiveSession::interrupted() { return gInterrupted != 0; }

LiveSession::LiveSession(bool printRows) {
    connectionLost_ = view.connection().connectionLost.subscribe([this] {
        lost_ = true;
        std::fputs("The connection to the server ended\n", stderr);
    });
    // The console printer: one more subscriber of the pipeline.
    CArrivalPipeline::Subscriber printer;
    printer.listed = [this, printRows](const ListedEntry& entry) {
        if (printRows) {
            const std::string line = rowLine(entry);
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
        }
        if (FrameView(entry.bytes()).isFrame()) lastListedFrame = entry;
    };
    printer_ = view.pipeline().subscribe(std::move(printer));
    // A wait of the view (a script's pause) runs the arrival timer meanwhile,
    // so what the server sends is listed as it comes.
    port.waitHook = [this](unsigned milliseconds) { run(milliseconds / 1000.0); };
}

std::string LiveSession::rowLine(const ListedEntry& entry) {
    if (FrameView(entry.bytes()).isFrame())
        return CArrivalPipeline::entryText(entry.bytes(), 0) + "\t" + CArrivalPipeline::entryText(entry.bytes(), 1);
    return CArrivalPipeline::entryText(entry.bytes(), 1);
}

void LiveSession::run(double seconds) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(seconds));
    bool last = false;
    while (true) {
        // A fast feed has the pipeline ask for its next take sooner.
        const auto period = std::chrono::milliseconds(view.pipeline().arrivalPeriod());
        const auto now = clock::now();
        const bool ending = lost_ || interrupted() || now >= deadline;
        if (!ending) std::this_thread::sleep_for(std::min<clock::duration>(period, deadline - now));
        port.runPosted();
        view.OnTimer(timers::kArrival);
        std::fflush(stdout);
        if (ending) {
            if (last) break;
            last = true;  // one more tick lists what the end itself queued
        }
    }
}

} // namespace tarvik::cli
