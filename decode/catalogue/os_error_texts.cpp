// The operating system's error message texts that follow the protocol's error
// codes in the "Error code" enumeration of record 7502.

#include "decode/catalogue/enumerations.h"
#include "decode/catalogue/os_error_table.h"

namespace tarvik {

// The (system error number, message text) pairs come from the table embedded
// at build time; the protocol's codes come first, so their texts win.
void appendOperatingSystemErrorTexts(Enumeration& out) {
    out.reserve(out.size() + kOsErrorTextCount);
    for (std::size_t i = 0; i < kOsErrorTextCount; ++i) out.push_back({kOsErrorTexts[i].number, kOsErrorTexts[i].text});
}

} // namespace tarvik
