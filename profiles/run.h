#pragma once
// A profile judged over a record file or a packet capture: the whole-file
// check walks it once, and hands each frame to the rule checker as it goes,
// with what the check found wrong (damaged frames, losses of a capture) as
// incidents.

#include "core/result.h"
#include "decode/file_check.h"
#include "profiles/report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik::profiles {

// Fails (with the check's reason) only when the file cannot be read at all.
Result<SourceVerdict> judgeFile(const Profile& profile, const FileChecker& checker, const std::string& path,
                                const std::vector<std::uint16_t>& capturePorts = {}, CheckerOptions options = {});

} // namespace tarvik::profiles
