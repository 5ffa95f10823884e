// Record layouts of the record types 10000 and above.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

namespace tarvik {

void addRecords10000(CatalogueBuilder& c) {
    c.record(10000, "SB Channel settings");
    c.record(10018, "SB Echogram water column data");
    c.record(10027, "SB Raw detection data");
    c.record(10038, "SB Echogram I/Q data");
    c.record(10039, "SB Echogram saturation");
    c.record(10049, "SB Depth reading");
    c.record(11000, "Hoist speed through water");
    c.record(11001, "Hoist state");
    c.record(11051, "OMS enable, deploy and retract bit");
    c.record(11052, "OMS pan, tilt, roll command");
    c.record(15000, "Wedge Image Enhancement");
    c.record(15050, "Detector Settings");
}

} // namespace tarvik
