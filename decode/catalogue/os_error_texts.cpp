// The operating system's error message texts that follow the protocol's error
// codes in the "Error code" enumeration of record 7502.

#include "decode/catalogue/enumerations.h"

namespace tarvik {

// The table of (system error number, message text) pairs is added here.
void appendOperatingSystemErrorTexts(Enumeration&) {}

} // namespace tarvik
