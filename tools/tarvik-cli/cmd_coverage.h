#pragma once
// tarvik-cli report --coverage and check --coverage: the bytes of records that
// no layout item decoded, per record or summed per record type of a file.

#include <string>
#include <vector>

namespace tarvik {
class CMyTarvikView;
}

namespace tarvik::cli {

// The undecoded ranges of listed row `row`: one line "RECORD<TAB>TYPE<TAB>OFFSET<TAB>COUNT<TAB>KIND"
// per range (RECORD the "Record #" of its report, offsets from the frame's
// first byte). Returns the undecoded byte count.
std::size_t printRowCoverage(CMyTarvikView& view, std::size_t row, std::size_t& dataBytes);

// check --coverage: per file, per record type, the records, data bytes and
// undecoded bytes. Returns the exit status.
int runCheckCoverage(const std::vector<std::string>& files);

} // namespace tarvik::cli
