#pragma once
// What the report needs from the remote-command definitions: the items of a
// command's body, by command number.

#include "decode/layout.h"

#include <cstdint>
#include <vector>

namespace tarvik {

class RemoteCommandDefinitions {
public:
    virtual ~RemoteCommandDefinitions() = default;
    // The body items of command `number`; an empty list when it is not defined.
    virtual const std::vector<CRecordDataLayout>& commandItems(std::uint32_t number) const = 0;
};

// Knows no command: every body is empty.
class NoRemoteCommandDefinitions final : public RemoteCommandDefinitions {
public:
    const std::vector<CRecordDataLayout>& commandItems(std::uint32_t) const override { return empty_; }

private:
    std::vector<CRecordDataLayout> empty_;
};

} // namespace tarvik
