// Record layouts of the sensor and external record types 1000 to 6999.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

namespace tarvik {

void addRecords1000(CatalogueBuilder& c) {
    c.record(1000, "Reference point");
    c.record(1001, "Sensor offset position");
    c.record(1002, "Calibrated sensor offset position");

    c.record(1003, "Position")
        .item("Datum identifier", "u", 4)
        .item("Latency (sec.)", "f", 4)
        .item("Latitude or Northing (rad. or m)", "f", 8)
        .item("Longitude or Easting", "f", 8)
        .item("Height relative to Datum or Height (m)", "f", 8)
        .item("Position type flag", "u", 1, {{0, "Geographical coordinates"}, {1, "Grid coordinates"}})
        .item("UTM zone", "u", 1)
        .item("Quality flag", "u", 1, {{0, "Navigation data"}, {1, "Dead-reckoning"}})
        .item("Positioning method", "u", 1, positioningMethod1003())
        .item("Number of satellites", "u", 1);

    c.record(1004, "Custom attitude information");
    c.record(1005, "Tide");
    c.record(1006, "Altitude");
    c.record(1007, "Motion over ground");
    c.record(1008, "Depth");
    c.record(1009, "Sound velocity profile");
    c.record(1010, "CTD");
    c.record(1011, "Geodesy");
    c.record(1012, "Roll pitch heave");
    c.record(1013, "Heading");
    c.record(1014, "Survey Line");
    c.record(1015, "Navigation");
    c.record(1016, "Attitude");
    c.record(1017, "Pan Tilt");
    c.record(1018, "NED Velocity");
    c.record(1020, "MBES Installation Parameters");
    c.record(1022, "IOP Motion");
    c.record(1050, "Generic sensor calibration parameters");
    c.record(1101, "Payload Controller Command Acknowledge");
    c.record(1102, "Payload Controller Alarm or Status");
    c.record(1200, "Generic sidescan sonar");
    c.record(1500, "Record version number");
    c.record(2000, "XYZ data");
    c.record(3000, "EdgeTech FS-SW SideScan Data Record");
    c.record(3001, "Target / Contact Output");
    c.record(3002, "File transfer");
    c.record(3003, "Detection data");
    c.record(3004, "Add/Update observations");
    c.record(3100, "BlueFin Record Header");
}

} // namespace tarvik
