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

    c.record(7503, "Remote control sonar settings");
    c.record(7504, "Remote control sonar settings");
    c.record(7510, "Surface Sound Velocity");
    c.record(7511, "Console active command");
    c.record(7600, "Vx Roll");
    c.record(7601, "Vx Pitch");
    c.record(7610, "Vx Sound velocity");
    c.record(7611, "Vx Absorption loss");
    c.record(7612, "Vx Spreading loss");
    c.record(7614, "Vx Water Temperature");
    c.record(7900, "Mirel omni-directional Hydrophone Data");
    c.record(7901, "Mirel navigation sensor data");
    c.record(7902, "Mirel rotator record");
    c.record(7904, "Mirel omni-directional Hydrophone Control");
    c.record(7951, "Mirel alarm message");
    c.record(7952, "Mirel alarm message");
    c.record(8012, "External Motion Data");
}

} // namespace tarvik
