// Optional data sections, decoded directly after a record's data section.

#include "decode/catalogue/catalogue.h"

namespace tarvik {

void addOptionalData(CatalogueBuilder& c) {
    c.optionalData(7006, "Vx Bathymetric optional data")
        .item("Opt. Frequency", "f", 4)
        .item("Opt. Latitude (deg)", "r2d", 8)
        .item("Opt. Longitude (deg)", "r2d", 8)
        .item("Opt. Heading (deg)", "r2d", 4)
        .item("Opt. Height source method", "u", 1)
        .item("Opt. Tide", "f", 4)
        .item("Opt. Roll (deg)", "r2d", 4)
        .item("Opt. Pitch (deg)", "r2d", 4)
        .item("Opt. Heave", "f", 4)
        .item("Opt. Vehicle depth", "f", 4)
        .item("Opt. beam data", "repeat", 0);

    c.optionalData(7007, "Vx Backscatter imagery optional data")
        .item("Opt. Frequency", "f", 4)
        .item("Opt. Latitude (deg)", "r2d", 8)
        .item("Opt. Longitude (deg)", "r2d", 8)
        .item("Opt. Heading (deg)", "r2d", 4)
        .item("Opt. Depth", "f", 4);

    c.optionalData(7008, "Vx Beam optional data")
        .item("Opt. Frequency", "f", 4)
        .item("Opt. Latitude (deg)", "r2d", 8)
        .item("Opt. Longitude (deg)", "r2d", 8)
        .item("Opt. Heading (deg)", "r2d", 4)
        .item("Opt. Beam data", "repeat", 2);
}

} // namespace tarvik
