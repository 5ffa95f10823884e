#include "core/record_file_source.h"

#include "core/text.h"

namespace tarvik {

std::string skippedBytesText(std::uint64_t bytes, bool toEnd) {
    const auto n = static_cast<unsigned long long>(bytes);
    if (toEnd) return strprintf("TEXT %llu %s Skipped, No Further Frame In The File", n, n == 1 ? "Byte" : "Bytes");
    return strprintf("TEXT %llu %s Skipped To The Next Sync Pattern", n, n == 1 ? "Byte" : "Bytes");
}

bool FileRecordSource::open(const std::string& path) {
    clearEntries();
    return file_.open(path);
}

std::string FileRecordSource::openFailure(const std::string& path) const {
    std::string text = strprintf("could not open the specified file %s", shownName(path).c_str());
    if (!file_.lastError().empty()) text += "\n" + file_.lastError();
    return text;
}

std::optional<std::string> FileRecordSource::build(bool readPastDamage) {
    clearEntries();
    catalogDisagreement_.clear();
    std::optional<std::string> problem;
    if (!ReadCatalog(file_, mutableIndex(), &catalogDisagreement_)) {
        mutableIndex().clear();
        if (readPastDamage) {
            const std::uint64_t size = file_.size();
            problem = ScanFramesPastDamage(file_, mutableIndex(), [&](std::uint64_t at, std::uint64_t bytes) {
                addText(skippedBytesText(bytes, at + bytes >= size));
            });
        } else {
            problem = ScanFrames(file_, mutableIndex());
        }
    }
    // Only the last frame can run past the end: the walk stops there, and a
    // catalog whose entries point past the end is not used.
    if (!index().empty()) {
        const RecordIndexEntry& last = index()[index().size() - 1];
        const std::uint64_t size = file_.size();
        if (!fits(size, last.offset(), last.size()))
            setCutFrame(CutFrame{index().size() - 1, last.offset() < size ? size - last.offset() : 0});
    }
    rebuildRows();
    return problem;
}

std::optional<std::string> FileRecordSource::cutFrameMessage() const {
    if (!cutFrame()) return std::nullopt;
    const RecordIndexEntry& e = index()[cutFrame()->position];
    const std::string name(fileNameOf(file_.path()));
    return strprintf("Record %llu Of File %s Is Cut Off At Byte %llu: The File Holds %llu Of Its %lu Bytes",
                     (unsigned long long)cutFrame()->position, name.c_str(), (unsigned long long)file_.size(),
                     (unsigned long long)cutFrame()->held, (unsigned long)e.size());
}

Bytes FileRecordSource::readFrame(std::size_t position) const {
    if (position >= index().size()) return {};
    return ReadFrame(file_, index()[position]);
}

} // namespace tarvik
