// Fuzz target: any text as a test profile over the built-in layouts; what
// loads is judged over a short run of settings and detections records (whole,
// cut, out of order, a loss between them) and its verdicts are written as
// text, JSON and JUnit XML, so that the checker and the writers meet every
// profile the loader lets through.

#include "core/frame.h"
#include "decode/layout_loader.h"
#include "profiles/profile.h"
#include "profiles/report.h"
#include "profiles/rule_checker.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

tarvik::Bytes record(std::uint32_t type, std::uint32_t ping, std::uint32_t counter, float seconds) {
    tarvik::FrameBuilder b(type);
    b.device(7125, 0).counter(counter);
    tarvik::VxTIME t;
    t.year = 2024;
    t.day = 65;
    t.seconds = seconds;
    b.time(t);
    b.data().u64(0x51A0'0001).u32(ping).u16(0).u32(counter * 3).u32(8).u8(1).u8(0).u32(34500);
    return b.build();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tarvik::LoadedDefinitions defs = tarvik::loadLayouts({}, false);
    static const std::vector<tarvik::Bytes> run = [] {
        std::vector<tarvik::Bytes> r;
        for (std::uint32_t i = 0; i < 6; ++i) {
            r.push_back(record(7000, 100 + i + (i == 4 ? 3 : 0), 2 * i, 1.0f * i));
            r.push_back(record(7027, 100 + i, 2 * i + 1, 1.0f * i + 0.5f));
        }
        r[5].resize(70);  // a detections record cut short
        return r;
    }();
    const auto profile = tarvik::profiles::parseProfile(
        "fuzz.yaml", std::string_view(reinterpret_cast<const char*>(data), size), defs.catalogue);
    if (!profile) return 0;
    tarvik::profiles::RuleChecker checker(*profile, {3, true});
    for (std::size_t i = 0; i < run.size(); ++i) {
        checker.record(run[i], i);
        if (i == 6) checker.textRow("TEXT Lost Packet", i);
        if (i == 8) checker.textRow("noise", i);
        if (i == 9) (void)checker.results(false);
    }
    checker.incident(tarvik::profiles::Incident::ConnectionLost, run.size(), "ended");
    const tarvik::profiles::SourceVerdict v{"fuzz", checker.results(true), {}};
    (void)tarvik::profiles::resultLines(v.results);
    (void)tarvik::profiles::verdictJson(*profile, {v});
    (void)tarvik::profiles::verdictJUnit(*profile, {v});
    return 0;
}
