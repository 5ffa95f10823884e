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

    c.record(7002, "Matched filter");
    c.record(7003, "Hardware Configuration");

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

    c.record(7007, "Vx Backscatter imagery data");

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

    c.record(7009, "Vertical depth");
    c.record(7010, "TVG Gain");
    c.record(7011, "Vx Image data");
    c.record(7012, "Vx Ping Motion data");
    c.record(7013, "A-Scan Beam Data");
    c.record(7016, "Extended Bottom Detect Info");
    c.record(7017, "Vx Bathymetric data & filters (display)");
    c.record(7018, "Vx Beamformed data");
    c.record(7019, "Vernier Processing Data (Raw)");
    c.record(7021, "Vx Bite Data");

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

    c.record(7028, "Vx Snippet data");
    c.record(7029, "Vx Vernier filtered data");
    c.record(7030, "Vx Backscatter installation parameters");
    c.record(7032, "Vx 7032 Record");
    c.record(7033, "Wedge image");
    c.record(7038, "Vx I&Q data");
    c.record(7039, "Noise Level Data");
    c.record(7042, "Vx Compressed Watercolumn Data");
    c.record(7043, "Minimal Image Data");
    c.record(7044, "Magnitude Only Beamformed Data");
    c.record(7047, "Segmented Raw Detection Data");
    c.record(7048, "Vx Calibrated Beam Data");
    c.record(7049, "Single Element I&Q Data");
    c.record(7050, "Vx System Event");

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
    c.record(7058, "Calibrated Snippet Data");
    c.record(7060, "Vx Target Data");
}

} // namespace tarvik
