// Record layouts of the file and time record types 7200 to 7499.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

namespace tarvik {

void addRecords7200(CatalogueBuilder& c) {
    c.record(7200, "Vx File header")
        .item("File identifier", "u", 16)
        .item("Version number", "u", 2)
        .item("Reserved", "u", 2)
        .item("Session identifier", "u", 16)
        .item("Record data size", "u", 4)
        .item("N - number of devices", "u", 4)
        .item("Recording name", "s", 64)
        .item("Recording prgm version", "s", 16)
        .item("User-defined name", "s", 64)
        .item("Notes", "s", 128)
        .item("Device info", "repeat", 0);

    c.record(7300, "File Catalog")
        .item("Size", "u", 4)
        .item("Version", "u", 2)
        .item("Number of Records", "u", 4)
        .item("Reserved", "u", 4)
        .item("Index data", "repeat", 0);

    c.record(7400, "Time Message")
        .item("Second offset", "i", 1)
        .item("Pulse flag", "u", 1, {{0, "No pulse"}, {1, "Pulse on rising edge"}, {2, "Pulse on falling edge"}})
        .item("Port identifier", "u", 2)
        .item("Reserved1", "u", 4)
        .item("Reserved2", "u", 8);
}

} // namespace tarvik
