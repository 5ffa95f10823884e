#pragma once
// tarvik-cli catalogue --draft: a layout draft of one record type from the records of files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::cli {

int runCatalogueDraft(std::uint32_t type, const std::vector<std::string>& files, const std::optional<std::string>& out,
                      bool force);

} // namespace tarvik::cli
