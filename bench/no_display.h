#pragma once
// A display of the arrival pipeline that shows nothing, so that a benchmark
// measures only the pipeline's own work and its sinks'.

#include "pipeline/arrival_pipeline.h"

namespace tarvik::bench {

struct NoDisplay final : PipelineDisplay {
    void setRecordRowCount(std::size_t) override {}
    std::optional<std::size_t> selectedRecordRow() const override { return std::nullopt; }
    void selectRecordRow(std::optional<std::size_t>) override {}
    std::pair<std::size_t, std::size_t> visibleRecordRows() const override { return {0, 0}; }
    void startArrivalTimer(unsigned) override {}
    void stopArrivalTimer() override {}
};

} // namespace tarvik::bench
