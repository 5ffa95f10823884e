#pragma once
// Records and check results as JSON documents, for scripts that read what
// tarvik-cli finds. The field names are documented in docs/json.md.

#include "core/bytes.h"
#include "core/frame.h"
#include "core/record_source.h"
#include "decode/file_check.h"
#include "decode/report.h"
#include "decode/walker.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

// The nested items of a walk: each walked item with the items it contains
// (repeat blocks as a list of blocks, each a list of items).
struct ItemNode {
    const WalkedField* field = nullptr;
    std::vector<std::vector<ItemNode>> blocks;
};
std::vector<ItemNode> nestWalkedFields(const std::vector<WalkedField>& fields);

// The frame header as a record's document lists it (report --json, the Python
// module's header dict): each field's name and number, in this order. "time"
// has no number (`number` is null): each writer gives it in its own form.
struct RecordHeaderField {
    const char* name;
    std::uint32_t (*number)(const FrameView&);
};
extern const std::array<RecordHeaderField, 15> kRecordHeaderFields;

// The record as JSON: frame header fields, then every item with its name,
// format, offset, width, displayed text and (for numbers) its value; the report
// lines and messages; with `hex` a hex dump of the frame.
// A record of a packet capture also says where and when it was seen ("captured").
std::string recordJson(ByteSpan frame, std::uint32_t recordNumber, const Report& report,
                       const std::vector<WalkedField>& fields, bool hex, int indent = 2,
                       const RecordOrigin* origin = nullptr);

// One file's check result as a JSON document.
std::string checkResultJson(const FileCheckResult& result, int indent = 2);

} // namespace tarvik
