// Vectors (arrays of like elements): (record type, index) -> element name,
// element format, element width (0 = size rule), count field.

#include "decode/catalogue/catalogue.h"

namespace tarvik {

void addVectors(CatalogueBuilder& c) {
    c.vector(1004, 0, "Sensor data", "f", 4, "Number of samples");
    c.vector(1007, 0, "Motion Data", "f", 4, "").second("Flags");
    c.vector(4003, 1, "Magnitude (strbrd. side)", "u", 0, "Num. of samp. per beam per side");
    c.vector(7001, 0, "Module Data", "s", 1, "Module info length");
    c.vector(7003, 0, "Bite Configuration", "s", 1, "Info length");
    c.vector(7004, 0, "Beam vert. direction angle (deg)", "r2d", 4, "Number of receiver beams");
    c.vector(7004, 1, "Beam horiz. direction angle (deg)", "r2d", 4, "Number of receiver beams");
    c.vector(7004, 2, "3dB width Y (deg)", "r2d", 4, "Number of receiver beams");
    c.vector(7004, 3, "3dB width X (deg)", "r2d", 4, "Number of receiver beams");
    c.vector(7004, 4, "TX delay", "f", 4, "Number of receiver beams");
    c.vector(7005, 0, "Receiver gain", "f", 4, "Number of receiver channels");
    c.vector(7005, 1, "Receiver phase", "f", 4, "Number of receiver channels");
    c.vector(7005, 2, "Element status", "u", 1, "Number of receiver channels");
    c.vector(7006, 0, "Range: two-way travel time (s)", "f", 4, "Number of receiver beams");
    c.vector(7006, 1, "Quality Flags", "u", 1, "Number of receiver beams");
    c.vector(7006, 2, "Intensity", "f", 4, "Number of receiver beams");
    c.vector(7006, 3, "Min filters", "f", 4, "Number of receiver beams");
    c.vector(7006, 4, "Max filters", "f", 4, "Number of receiver beams");
    c.vector(7007, 0, "Port data", "u", 1, "Bytes per sample");
    c.vector(7007, 1, "Strbd. data", "u", 1, "Bytes per sample");
    c.vector(7010, 0, "Gain Values", "f", 4, "Samples");
    c.vector(7011, 0, "Bytes in row", "u", 1, "Image width in pixels");
    c.vector(7012, 0, "Pitch Value", "f", 4, "Samples").second("Flags");
    c.vector(7012, 1, "Roll data", "f", 4, "Samples").second("Flags");
    c.vector(7012, 2, "Heading data", "f", 4, "Samples").second("Flags");
    c.vector(7013, 0, "Beam Numbers", "u", 2, "Beams");
    c.vector(7013, 1, "Mag-Phase Data", "u", 2, "Beams");
    c.vector(7016, 0, "Filtered PhaseData", "u", 2, "Samples");
    c.vector(7017, 0, "Reserved", "xd", 1, "Samples");
    c.vector(7018, 0, "Mag-Phase Data", "u", 2, "Total number of beams in ping record");
    c.vector(7019, 0, "Data", "i", 2, "Beams");
    c.vector(7019, 1, "Data", "u", 2, "Beams");
    c.vector(7021, 0, "Bite Status Bits", "u", 8, "").second("repeat4");
    c.vector(7026, 0, "Reserved", "xd", 1, "Data Field size");
    c.vector(7027, 0, "Reserved", "xd", 1, "Data field size");
    c.vector(7028, 1, "Reserved", "u", 2, "Number of Detection Points");
    c.vector(7038, 0, "Element info", "u", 2, "Elements in record");
    c.vector(7038, 1, "I&Q Data", "i", 2, "Elements in record");
    c.vector(7039, 0, "Element Reduction Entries", "u", 2, "Number of Elements in record");
    c.vector(7039, 1, "Element Noise", "f", 4, "Number of Elements in record");
    c.vector(7039, 2, "Noise Data", "f", 4, "Number of Elements in record");
    c.vector(7043, 0, "Beam Angles", "r2d", 4, "Width");
    c.vector(7043, 1, "Data", "u", 1, "Width");
    c.vector(7044, 0, "Data", "u", 2, "Beams");
    c.vector(7049, 0, "I&Q Data", "i", 2, "Number of samples");
    c.vector(7052, 0, "RDR Threshold array", "u", 4, "Threshold array count");
    c.vector(7052, 1, "Included records", "u", 4, "Included records array count");
    c.vector(7052, 2, "Excluded records", "u", 4, "Excluded records array count");
    c.vector(7052, 3, "Included devices", "u", 4, "Included devices array count");
    c.vector(7052, 4, "Excluded devices", "u", 4, "Excluded devices array count");
    c.vector(7052, 5, "Time threshold seconds", "u", 4, "Time threshold array count");
    c.vector(7052, 6, "Time threshold levels", "u", 4, "Time threshold array count");
    c.vector(7053, 0, "Subscribed records", "u", 4, "Time threshold array count");
    c.vector(7900, 0, "Voltages", "f", 4, "Sample count");
    c.vector(10018, 0, "Sample data", "u", 4, "Number of samples (n)");
    c.vector(10038, 0, "Sample data", "f", 4, "Number of samples (n)");
    c.vector(10039, 0, "Saturation flags", "u", 4, "Number of flags fields");
}

} // namespace tarvik
