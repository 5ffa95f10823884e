#pragma once
// What the record pipeline asks of whoever shows its rows: the window's
// record list, the console's printer, a test. The pipeline decides what is
// listed; the display only shows it, and says what the user has done to it
// (a row chosen, the list scrolled away from its end).

#include <cstddef>
#include <optional>
#include <utility>

namespace tarvik {

class PipelineDisplay {
public:
    virtual ~PipelineDisplay() = default;

    // The record list
    virtual void setRecordRowCount(std::size_t rows) = 0;
    virtual std::optional<std::size_t> selectedRecordRow() const = 0;
    virtual void selectRecordRow(std::optional<std::size_t> row) = 0;
    // The rows in sight, first and last.
    virtual std::pair<std::size_t, std::size_t> visibleRecordRows() const = 0;
    // Scrolls so that `row` is in sight (the list following its newest row).
    virtual void showRecordRow(std::size_t row) { (void)row; }
    // Off while the list is filled anew, on again when it is whole.
    virtual void setListRedraw(bool on) { (void)on; }
    // The report of a row no longer listed.
    virtual void clearReport() {}

    // The pause button says what pressing it does next.
    virtual void pausedChanged(bool paused) { (void)paused; }
    // A ping number skipped: the short alarm beep.
    virtual void pingDropped() {}
    // The arrival timer that calls OnArrivalTimer.
    virtual void startArrivalTimer(unsigned milliseconds) = 0;
    virtual void stopArrivalTimer() = 0;
};

} // namespace tarvik
