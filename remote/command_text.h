#pragma once
// One line describing a command record as the catalogue reads it, for logs:
// "command 1003 Set range: Range (m)=50" or "record 7051 Vx System event
// message: Sonar serial number=0; Event ID=1; ...". Reads only the bytes held.

#include "core/bytes.h"
#include "remote/definitions.h"

#include <string>

namespace tarvik::remote {

std::string describeCommandRecord(const RemoteCommandCatalogue& catalogue, ByteSpan record);

} // namespace tarvik::remote
