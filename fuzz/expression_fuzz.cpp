// Fuzz target: any text as a filter expression and as a value expression (a
// column, a plot series) over the built-in layouts; what parses is evaluated
// on a bathymetry record and a settings record, so that the evaluator meets
// every tree the parser lets through.

#include "core/frame.h"
#include "core/record_source.h"
#include "decode/layout_loader.h"
#include "expr/predicate.h"
#include "expr/value.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tarvik::LoadedDefinitions defs = tarvik::loadLayouts({}, false);
    static const tarvik::Bytes frames[2] = {
        [] {
            tarvik::FrameBuilder b(7027);
            b.device(7125, 1);
            tarvik::ByteWriter& d = b.data();
            d.u64(1).u32(2).u16(0).u32(3).u32(34).u8(1).u32(0).put(1.0f).put(0.5f).put(0.25f);
            for (int i = 0; i < 60; ++i) d.u8(0);
            for (std::uint16_t beam = 0; beam < 3; ++beam)
                d.u16(beam).put(1.0f).put(0.1f).u32(beam).u32(beam).put(0.5f).put(1.0f).put(0.0f).put(2.0f);
            return b.build();
        }(),
        [] {
            tarvik::FrameBuilder b(7000);
            for (int i = 0; i < 40; ++i) b.data().u8(static_cast<std::uint8_t>(i * 7));
            return b.build();
        }(),
    };
    static const tarvik::RecordOrigin origin{1700000000, 5, "TCP 10.0.0.1:7000 -> 10.0.0.2:5000"};
    static const auto names = std::make_shared<const tarvik::expr::FieldNames>(defs.catalogue);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto value = tarvik::expr::ValueExpression::compile(text, names))
        for (const tarvik::Bytes& frame : frames) {
            (void)(*value)->values(frame, {7, &origin});
            (void)(*value)->shown(frame, {7, &origin});
            (void)(*value)->shown(tarvik::ByteSpan(frame).first(70));
        }
    auto filter = tarvik::expr::compileFilter(text, defs.catalogue);
    if (!filter) return 0;
    for (const tarvik::Bytes& frame : frames) {
        (void)filter->passesType(tarvik::FrameView(frame).recordType());
        (void)filter->passes(frame, {7, &origin});
        (void)filter->passes(tarvik::ByteSpan(frame).first(70), {});
    }
    return 0;
}
