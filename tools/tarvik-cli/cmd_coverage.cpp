#include "tools/tarvik-cli/cmd_coverage.h"

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/text.h"
#include "decode/coverage.h"
#include "tools/tarvik-cli/cli.h"

#include <cstdio>
#include <map>

namespace tarvik::cli {

namespace {

// The coverage of one listed row's record (none for a text row).
std::optional<RecordCoverage> rowCoverage(CMyTarvikView& view, std::size_t row, std::vector<WalkedField>& fields) {
    std::optional<Bytes> record = view.rowRecord(row);
    if (!record || !FrameView(*record).isFrame()) return std::nullopt;
    fields.clear();
    RecordReporter& reporter = view.recordReporter();
    reporter.collectFields(&fields);
    reporter.report(*record, view.rowRecordNumber(row));
    reporter.collectFields(nullptr);
    return recordCoverage(*record, fields);
}

} // namespace

std::size_t printRowCoverage(CMyTarvikView& view, std::size_t row, std::size_t& dataBytes) {
    std::vector<WalkedField> fields;
    const std::optional<RecordCoverage> c = rowCoverage(view, row, fields);
    if (!c) return 0;
    dataBytes += c->dataBytes();
    const std::optional<Bytes> record = view.rowRecord(row);
    const std::uint32_t type = FrameView(*record).recordType();
    std::string out;
    for (const UndecodedRange& r : c->undecoded)
        out += std::to_string(view.rowRecordNumber(row)) + '\t' + std::to_string(type) + '\t' + std::to_string(r.offset) + '\t' +
               std::to_string(r.count) + '\t' + undecodedKind(*c, r) + '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    return c->undecodedBytes();
}

int runCheckCoverage(const std::vector<std::string>& files) {
    int status = kExitOk;
    for (const std::string& path : files) {
        ConsolePort port;
        MemorySettingsStore settings;
        CMyTarvikView view(port, settings);
        view.setRecordFilter(RecordFilter{});
        view.readPastDamage = true;
        if (!view.openRecordFile(path)) {
            std::fprintf(stderr, "tarvik-cli: cannot check %s\n", shownName(path).c_str());
            status = kExitUsage;
            continue;
        }
        struct Sum {
            std::uint64_t records = 0, data = 0, undecoded = 0, incomplete = 0;
        };
        std::map<std::uint32_t, Sum> sums;
        std::vector<WalkedField> fields;
        for (std::size_t row = 0; row < view.recordRowCount(); ++row) {
            const std::optional<RecordCoverage> c = rowCoverage(view, row, fields);
            if (!c) continue;
            Sum& s = sums[FrameView(*view.rowRecord(row)).recordType()];
            ++s.records;
            s.data += c->dataBytes();
            s.undecoded += c->undecodedBytes();
            if (c->undecodedBytes()) ++s.incomplete;
        }
        std::string out = shownName(path) + "\n";
        out += "  type\trecords\tdata bytes\tnot decoded\tshare\trecords not fully decoded\ttitle\n";
        std::uint64_t data = 0, undecoded = 0;
        for (const auto& [type, s] : sums) {
            const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type)};
            char share[16];
            std::snprintf(share, sizeof share, "%.1f%%", s.data ? 100.0 * static_cast<double>(s.undecoded) / static_cast<double>(s.data) : 0.0);
            out += "  " + std::to_string(type) + '\t' + std::to_string(s.records) + '\t' + std::to_string(s.data) + '\t' +
                   std::to_string(s.undecoded) + '\t' + share + '\t' + std::to_string(s.incomplete) + '\t' +
                   view.layoutCatalogue().record(key).title + '\n';
            data += s.data;
            undecoded += s.undecoded;
        }
        out += "  " + std::to_string(undecoded) + " of " + std::to_string(data) + " data bytes not decoded\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    return status;
}

} // namespace tarvik::cli
