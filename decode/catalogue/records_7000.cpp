// Record layouts of the sonar record types 7000 to 7199.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

namespace tarvik {

void addRecords7000(CatalogueBuilder& c) {
    c.record(7000, "Vx volatile sonar settings")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Frequency (Hz)", "f", 4)
        .item("Sample rate (Hz)", "f", 4)
        .item("Receiver bandwidth (Hz)", "f", 4)
        .item("Tx pulse width (sec)", "f", 4)
        .item("Tx pulse type identifier", "u", 4, {{0, "CW"}, {1, "Linear chirp"}, {2, "Multiping 2"}, {4, "Multiping 4"}})
        .item("Tx pulse envelope identifier", "u", 4, {{0, "Tapered rectangular"}, {1, "Tukey"}})
        .item("Tx pulse envelope parameter", "f", 4)
        .item("Tx pulse reserved", "u", 4)
        .item("Max ping rate (Hz)", "f", 4)
        .item("Ping period (sec)", "f", 4)
        .item("Range selection (m)", "f", 4)
        .item("Power selection (dB)", "f", 4)
        .item("Gain selection (dB)", "f", 4)
        .item("Control flags", "u", 4)
        .item("Projector identifier", "u", 4)
        .item("Projector beam vertical steering angle_x (deg)", "r2d", 4)
        .item("Projector beam horizontal steering angle_z (deg)", "r2d", 4)
        .item("Projector beam beam width vertical_x (deg)", "r2d", 4)
        .item("Projector beam beam width horizontal_z (deg)", "r2d", 4)
        .item("Projector beam focal point (m)", "f", 4)
        .item("Projector beam weighting window type", "u", 4, {{0, "Rectangular"}, {1, "Chebychev"}})
        .item("Projector beam weighting window parameter", "f", 4)
        .item("Transmit flags", "u", 4)
        .item("Hydrophone identifier", "u", 4)
        .item("Receive beam weighting window", "u", 4, {{0, "Chebychev"}, {1, "Kaiser"}})
        .item("Receive beam weighting parameter", "f", 4)
        .item("Receive flags", "u", 4)
        .item("Receive Beam Width (deg)", "r2d", 4)
        .item("Bottom detection filter info, min rng", "f", 4)
        .item("Bottom detection filter info, max rng", "f", 4)
        .item("Bottom detection filter info, min dpth", "f", 4)
        .item("Bottom detection filter info, max dpth", "f", 4)
        .item("Absorption (dB/km)", "f", 4)
        .item("Sound velocity (m/s)", "f", 4)
        .item("Spreading (dB)", "f", 4)
        .item("Reserved", "x", 2);

    c.record(7001, "Vx Configuration")
        .item("Sonar serial number", "u", 8)
        .item("Number of devices", "u", 4)
        .item("Module Data", "repeat", 0);

    c.record(7002, "Matched filter")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Operation", "u", 4, {{0, "Off"}, {1, "On"}})
        .item("Start frequency (Hz)", "f", 4)
        .item("Stop frequency (Hz)", "f", 4)
        .item("Window type", "u", 4, matchedFilterWindow())
        .item("Shading value", "f", 4)
        .item("Effective pulse width (sec)", "f", 4)
        .item("Reserved", "x", 52);
    c.record(7003, "Hardware Configuration")
        .item("Device count", "u", 4)
        .item("Info length", "u", 4)
        .item("Configuration", "vector", 0);

    c.record(7004, "Vx Beam Geometry")
        .item("Sonar serial number", "u", 8)
        .item("Number of receiver beams", "u", 4)
        .item("Beam vert. angle (deg)", "vector", 0)
        .item("Beam hor. angle (deg)", "vector", 1)
        .item("Y width (deg)", "vector", 2)
        .item("X width (deg)", "vector", 3)
        .item("TX delay", "vector", 4);

    c.record(7005, "Vx Calibration data");

    c.record(7006, "Vx Bathymetric data (legacy)")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Number of receiver beams", "u", 4)
        .item("Layer compensation flag", "u", 1, {{0, "off"}, {1, "on"}})
        .item("Sound velocity flag", "u", 1, {{0, "Measured"}, {1, "Manually entered"}})
        .item("Sound velocity (m/s)", "f", 4)
        .item("Range", "vector", 0)
        .item("Quality Flags", "vector", 1)
        .item("Intensity", "vector", 2)
        .item("Min. filter info (2-way time in sec.)", "vector", 3)
        .item("Max. filter info (2-way time in sec.)", "vector", 4);

    c.record(7007, "Vx Backscatter imagery data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Beam position (deg)", "r2d", 4)
        .item("Control flags", "u", 4)
        .item("S (Samples)", "u", 4)
        .item("Port 3dB beam width Y (deg)", "r2d", 4)
        .item("Port 3dB beam width Z (deg)", "r2d", 4)
        .item("Strbd. 3dB beam width Y (deg)", "r2d", 4)
        .item("Strbd. 3dB beam width Z (deg)", "r2d", 4)
        .item("Port beam steering angle Y (deg)", "r2d", 4)
        .item("Port beam steering angle Z (deg)", "r2d", 4)
        .item("Strbd. beam steering angle Y (deg)", "r2d", 4)
        .item("Strbd. beam steering angle Z (deg)", "r2d", 4)
        .item("N - beams per side", "u", 2)
        .item("Current beam number", "u", 2)
        .item("Bytes per sample", "u", 1)
        .item("Data types", "u", 1)
        .item("Port backscatter", "repeat", 0)
        .item("Strbd. backscatter", "repeat", 1);

    c.record(7008, "Vx Beam data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Number of beams in record", "u", 2)
        .item("Reserved1", "x", 2)
        .item("Samples in ping", "u", 4)
        .item("Record subset flag", "u", 1,
              {{0, "All beams and samples in ping"}, {1, "Sample ping subset"}, {3, "Beam ping subset"}})
        .item("Row column flag", "u", 1, {{0, "Beam followed by samples"}, {1, "Sample followed by beams"}})
        .item("Reserved2", "u", 2)
        .item("Data sample type", "u", 4)
        .item("Beam descriptor", "repeat", 0)
        .item("Beam data", "7008PingData", 1);

    c.record(7009, "Vertical depth")
        .item("Frequency (Hz)", "f", 4)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Latitude (deg)", "r2d", 8)
        .item("Longitude (deg)", "r2d", 8)
        .item("Heading (deg)", "r2d", 4)
        .item("Along track distance (m)", "f", 4)
        .item("Across track distance (m)", "f", 4)
        .item("Vertical depth (m)", "f", 4);
    c.record(7010, "TVG Gain")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Samples", "u", 4)
        .item("Reserved", "x", 32)
        .item("Gain Values", "vector", 0);
    c.record(7011, "Vx Image data")
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Image width in pixels", "u", 4)
        .item("Image height in pixels", "u", 4)
        .item("Color depth (bytes per pixel)", "u", 2)
        .item("Reserved1", "u", 2)
        .item("Compression algorithm", "u", 2)
        .item("Samples", "u", 4)
        .item("Flags", "u", 4)
        .item("Rx delay (sec)", "f", 4)
        .item("Reserved2", "x", 24)
        .item("Vx Image data", "repeat", 0);
    // Pitch is a single value; roll and heading hold one value per sample.
    // Which of them are present is told by "Flags".
    c.record(7012, "Vx Ping Motion data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Samples", "u", 4)
        .item("Flags", "u", 2, flags7012())
        .item("Error flags", "u", 4)
        .item("Sampling rate (Hz)", "f", 4)
        .item("Pitch", "vector", 0)
        .item("Roll", "vector", 1)
        .item("Heading", "vector", 2);
    c.record(7013, "A-Scan Beam Data");
    c.record(7016, "Extended Bottom Detect Info");
    c.record(7017, "Vx Bathymetric data & filters (display)")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Number of detection Points", "u", 4)
        .item("Data Block size", "u", 4)
        .item("Detection algorithm", "u", 1, bottomDetectAlgorithm())
        .item("Flags", "u", 4, filterFlags7017())
        .item("Min depth (m)", "f", 4)
        .item("Max depth (m)", "f", 4)
        .item("Min range (m)", "f", 4)
        .item("Max range (m)", "f", 4)
        .item("Min nadir search (m)", "f", 4)
        .item("Max nadir search (m)", "f", 4)
        .item("Automatic filter window (%)", "u", 1)
        .item("Applied roll (deg)", "r2d", 4)
        .item("Depth gate tilt (deg)", "r2d", 4)
        .item("Reserved", "x", 56)
        .item("Beam Detection Data", "repeat", 0);
    c.record(7018, "Vx Beamformed data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Total number of beams in ping record", "u", 2)
        .item("Samples in ping", "u", 4)
        .item("Reserved", "x", 32)
        .item("Vx Beamformed data", "repeat", 0);
    c.record(7019, "Vernier Processing Data (Raw)")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Reference array", "u", 1)
        .item("Pair 1 sub-array 1", "u", 1)
        .item("Pair 1 sub-array 2", "u", 1)
        .item("Pair 2 sub-array 1", "u", 1)
        .item("Pair 2 sub-array 2", "u", 1)
        .item("Decimator", "u", 1)
        .item("Beams", "u", 2)
        .item("Number of samples", "u", 4)
        .item("Decimated samples", "u", 4)
        .item("First sample", "u", 4)
        .item("Reserved1", "x", 8)
        .item("Smoothing type", "u", 2)
        .item("Smoothing length", "u", 2)
        .item("Reserved2", "x", 8)
        .item("Magnitude threshold", "f", 4)
        .item("Min QF", "f", 4)
        .item("Max QF", "f", 4)
        .item("Min angle (deg)", "r2d", 4)
        .item("Max angle (deg)", "r2d", 4)
        .item("Elevation coverage (deg)", "r2d", 4)
        .item("Reserved3", "x", 16)
        .item("Vertical angle of arrival", "repeat", 0)
        .item("Magnitude", "repeat", 1)
        .item("Coherence", "repeat", 2)
        .item("Cross Power", "repeat", 3)
        .item("Quality Factor", "repeat", 4)
        .item("Reserved", "repeat", 5);
    c.record(7021, "Vx Bite Data")
        .item("Board count", "u", 2)
        .item("BITE Device Data", "repeat", 0);

    c.record(7022, "Sonar Version").item("Version", "s", 32);

    c.record(7023, "Wx Wet End Version");
    c.record(7026, "Vx Detection Data");

    c.record(7027, "Vx Bathymetric data (Uncorrected)")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Number of detection Points", "u", 4)
        .item("Data field size", "u", 4)
        .item("Bottom Detect Algorithm", "u", 1,
              {{0, "G1_Simple"}, {1, "G1_BlendFilt"}, {2, "G2"}, {3, "G3"}, {4, "IF1"}, {5, "PS1"}, {6, "HS1"},
               {7, "HS2"}, {8, "FDA"}})
        .item("Flags", "u", 4)
        .item("Sample rate (Hz)", "f", 4)
        .item("Tx Steering angle (deg.)", "r2d", 4)
        .item("Applied gate roll (deg.)", "r2d", 4)
        .item("Reserved", "x", 60)
        .item("Vx RAW Detection data", "repeat", 0);

    c.record(7028, "Vx Snippet data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Number of Detection Points", "u", 2)
        .item("Error flag", "u", 1)
        .item("Control flags", "u", 1, controlFlags7028())
        .item("Reserved", "x", 28)
        .item("Vx Snippet data", "repeat", 0);
    c.record(7029, "Vx Vernier filtered data");
    c.record(7030, "Vx Backscatter installation parameters")
        .item("Frequency (Hz)", "f", 4)
        .item("Length of firmware version info", "u", 2)
        .item("Firmware version info", "s", 128)
        .item("Length of software version info", "u", 2)
        .item("Software version info", "s", 128)
        .item("Length of Vx software version info", "u", 2)
        .item("Vx software version info", "s", 128)
        .item("Length of record protocol version info", "u", 2)
        .item("Record protocol version info", "s", 128)
        .item("Transmit array X (m)", "f", 4)
        .item("Transmit array Y (m)", "f", 4)
        .item("Transmit array Z (m)", "f", 4)
        .item("Transmit array roll (deg)", "r2d", 4)
        .item("Transmit array pitch (deg)", "r2d", 4)
        .item("Transmit array heading (deg)", "r2d", 4)
        .item("Receive array X (m)", "f", 4)
        .item("Receive array Y (m)", "f", 4)
        .item("Receive array Z (m)", "f", 4)
        .item("Receive array roll (deg)", "r2d", 4)
        .item("Receive array pitch (deg)", "r2d", 4)
        .item("Receive array heading (deg)", "r2d", 4)
        .item("Motion sensor X (m)", "f", 4)
        .item("Motion sensor Y (m)", "f", 4)
        .item("Motion sensor Z (m)", "f", 4)
        .item("Motion sensor roll calibration (deg)", "r2d", 4)
        .item("Motion sensor pitch calibration (deg)", "r2d", 4)
        .item("Motion sensor heading calibration (deg)", "r2d", 4)
        .item("Motion sensor time delay (ms)", "u", 2)
        .item("Position sensor X (m)", "f", 4)
        .item("Position sensor Y (m)", "f", 4)
        .item("Position sensor Z (m)", "f", 4)
        .item("Position sensor time delay (ms)", "u", 2)
        .item("Water line vertical offset (m)", "f", 4);
    c.record(7032, "Vx 7032 Record");
    c.record(7033, "Wedge image");
    c.record(7038, "Vx I&Q data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Reserved1", "u", 2)
        .item("Elements in system", "u", 2)
        .item("Samples in ping", "u", 4)
        .item("Elements in record", "u", 2)
        .item("Start sample", "u", 4)
        .item("Stop sample", "u", 4)
        .item("Sample type", "u", 2)
        .item("Reserved2", "x", 28)
        .item("Element info", "vector", 0)
        .item("I&Q Sample Data", "repeat", 0);
    c.record(7039, "Noise Level Data");
    // The per-beam data that follows is compressed by the method "Flags"
    // names and is not walked.
    c.record(7042, "Vx Compressed Watercolumn Data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Beams", "u", 2)
        .item("Samples", "u", 4)
        .item("Compressed samples", "u", 4)
        .item("Flags", "u", 4, flags7042())
        .item("First sample", "u", 4)
        .item("Sample rate (Hz)", "f", 4)
        .item("Compression factor", "f", 4)
        .item("Reserved", "u", 4);
    c.record(7043, "Minimal Image Data");
    c.record(7044, "Magnitude Only Beamformed Data");
    c.record(7047, "Segmented Raw Detection Data");
    c.record(7048, "Vx Calibrated Beam Data");
    c.record(7049, "Single Element I&Q Data");
    c.record(7050, "Vx System Event")
        .item("Sonar serial number", "u", 8)
        .item("Number of events", "u", 4)
        .item("Event definition", "repeat", 0);

    c.record(7051, "Vx System event message")
        .item("Sonar serial number", "u", 8)
        .item("Event ID", "u", 2, {{0, "Success"}, {1, "Information"}, {2, "Warning"}, {3, "Error"}})
        .item("Message length", "u", 2)
        .item("Event identifier", "u", 2)
        .item("Event message", "sd", 2);

    c.record(7052, "RDR recording status");
    c.record(7053, "Connection information");
    c.record(7054, "Data Storage Info");
    c.record(7055, "Calibration status");
    // The snippet samples follow the descriptors and are not walked.
    c.record(7058, "Calibrated Snippet Data")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Multi-Ping Sequence", "u", 2, multiPingSequence())
        .item("Number of Detection Points", "u", 2)
        .item("Error flag", "u", 1, calibrationError7058())
        .item("Control flags", "u", 4)
        .item("Reserved", "x", 28)
        .item("Vx Snippet data", "repeat", 0);
    c.record(7060, "Vx Target Data");
}

} // namespace tarvik
