// Repeat blocks: (record type, block index) -> title, count field, block items.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

namespace tarvik {

void addRepeats(CatalogueBuilder& c) {
    c.repeat(1004, 0, "Attitude Samples", "Number of samples").item("Sensor data", "vector", 0);
    c.repeat(1007, 0, "Motion over ground", "Number of fields").item("Motion Data", "vector", 0);
    c.repeat(1009, 0, "Sound velocity profile", "Number of samples")
        .item("Depth (m)", "f", 4)
        .item("Sound velocity (m/s)", "f", 4);
    c.repeat(1010, 0, "Record data", "Number of samples")
        .item("Conductivity or salinity", "f", 4)
        .item("Water temperature (deg C)", "f", 4)
        .item("Pressure or depth", "f", 4)
        .item("Sound velocity (m/s)", "f", 4)
        .item("Absorption (dB/km)", "f", 4);
    c.repeat(1014, 0, "Waypoint", "Waypoint count")
        .item("Latitude or Northing (rad. or m)", "f", 8)
        .item("Longitude or Easting", "f", 8);
    c.repeat(1016, 0, "Attitude", "Number of sets")
        .item("Time difference from record time (ms)", "u", 2)
        .item("Roll (deg)", "r2d", 4)
        .item("Pitch (deg)", "r2d", 4)
        .item("Heave (m)", "f", 4)
        .item("Heading (deg)", "r2d", 4);
    c.repeat(1200, 0, "Channel header", "Number of channels");
    c.repeat(2000, 0, "XYZ Data", "Frames in Data Record");
    c.repeat(3003, 0, "Detection", "Detection count").blockSize("Detection size");
    c.repeat(3004, 0, "Sonar observation", "Sonar observation").blockSize("Sonar observation");
    c.repeat(3100, 0, "BlueFin Navigation", "Number of frames");

    c.repeat(7001, 0, "Module Data", "Number of devices")
        .item("Module identifier", "u", 4)
        .item("Module description", "s", 64)
        .item("Module serial number", "u", 8)
        .item("Module info length", "u", 4)
        .item("Module info", "vector", 0);

    c.repeat(7006, 0, "Optional beam data", "Number of receiver beams")
        .item("Opt. along track dist.", "f", 4)
        .item("Opt. across track dist.", "f", 4)
        .item("Opt. Center sample number", "u", 4);

    // One sample of "Bytes per sample" bytes per block.
    c.repeat(7007, 0, "Port backscatter", "S (Samples)").item("Port data", "vector", 0);
    c.repeat(7007, 1, "Strbd. backscatter", "S (Samples)").item("Strbd. data", "vector", 1);

    c.repeat(7008, 0, "Beam description", "Number of beams in record")
        .item("Beam number", "u", 2)
        .item("First sample number", "u", 4)
        .item("End sample number", "u", 4);
    c.repeat(7008, 2, "Opt. Beam along/across track dist.", "Number of beams in record")
        .item("Beam along track dist. (m)", "f", 4)
        .item("Beam across track dist. (m)", "f", 4)
        .item("Center sample number", "u", 4);

    c.repeat(7011, 0, "Vx Image data", "Image height in pixels").item("Row", "vector", 0);
    c.repeat(7016, 0, "7016BeamInfo", "Beams");
    c.repeat(7017, 0, "Beam Detection Data", "Number of detection Points")
        .blockSize("Data Block size")
        .item("Beam Descriptor", "u", 2)
        .item("Detection point", "f", 4)
        .item("Flags", "u", 4)
        .item("Auto limits min sample", "u", 4)
        .item("Auto limits max sample", "u", 4)
        .item("User limits min sample", "u", 4)
        .item("User limits max sample", "u", 4)
        .item("Quality", "u", 4)
        .item("Uncertainty", "f", 4)
        .item("Reserved", "vector", 0);
    // One block per sample: magnitude and phase of every beam.
    c.repeat(7018, 0, "Vx Beamformed data", "Samples in ping").item("Mag-Phase Data", "vector", 0);
    // One block per decimated sample, one value per beam.
    c.repeat(7019, 0, "Vertical angle of arrival", "Decimated samples").item("Angle", "vector", 0);
    c.repeat(7019, 1, "Magnitude", "Decimated samples").item("Magnitude", "vector", 1);
    c.repeat(7019, 2, "Coherence", "Decimated samples").item("Coherence", "vector", 1);
    c.repeat(7019, 3, "Cross Power", "Decimated samples").item("Cross Power", "vector", 1);
    c.repeat(7019, 4, "Quality Factor", "Decimated samples").item("Quality Factor", "vector", 1);
    c.repeat(7019, 5, "Reserved", "Decimated samples").item("Reserved", "vector", 1);
    c.repeat(7021, 0, "BITE Device Data", "Board count")
        .item("Source name", "s", 64)
        .item("Source address", "u", 1)
        .item("Reserved", "f", 4)
        .item("Enumerator", "u", 2)
        .item("Downlink time sent", "t10", 10)
        .item("Uplink time received", "t10", 10)
        .item("BITE time received", "t10", 10)
        .item("Status", "u", 1)
        .item("Number of valid Bite Fields", "u", 2)
        .item("Bite Status Bits", "vector", 0)
        .item("BITE Field Data", "repeat", 1);
    c.repeat(7021, 1, "BITE Field Data", "Number of valid Bite Fields")
        .item("Field", "u", 2)
        .item("Name", "s", 64)
        .item("Device type", "u", 1)
        .item("Minimum", "f", 4)
        .item("Maximum", "f", 4)
        .item("Value", "f", 4);
    c.repeat(7026, 0, "Detection Point Data", "Number of Detection Points")
        .blockSize("Data field size")
        .item("Beam Descriptor", "u", 2)
        .item("Detection point", "f", 4)
        .item("Rx Angle (deg)", "r2d", 4)
        .item("Flags", "u", 4)
        .item("Quality", "u", 4)
        .item("Uncertainty", "f", 4);

    c.repeat(7027, 0, "Beam Detection Data", "Number of detection Points")
        .blockSize("Data field size")
        .item("Beam Descriptor", "u", 2)
        .item("Detection point", "f", 4)
        .item("Rx Angle (deg)", "r2d", 4)
        .item("Flags", "u", 4)
        .item("Quality", "u", 4)
        .item("Uncertainty", "f", 4)
        .item("Signal strength", "f", 4)
        .item("Min gate limit", "f", 4)
        .item("Max gate limit", "f", 4);

    c.repeat(7028, 0, "Vx Snippet data", "Number of Detection Points")
        .item("Beam Descriptor", "u", 2)
        .item("Snippet start", "u", 4)
        .item("Detection sample", "u", 4)
        .item("Snippet end", "u", 4);
    c.repeat(7029, 0, "Vx Vernier filtered data", "Number of detection Soundings").blockSize("Data field size");
    // One block per sample: I and Q of every element in the record.
    c.repeat(7038, 0, "I&Q Sample Data", "Samples in ping").item("I&Q Data", "vector", 1);
    c.repeat(7039, 0, "Sample Noise Data", "Samples in ping");
    c.repeat(7048, 0, "Vx Calibrated Beam Data", "Samples in ping").blockSize("Rx Field Size");
    c.repeat(7050, 0, "Event definition", "Number of events")
        .item("Event type", "u", 2, eventType())
        .item("Event identifier", "u", 2)
        .item("Device identifier", "u", 4)
        .item("System enumerator", "u", 2)
        .item("Event message length", "u", 2)
        .item("Event time", "t10", 10)
        .item("Event message", "sd", 1);
    // Only the snippet descriptors are known; further per-detection items are not.
    c.repeat(7058, 0, "Vx Snippet data", "Number of Detection Points")
        .item("Beam Descriptor", "u", 2)
        .item("Snippet start", "u", 4)
        .item("Detection sample", "u", 4)
        .item("Snippet end", "u", 4);

    c.repeat(7200, 0, "Record data", "N - number of devices")
        .item("Device ID", "u", 4)
        .item("Subsystem enumerator", "u", 2);

    c.repeat(7300, 0, "Index data", "Number of Records")
        .item("Size", "u", 4)
        .item("Offset", "u", 8)
        .item("Record type", "u", 2)
        .item("Device ID", "u", 2)
        .item("System enumerator", "u", 2)
        .item("time_stamp", "t10", 10)
        .item("record count", "u", 4)
        .item("reserved", "x", 16);

    c.repeat(8012, 0, "Pitch data", "Samples").flags("Flags");
}

} // namespace tarvik
