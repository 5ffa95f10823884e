#pragma once
// The two imagery displays behind one door: the echogram and the sector
// picture. Records from the list, the file preload and the report come in
// here; the echogram gets one line per ping from the side-scan record (7007,
// port and starboard side by side) or, while none has come, from the centre
// beam of the beam data record (7008); the sector gets every record.

#include "core/bytes.h"
#include "imagery/echogram.h"
#include "imagery/imagery_key.h"
#include "imagery/sector.h"

#include <functional>
#include <optional>
#include <string>

namespace tarvik {

// The echogram line of a record, one byte per sample; nothing for records
// that carry none or are too short for what they claim.
std::optional<Bytes> sideScanLine(ByteSpan record);
std::optional<Bytes> centreBeamLine(ByteSpan record, DataSampleTypeTable& table);

class CImageryDisplays {
public:
    CImageryDisplays();

    // Sets up what the form does once the displays exist: the colour map,
    // orientation and aspect of the echogram and the sector's test picture.
    void StartUp();
    // A record for the displays.
    void DisplayRecord(const ImageryKey& key, ByteSpan record);
    // A record for the echogram alone (a file's side-scan records when it is read).
    void FeedEchogram(const ImageryKey& key, ByteSpan record);
    // Connection started or a file read: the echogram starts empty.
    void Reset();

    // Echogram lines drawn since the last reset, records handed in (to either
    // display) and resets since the displays were made.
    std::uint64_t echogramLines() const { return echogramLines_; }
    std::uint64_t recordsHandedIn() const { return recordsHandedIn_; }
    std::uint64_t resets() const { return resets_; }
    // The line the echogram pane shows while it has no line to draw; empty once it has.
    std::string echogramCaption() const;

    EchogramImage& echogram() { return echogram_; }
    const EchogramImage& echogram() const { return echogram_; }
    CSonarSector& sector() { return sector_; }
    const CSonarSector& sector() const { return sector_; }
    // Called when the echogram's picture or colours changed (the widgets redraw);
    // `EchogramChanged` tells them after a change made to the echogram directly.
    std::function<void()> onEchogramChanged;
    void EchogramChanged() {
        if (onEchogramChanged) onEchogramChanged();
    }

private:
    void feed(const ImageryKey& key, ByteSpan record);

    EchogramImage echogram_;
    CSonarSector sector_;
    DataSampleTypeTable sampleTypes_;
    bool sideScanSeen_ = false;
    std::uint64_t echogramLines_ = 0, recordsHandedIn_ = 0, resets_ = 0;
};

} // namespace tarvik
