#include "core/record_filter.h"

#include "core/frame.h"
#include "core/record_file.h"

namespace tarvik {

RecordFilter::RecordFilter() : text_(kAllRecords) {}

RecordFilter RecordFilter::types(std::string text) {
    RecordFilter filter;
    filter.text_ = std::move(text);
    return filter;
}

RecordFilter RecordFilter::expression(std::string text, std::shared_ptr<const RecordPredicate> predicate) {
    RecordFilter filter;
    filter.text_ = std::move(text);
    filter.predicate_ = std::move(predicate);
    return filter;
}

bool RecordFilter::showsEverything() const { return !predicate_ && text_ == kAllRecords; }

bool RecordFilter::passesType(std::uint32_t recordType) const {
    if (!predicate_) return passesRecordFilter(text_, recordType);
    bool passes = true;
    return predicate_->decidedByType(recordType, passes) ? passes : true;
}

bool RecordFilter::passes(ByteSpan frame, const RecordContext& context) const {
    if (!predicate_) {
        if (frame.size() < kFrameHeaderSize) return false;
        return passesRecordFilter(text_, FrameView(frame).recordType());
    }
    return predicate_->matches(frame, context);
}

} // namespace tarvik
