// Record layouts of the remote-control, sensor-value and accessory record
// types 7500 to 9999.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

namespace tarvik {

void addRecords7500(CatalogueBuilder& c) {
    // The command body that follows is decoded with the remote-command definitions.
    c.record(7500, "Vx Remote Control")
        .item("Remote control ID", "u", 4)
        .item("Ticket", "u", 4)
        .item("Tracking number", "u", 16);

    c.record(7501, "Remote Control Ack")
        .item("Ticket number", "u", 4)
        .item("Tracking number", "u", 16);

    c.record(7502, "Vx Remote Control Nak")
        .item("Ticket number", "u", 4)
        .item("Tracking number", "u", 16)
        .item("Error code", "u", 4, errorCodes7502());

    c.record(7503, "Remote control sonar settings")
        .item("Sonar serial number", "u", 8)
        .item("Ping number", "u", 4)
        .item("Frequency (Hz)", "f", 4)
        .item("Sample rate (Hz)", "f", 4)
        .item("Receiver bandwidth (Hz)", "f", 4)
        .item("Tx pulse width (sec)", "f", 4)
        .item("Tx pulse type identifier", "u", 4, txPulseType())
        .item("Tx pulse envelope identifier", "u", 4, txPulseEnvelope())
        .item("Tx pulse envelope parameter", "f", 4)
        .item("Tx pulse mode", "u", 2, {{1, "Single ping"}, {2, "Multi-ping 2"}, {3, "Multi-ping 3"}, {4, "Multi-ping 4"}})
        .item("Tx pulse reserved", "u", 2)
        .item("Max ping rate (Hz)", "f", 4)
        .item("Ping period (sec)", "f", 4)
        .item("Range selection (m)", "f", 4)
        .item("Power selection (dB)", "f", 4)
        .item("Gain selection (dB)", "f", 4)
        .item("Control flags", "u", 4)
        .item("Projector identifier", "u", 4)
        .item("Projector beam vertical steering angle (deg)", "r2d", 4)
        .item("Projector beam horizontal steering angle (deg)", "r2d", 4)
        .item("Projector beam 3dB beam width vertical (deg)", "r2d", 4)
        .item("Projector beam 3dB beam width horizontal (deg)", "r2d", 4)
        .item("Projector beam focal point (m)", "f", 4)
        .item("Projector beam weighting window type", "u", 4, projectorWindow())
        .item("Projector beam weighting window parameter", "f", 4)
        .item("Transmit flags", "u", 4)
        .item("Hydrophone identifier", "u", 4)
        .item("Receive beam weighting window", "u", 4, receiveWindow())
        .item("Receive beam weighting parameter", "f", 4)
        .item("Receive flags", "u", 4)
        .item("Bottom detection filter info, min rng", "f", 4)
        .item("Bottom detection filter info, max rng", "f", 4)
        .item("Bottom detection filter info, min dpth", "f", 4)
        .item("Bottom detection filter info, max dpth", "f", 4)
        .item("Absorption (dB/km)", "f", 4)
        .item("Sound velocity (m/s)", "f", 4)
        .item("Spreading (dB)", "f", 4)
        .item("Vernier operation mode", "u", 1)
        .item("Automatic filter window (%)", "u", 1)
        .item("Tx array position offset X (m)", "f", 4)
        .item("Tx array position offset Y (m)", "f", 4)
        .item("Tx array position offset Z (m)", "f", 4)
        .item("Head tilt X (deg)", "r2d", 4)
        .item("Head tilt Y (deg)", "r2d", 4)
        .item("Head tilt Z (deg)", "r2d", 4)
        .item("Ping state", "u", 4, {{0, "Pinging off"}, {1, "Pinging on"}, {2, "External trigger"}})
        .item("Beam spacing mode", "u", 2, {{1, "Equiangle"}, {2, "Equidistant"}, {3, "Flex"}, {4, "Intermediate"}})
        .item("Sonar source mode", "u", 2, {{0, "Normal"}, {1, "Autopilot"}, {2, "Calibration"}})
        .item("Adaptive gate bottom filter min depth (m)", "f", 4)
        .item("Adaptive gate bottom filter max depth (m)", "f", 4)
        .item("Trigger out width (sec)", "f", 8)
        .item("Trigger out offset (sec)", "f", 8)
        .item("Older series projector selection", "u", 2)
        .item("Reserved1", "x", 8)
        .item("Older series alternate gain (dB)", "f", 4)
        .item("Vernier filter", "u", 1)
        .item("Reserved2", "u", 1)
        .item("Custom beams", "u", 2)
        .item("Coverage angle (deg)", "r2d", 4)
        .item("Coverage mode", "u", 1, {{0, "Reduce spacing"}, {1, "Reduce beams"}})
        .item("Quality filter flags", "u", 1)
        .item("Horizontal receiver beam steering angle (deg)", "r2d", 4)
        .item("Flexmode sector coverage (deg)", "r2d", 4)
        .item("Flexmode sector steering (deg)", "r2d", 4)
        .item("Constant spacing (m)", "f", 4)
        .item("Beam mode selection", "u", 2)
        .item("Depth gate tilt (deg)", "r2d", 4);
    c.record(7504, "Remote control sonar settings");
    c.record(7510, "Surface Sound Velocity").item("Surface sound velocity (m/s)", "f", 4);
    c.record(7511, "Console active command");
    c.record(7600, "Vx Roll").item("Roll (deg)", "r2d", 4);
    c.record(7601, "Vx Pitch").item("Pitch (deg)", "r2d", 4);
    c.record(7610, "Vx Sound velocity").item("Sound velocity (m/s)", "f", 4);
    c.record(7611, "Vx Absorption loss").item("Absorption loss (dB/km)", "f", 4);
    c.record(7612, "Vx Spreading loss").item("Spreading loss (dB)", "f", 4);
    c.record(7614, "Vx Water Temperature").item("Water temperature (deg C)", "f", 4);
    c.record(7900, "Mirel omni-directional Hydrophone Data");
    c.record(7901, "Mirel navigation sensor data");
    c.record(7902, "Mirel rotator record");
    c.record(7904, "Mirel omni-directional Hydrophone Control");
    c.record(7951, "Mirel alarm message");
    c.record(7952, "Mirel alarm message");
    c.record(8012, "External Motion Data");
}

} // namespace tarvik
