// Fuzz target: any text as a layout definition file, loaded after the shared
// enumerations (the full built-in set would slow every run down); then the
// records it defined report a frame of patterned bytes, so that the walker
// meets whatever layouts got through the checks. The enumerations are parsed
// once and the loader holding them is copied for every input.

#include "core/frame.h"
#include "decode/layout_loader.h"
#include "decode/report.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tarvik::LayoutLoader withEnumerations = [] {
        tarvik::LayoutLoader l;
        const auto& builtIn = tarvik::builtInLayoutFiles();
        l.addText(builtIn.front().name, builtIn.front().text);
        return l;
    }();
    tarvik::LayoutLoader loader(withEnumerations);
    loader.addText("fuzz.yaml", std::string_view(reinterpret_cast<const char*>(data), size));
    tarvik::LoadedDefinitions loaded = loader.finish();
    for (const auto& p : loaded.problems) (void)p.message();

    tarvik::NoRemoteCommandDefinitions commands;
    tarvik::RecordReporter reporter(loaded.catalogue, commands);
    int reported = 0;
    for (const auto& [key, record] : loaded.catalogue.records) {
        if (reported == 4) break;
        if (key.protocolVersion != 5 || key.recordVersion != 1 || record.items.empty()) continue;
        bool fromInput = false;
        for (const auto& k : loaded.sources.back().added) fromInput = fromInput || k == "record " + std::to_string(key.recordType);
        for (const auto& k : loaded.sources.back().replaced) fromInput = fromInput || k == "record " + std::to_string(key.recordType);
        if (!fromInput) continue;
        tarvik::FrameBuilder b(static_cast<std::uint32_t>(key.recordType));
        for (int i = 0; i < 96; ++i) b.data().u8(static_cast<std::uint8_t>(i % 7 == 0 ? 0 : i * 37));
        (void)reporter.report(b.build(), 0);
        ++reported;
    }
    return 0;
}
