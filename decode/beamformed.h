#pragma once
// Record 7008 (beamformed data): consistency checks and a bounded excerpt of
// its samples. Every inconsistency a sonar could produce in this record is
// named in the report.

#include "core/bytes.h"
#include "decode/walker.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

class BeamformedState {
public:
    // Fills the state from the frame header and the record's fixed part.
    void prepare(ByteSpan record);
    // Appends the bytes of `record` that prepare() reads (kept beside it).
    static void notePreparedBytes(ByteSpan record, std::vector<WalkTrace::Source>& out);

    // Checks the record, adds one line per problem, then the sample excerpt.
    // Returns the bytes consumed. A quiet call steps over the same samples
    // and adds the problem lines but no excerpt.
    std::int64_t checkAndFormat(ByteSpan record, std::vector<std::string>& lines, const FieldValueList& values,
                                const BeamSampleLayout& layout, bool quiet = false);

    std::vector<BeamDescriptor> descriptors;  // collected while the beam descriptors are formatted

    std::uint32_t recordSize = 0;
    std::uint32_t optionalLocation = 0;
    std::int32_t beams = 0;           // N
    std::int32_t samples = 0;         // S
    std::uint32_t subsetFlag = 0;
    std::uint32_t rowColumnFlag = 0;
    std::uint32_t sampleType = 0;
    std::int32_t amplitudeBytes = 0, phaseBytes = 0, iBytes = 0, qBytes = 0;
    std::int64_t beamDataLocation = -1;

    std::int64_t sampleSize() const { return amplitudeBytes + phaseBytes + iBytes + qBytes; }

private:
    void check(std::vector<std::string>& lines);
    std::int64_t excerpt(ByteSpan record, std::vector<std::string>& lines, const BeamSampleWidths& widths, bool quiet);
};

} // namespace tarvik
