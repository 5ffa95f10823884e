// Record layouts of the sensor and external record types 1000 to 6999.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

namespace tarvik {

void addRecords1000(CatalogueBuilder& c) {
    c.record(1000, "Reference point")
        .item("X reference point to COG (m)", "f", 4)
        .item("Y reference point to COG (m)", "f", 4)
        .item("Z reference point to COG (m)", "f", 4)
        .item("Water level to COG (m)", "f", 4);
    c.record(1001, "Sensor offset position")
        .item("X sensor offset (m)", "f", 4)
        .item("Y sensor offset (m)", "f", 4)
        .item("Z sensor offset (m)", "f", 4)
        .item("Roll sensor offset (deg)", "r2d", 4)
        .item("Pitch sensor offset (deg)", "r2d", 4)
        .item("Yaw sensor offset (deg)", "r2d", 4);
    c.record(1002, "Calibrated sensor offset position")
        .item("X calibrated sensor offset (m)", "f", 4)
        .item("Y calibrated sensor offset (m)", "f", 4)
        .item("Z calibrated sensor offset (m)", "f", 4)
        .item("Roll calibrated sensor offset (deg)", "r2d", 4)
        .item("Pitch calibrated sensor offset (deg)", "r2d", 4)
        .item("Yaw calibrated sensor offset (deg)", "r2d", 4);

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

    // The samples follow as one float per field selected by the mask.
    c.record(1004, "Custom attitude information")
        .item("Field mask", "u", 1)
        .item("Reserved", "u", 1)
        .item("Number of samples", "u", 2)
        .item("Sample rate (Hz)", "f", 4)
        .item("Attitude Samples", "repeat", 0);
    c.record(1005, "Tide")
        .item("Tide (m)", "f", 4)
        .item("Source", "u", 2, {{0, "Table"}, {1, "Remote server"}})
        .item("Flags", "u", 1)
        .item("Gauge identifier", "u", 2)
        .item("Datum identifier", "u", 4)
        .item("Latency (sec.)", "f", 4)
        .item("Latitude or Northing (rad. or m)", "f", 8)
        .item("Longitude or Easting", "f", 8)
        .item("Height relative to Datum or Height (m)", "f", 8)
        .item("Position type flag", "u", 1, positionType())
        .item("UTM zone", "u", 1);
    c.record(1006, "Altitude").item("Distance from sea floor (m)", "f", 4);
    c.record(1007, "Motion over ground")
        .item("Flags", "u", 1)
        .item("Reserved", "u", 1)
        .item("Number of fields", "u", 2)
        .item("Sample rate (Hz)", "f", 4)
        .item("Motion over ground", "repeat", 0);
    c.record(1008, "Depth")
        .item("Depth descriptor", "u", 1, {{0, "Depth to sensor"}, {1, "Depth to water surface"}})
        .item("Correction flag", "u", 1, {{0, "Raw depth"}, {1, "Corrected depth"}})
        .item("Reserved", "u", 2)
        .item("Depth (m)", "f", 4);
    c.record(1009, "Sound velocity profile")
        .item("Frequency (Hz)", "f", 4)
        .item("Sound velocity source", "u", 1, soundVelocitySource())
        .item("Sound velocity algorithm", "u", 1, soundVelocityAlgorithm())
        .item("Conductivity flag", "u", 1, conductivityFlag())
        .item("Pressure flag", "u", 1, pressureFlag())
        .item("Position flag", "u", 1, {{0, "Invalid position"}, {1, "Valid position"}})
        .item("Sample content validity", "u", 1)
        .item("Reserved", "u", 2)
        .item("Latitude (deg)", "r2d", 8)
        .item("Longitude (deg)", "r2d", 8)
        .item("Sample rate (Hz)", "f", 4)
        .item("Number of samples", "u", 4)
        .item("Sound velocity profile", "repeat", 0);
    c.record(1010, "CTD")
        .item("Frequency (Hz)", "f", 4)
        .item("Sound velocity source", "u", 1, soundVelocitySource())
        .item("Sound velocity algorithm", "u", 1, soundVelocityAlgorithm())
        .item("Conductivity flag", "u", 1, conductivityFlag())
        .item("Pressure flag", "u", 1, pressureFlag())
        .item("Position flag", "u", 1, {{0, "Invalid position"}, {1, "Valid position"}})
        .item("Sample content validity", "u", 1)
        .item("Reserved", "u", 2)
        .item("Latitude (deg)", "r2d", 8)
        .item("Longitude (deg)", "r2d", 8)
        .item("Sample rate (Hz)", "f", 4)
        .item("Number of samples", "u", 4)
        .item("Record data", "repeat", 0);
    c.record(1011, "Geodesy")
        .item("Spheroid name", "s", 32)
        .item("Semi-major axis (m)", "f", 8)
        .item("Inverse flattening", "f", 8)
        .item("Reserved1", "x", 16)
        .item("Datum name", "s", 32)
        .item("Data calculation method", "u", 4)
        .item("Number of parameters", "u", 1)
        .item("DX (m)", "f", 8)
        .item("DY (m)", "f", 8)
        .item("DZ (m)", "f", 8)
        .item("DRX", "f", 8)
        .item("DRY", "f", 8)
        .item("DRZ", "f", 8)
        .item("Scale", "f", 8)
        .item("Reserved2", "x", 35)
        .item("Grid name", "s", 32)
        .item("Grid distance units", "u", 1)
        .item("Grid angular units", "u", 1)
        .item("Latitude of origin", "f", 8)
        .item("Central meridian", "f", 8)
        .item("False easting (m)", "f", 8)
        .item("False northing (m)", "f", 8)
        .item("Central scale factor", "f", 8)
        .item("Custom identifier", "i", 4)
        .item("Reserved3", "x", 50);
    c.record(1012, "Roll pitch heave")
        .item("Roll (deg)", "r2d", 4)
        .item("Pitch (deg)", "r2d", 4)
        .item("Heave (m)", "f", 4);
    c.record(1013, "Heading").item("Heading (deg)", "r2d", 4);
    c.record(1014, "Survey Line")
        .item("Waypoint count", "u", 2)
        .item("Position type", "u", 2, positionType())
        .item("Turn radius (m)", "f", 4)
        .item("Line name", "s", 64)
        .item("Waypoint", "repeat", 0);
    c.record(1015, "Navigation")
        .item("Vertical reference", "u", 1, {{1, "Ellipsoid"}, {2, "Geoid"}, {3, "Chart datum"}})
        .item("Latitude (deg)", "r2d", 8)
        .item("Longitude (deg)", "r2d", 8)
        .item("Horizontal position accuracy (m)", "f", 4)
        .item("Vessel height (m)", "f", 4)
        .item("Height accuracy (m)", "f", 4)
        .item("Speed over ground (m/s)", "f", 4)
        .item("Course over ground (deg)", "r2d", 4)
        .item("Heading (deg)", "r2d", 4);
    c.record(1016, "Attitude")
        .item("Number of sets", "u", 1)
        .item("Attitude", "repeat", 0);
    c.record(1017, "Pan Tilt")
        .item("Pan (deg)", "r2d", 4)
        .item("Tilt (deg)", "r2d", 4);
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
