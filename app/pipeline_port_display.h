#pragma once
// The record pipeline shown in the window's record list: what the pipeline
// asks of its display, done through the view's port (the list, the pause
// button's text, the alarm beep, the arrival timer).

#include "app/controls.h"
#include "app/view_port.h"
#include "pipeline/pipeline_display.h"

namespace tarvik {

class PipelinePortDisplay final : public PipelineDisplay {
public:
    explicit PipelinePortDisplay(ViewPort& port) : port_(port) {}

    void setRecordRowCount(std::size_t rows) override { port_.setRecordRowCount(rows); }
    std::optional<std::size_t> selectedRecordRow() const override { return port_.selectedRecordRow(); }
    void selectRecordRow(std::optional<std::size_t> row) override { port_.selectRecordRow(row); }
    std::pair<std::size_t, std::size_t> visibleRecordRows() const override { return port_.visibleRecordRows(); }
    void showRecordRow(std::size_t row) override { port_.showRecordRow(row); }
    void setListRedraw(bool on) override { port_.setRedraw(controls::kRecordList, on); }
    void clearReport() override { port_.setReportLines({}); }
    void pausedChanged(bool paused) override { port_.setText(controls::kPause, paused ? "Continue" : "Pause"); }
    void pingDropped() override { port_.beep(600, 50); }
    void startArrivalTimer(unsigned milliseconds) override { port_.startTimer(timers::kArrival, milliseconds); }
    void stopArrivalTimer() override { port_.stopTimer(timers::kArrival); }

private:
    ViewPort& port_;
};

} // namespace tarvik
