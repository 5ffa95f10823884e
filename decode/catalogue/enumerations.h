#pragma once
// Enumerations shared by the layout tables, and the helpers that build the
// bit-combination ones.

#include "decode/layout.h"

#include <string>
#include <vector>

namespace tarvik {

// One entry per value 0 .. 2^bits.size()-1: the names of the set bits in bit
// order joined by `separator`; value 0 gets `none`.
Enumeration bitCombinations(const std::vector<std::string>& bits, const std::string& separator,
                            const std::string& none);

// Entries with the values 0, 1, 2, ... in order.
Enumeration sequential(const std::vector<std::string>& texts);

const Enumeration& multiPingSequence();      // 0 "Not in multiping mode"
Enumeration filterFlags7017();               // 64 entries
Enumeration flags7012();                     // 8 entries
Enumeration controlFlags7028();              // 16 entries
Enumeration flags7042();                     // 8 entries
Enumeration positioningMethod1003();         // 17 entries

// Shared by several records.
Enumeration positionType();                  // geographical or grid coordinates
Enumeration soundVelocitySource();
Enumeration soundVelocityAlgorithm();
Enumeration conductivityFlag();
Enumeration pressureFlag();
Enumeration bottomDetectAlgorithm();
Enumeration txPulseType();
Enumeration txPulseEnvelope();
Enumeration projectorWindow();
Enumeration receiveWindow();
Enumeration eventType();                     // success, information, warning, error
Enumeration matchedFilterWindow();
Enumeration calibrationError7058();

// The "Error code" of record 7502: the protocol's error codes followed by the
// operating-system error texts (a value in both shows the protocol text).
Enumeration errorCodes7502();
// The protocol's own error codes, in table order.
Enumeration protocolErrorCodes();
// Appends the operating-system error texts (number, message), ascending.
void appendOperatingSystemErrorTexts(Enumeration& out);

} // namespace tarvik
