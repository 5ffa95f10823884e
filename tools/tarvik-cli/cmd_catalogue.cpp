// tarvik-cli catalogue: what the tool can decode, one line per record layout,
// repeat block or vector, or the items of one layout.

#include "decode/catalogue/catalogue.h"
#include "tools/tarvik-cli/cli.h"

#include <cstdio>

namespace tarvik::cli {

const char* const kCatalogueUsage =
    "Usage: tarvik-cli catalogue [--repeats | --vectors | --record TYPE]\n\n"
    "Lists the built-in record layouts, one line per layout: record type, title and number of\n"
    "items, tab-separated.\n\n"
    "  --repeats       one line per repeat block: record type, block index, title, count field,\n"
    "                  number of items\n"
    "  --vectors       one line per vector: record type, index, element name, element format,\n"
    "                  element width, count field\n"
    "  --record TYPE   the items of one layout, one per line: name, format, number\n\n"
    "Exit status: 0 listed, 2 usage error or no layout for TYPE.\n";

int runCatalogue(Args& args) {
    const bool repeats = args.flag("--repeats");
    const bool vectors = args.flag("--vectors");
    const std::optional<std::string> recordText = args.option("--record");
    const auto rest = args.positionals();
    unsigned long long type = 0;
    const int modes = int(repeats) + int(vectors) + int(recordText.has_value());
    if (args.error || !rest.empty() || modes > 1 || (recordText && !parseUnsigned(*recordText, type))) {
        std::fprintf(stderr, "%s%s", args.errorText.empty() ? "" : (args.errorText + "\n").c_str(), kCatalogueUsage);
        return kExitUsage;
    }

    const LayoutCatalogue catalogue = buildLayoutCatalogue();
    if (repeats) {
        for (const auto& [key, block] : catalogue.repeats)
            std::printf("%d\t%d\t%s\t%s\t%d\n", key.recordType, key.blockIndex, block.title.c_str(),
                        block.countField.c_str(), static_cast<int>(block.items.size()));
    } else if (vectors) {
        for (const auto& [key, vector] : catalogue.vectors)
            std::printf("%d\t%d\t%s\t%s\t%d\t%s\n", key.recordType, key.blockIndex, vector.elementName.c_str(),
                        vector.format.c_str(), vector.width, vector.countField.c_str());
    } else if (recordText) {
        const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type)};
        const auto it = type <= 0x7fffffffULL ? catalogue.records.find(key) : catalogue.records.end();
        if (it == catalogue.records.end()) {
            std::fprintf(stderr, "tarvik-cli: no record layout for record type %s\n", recordText->c_str());
            return kExitUsage;
        }
        for (const CRecordDataLayout& item : it->second.items)
            std::printf("%s\t%s\t%d\n", item.name.c_str(), item.format.c_str(), item.number);
    } else {
        for (const auto& [key, record] : catalogue.records)
            std::printf("%d\t%s\t%d\n", key.recordType, record.title.c_str(), static_cast<int>(record.items.size()));
    }
    return kExitOk;
}

} // namespace tarvik::cli
