#pragma once
// The sonar sector picture without any window.
//
// CVelkSector is the sector display component as the tool drives it: a few
// properties (image present, beams, start and end angle, range, forward-looking)
// and one draw call that hands over a byte image, one column per beam and one
// row per range step, nearest range first. It keeps what it was last given;
// a widget or the offscreen renderer draws that as a fan.
//
// CSonarSector turns the records handed to it into draw calls: it keeps the
// newest settings records per device, works out the sector's geometry from
// them, and draws image, bathymetry and beam data records.

#include "core/bytes.h"
#include "imagery/echogram.h"
#include "imagery/imagery_key.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace tarvik {

struct SectorProperties {
    bool imagePresent = false;  // dispatch id 1
    std::int16_t beams = 0;     // 3
    double startAngle = 0.0;    // 4, degrees
    double endAngle = 0.0;      // 5, degrees
    double range = 0.0;         // 7, metres
    bool forwardLooking = false;  // 10
};

// Soundings of a bathymetry record placed in the fan: across the sector (0..1
// from the start angle) and outward (0..1 of the range).
struct SectorPoint {
    float across = 0, outward = 0;
};

// What the component shows: the properties as they stood at the last draw
// call, and the image it was given.
struct SectorPicture {
    SectorProperties properties;
    Bytes image;  // width * height bytes, row by row
    int width = 0, height = 0;
    std::vector<SectorPoint> points;  // the newest soundings, drawn over the image
    std::uint64_t serial = 0;         // counts draw calls
    bool testImage = false;           // the start-up test picture, not a record's
};

class CVelkSector {
public:
    virtual ~CVelkSector() = default;

    void SetImagePresent(bool on) { properties_.imagePresent = on; }
    void SetBeams(std::int16_t beams) { properties_.beams = beams; }
    void SetStartAngle(double degrees) { properties_.startAngle = degrees; }
    void SetEndAngle(double degrees) { properties_.endAngle = degrees; }
    void SetRange(double metres) { properties_.range = metres; }
    void SetForwardLooking(bool on) { properties_.forwardLooking = on; }
    const SectorProperties& properties() const { return properties_; }

    // The draw method: the image must hold width x height bytes, both sizes
    // positive; anything else is refused (false) and the picture is kept.
    bool Draw(ByteSpan image, std::int16_t width, std::int16_t height);
    // Shows the component's window.
    virtual void ShowWindow() { visible_ = true; }
    bool visible() const { return visible_; }

    const SectorPicture& picture() const { return picture_; }
    // Called after every accepted draw call (the widget repaints).
    std::function<void()> onDraw;

protected:
    void setPoints(std::vector<SectorPoint> points) { points_ = std::move(points); }
    // Marks the picture last drawn as the start-up test picture.
    void markTestImage() { picture_.testImage = true; }

private:
    SectorProperties properties_;
    SectorPicture picture_;
    std::vector<SectorPoint> points_;
    bool visible_ = false;
};

// The record's data section as held: from 4 + Offset up to the optional data,
// the checksum or the end of the bytes, whichever comes first.
ByteSpan recordDataSection(ByteSpan record);

// Bytes per part of one beam sample, by data sample type.
struct SampleSizes {
    std::uint32_t amplitude = 0, phase = 0, i = 0, q = 0;
    std::uint32_t total() const { return amplitude + phase + i + q; }
};
using DataSampleTypeTable = std::map<std::uint32_t, SampleSizes>;
// Every data sample type whose parts the record layouts describe.
DataSampleTypeTable dataSampleTypeTable();

// The samples of a beam data record (7008), read in place.
struct BeamDataRecord {
    std::uint32_t beams = 0;        // N
    std::uint32_t samples = 0;      // S, per beam
    std::uint8_t subsetFlag = 0;
    std::uint8_t rowColumnFlag = 0;
    std::uint32_t sampleType = 0;
    SampleSizes sizes;
    ByteSpan data;  // N x S samples, all held (empty when the sample size is 0)

    // One byte of beam b, sample s: the amplitude's top byte, or the magnitude of I and Q.
    std::uint8_t sample(std::uint32_t beam, std::uint32_t s) const;
};
// Reads the record's fixed part and beam descriptors and checks that every
// sample lies within the record. Unknown sample types are added to the table
// with zero sizes. Nothing for a short record, no beams or more than 32,767.
std::optional<BeamDataRecord> readBeamData(ByteSpan record, DataSampleTypeTable& table);

class CSonarSector : public CVelkSector {
public:
    CSonarSector();

    struct Geometry {
        std::int16_t beams = 99;
        double start = 59.0, end = -59.0, range = 91.0;
    };

    // The 11 x 13 test picture shown once the component exists.
    void StartUp();
    // A record of the list, the file preload or the report.
    void DisplayRecord(const ImageryKey& key, ByteSpan record);
    // The geometry for a device from its stored records, with the fallbacks.
    Geometry geometry(std::uint32_t deviceId, std::uint32_t enumerator) const;

    const std::map<ImageryKey, Bytes>& store() const { return store_; }
    EchogramImage& echogram() { return echogram_; }
    const DataSampleTypeTable& sampleTypes() const { return sampleTypes_; }

private:
    Geometry applyGeometry(const ImageryKey& key);
    void drawImage(const ImageryKey& key, ByteSpan record);
    void drawBathymetry(const ImageryKey& key, ByteSpan record);
    void drawBeamData(const ImageryKey& key, ByteSpan record);

    std::map<ImageryKey, Bytes> store_;
    EchogramImage echogram_;  // storage only
    DataSampleTypeTable sampleTypes_;
};

} // namespace tarvik
