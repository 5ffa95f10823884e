#include "decode/catalogue/enumerations.h"

namespace tarvik {

Enumeration bitCombinations(const std::vector<std::string>& bits, const std::string& separator,
                            const std::string& none) {
    Enumeration out;
    const std::int32_t count = std::int32_t{1} << bits.size();
    out.reserve(static_cast<std::size_t>(count));
    for (std::int32_t v = 0; v < count; ++v) {
        std::string text;
        for (std::size_t b = 0; b < bits.size(); ++b) {
            if ((v & (std::int32_t{1} << b)) == 0) continue;
            if (!text.empty()) text += separator;
            text += bits[b];
        }
        out.push_back({v, v == 0 ? none : text});
    }
    return out;
}

Enumeration sequential(const std::vector<std::string>& texts) {
    Enumeration out;
    out.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) out.push_back({static_cast<std::int32_t>(i), texts[i]});
    return out;
}

const Enumeration& multiPingSequence() {
    static const Enumeration e = {{0, "Not in multiping mode"}};
    return e;
}

Enumeration filterFlags7017() {
    return bitCombinations({"User-defined depth filter enabled", "User-defined range filter enabled",
                            "Automatic filter enabled", "Nadir search limits enabled",
                            "Automatic window limits enabled", "Quality Filter applied"},
                           ", ", "filters disabled");
}

Enumeration flags7012() {
    Enumeration e = bitCombinations({"Pitch", "Roll", "Yaw"}, ", ", "Motion off");
    for (std::size_t v = 1; v < e.size(); ++v) e[v].text += " applied";
    return e;
}

Enumeration controlFlags7028() {
    Enumeration out;
    for (std::int32_t v = 0; v < 16; ++v) {
        std::string text = (v & 1) ? "Auto Snippet Window" : "User Snippet Window";
        if (v & 2) text += ", Quality Filtering Enabled";
        if ((v & 12) == 12) text += ", Min Snippet window req, Max Snippet window req.";
        else if (v & 4) text += ", Min Snippet window req.";
        else if (v & 8) text += ", Max Snippet window req.";
        out.push_back({v, text});
    }
    return out;
}

Enumeration flags7042() { return bitCombinations({"BDA point", "Strip phase", "Compress to 8 bits"}, " + ", "None"); }

Enumeration positioningMethod1003() {
    return sequential({"GPS", "DGPS", "Start of inrt. pos. sys. from GPS", "Start of inrt. pos. sys. from DGPS",
                       "Start of inrt. pos. sys. from bott. corr.", "Start of inrt. pos. from bott. obj.",
                       "Start of inrt. sy. from inrt.", "Start of inrt. sy. from opt.", "Stop of inrt. sy. from GPS",
                       "Stop of inrt. sy. from DGPS", "Stop of inrt. sy. from bott. corr.",
                       "Stop of inrt. sy. from bott. obj.", "Start of inrt. sy. from inrt.",
                       "Start of inrt. sy. from opt.", "User defined", "RTK Fixed", "RTK Float"});
}

Enumeration positionType() { return {{0, "Geographical coordinates"}, {1, "Grid coordinates"}}; }

Enumeration soundVelocitySource() { return {{0, "Not computed"}, {1, "CTD"}, {2, "User computed"}}; }

Enumeration soundVelocityAlgorithm() { return {{0, "Not computed"}, {1, "Chen Millero"}, {2, "Del Grosso"}}; }

Enumeration conductivityFlag() { return {{0, "Conductivity"}, {1, "Salinity"}}; }

Enumeration pressureFlag() { return {{0, "Pressure"}, {1, "Depth"}}; }

Enumeration bottomDetectAlgorithm() {
    return {{0, "G1_Simple"}, {1, "G1_BlendFilt"}, {2, "G2"}, {3, "G3"}, {4, "IF1"},
            {5, "PS1"},       {6, "HS1"},          {7, "HS2"}, {8, "FDA"}};
}

Enumeration txPulseType() { return {{0, "CW"}, {1, "Linear chirp"}, {2, "Multiping 2"}, {4, "Multiping 4"}}; }

Enumeration txPulseEnvelope() { return {{0, "Tapered rectangular"}, {1, "Tukey"}}; }

Enumeration projectorWindow() { return {{0, "Rectangular"}, {1, "Chebychev"}}; }

Enumeration receiveWindow() { return {{0, "Chebychev"}, {1, "Kaiser"}}; }

Enumeration eventType() { return {{0, "Success"}, {1, "Information"}, {2, "Warning"}, {3, "Error"}}; }

Enumeration matchedFilterWindow() {
    return sequential({"Rectangular", "Kaiser", "Hamming", "Blackmann", "Triangular", "X (Taylor)"});
}

Enumeration calibrationError7058() {
    return {{0, "OK"},
            {1, "No calibration"},
            {2, "TVG read error"},
            {3, "CTD not available"},
            {4, "Invalid or not available geometry"},
            {5, "Invalid sonar specifications"},
            {6, "Bottom detection failed"},
            {7, "No power"},
            {8, "No gain"},
            {255, "System cannot be calibrated"}};
}

Enumeration errorCodes7502() {
    Enumeration e = protocolErrorCodes();
    appendOperatingSystemErrorTexts(e);
    return e;
}

} // namespace tarvik
