// tarvik-cli catalogue: what the tool can decode, one line per record layout,
// repeat block or vector, or the items of one layout; where the layouts came
// from; checking and exporting layout definition files.

#include "app/tarvik_view.h"
#include "decode/layout_loader.h"
#include "tools/tarvik-cli/cli.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tarvik::cli {

const char* const kCatalogueUsage =
    "Usage: tarvik-cli catalogue [--repeats | --vectors | --record TYPE | --sources] [--layouts DIR]\n"
    "       tarvik-cli catalogue --check FILE...\n"
    "       tarvik-cli catalogue --export DIR\n\n"
    "Lists the record layouts, one line per layout: record type, title and number of items,\n"
    "tab-separated. The layouts are the built-in ones, then those of the user's layout folder\n"
    "($XDG_CONFIG_HOME/Nerith/Tarvik/layouts), then those of --layouts DIR.\n\n"
    "  --repeats       one line per repeat block: record type, block index, title, count field,\n"
    "                  number of items\n"
    "  --vectors       one line per vector: record type, index, element name, element format,\n"
    "                  element width, count field\n"
    "  --record TYPE   the items of one layout, one per line: name, format, number\n"
    "  --sources       the definition files loaded, in order, each followed by what it added or\n"
    "                  replaced (\"  added<TAB>KEY\", \"  replaced<TAB>KEY\")\n"
    "  --layouts DIR   also load the layout definition files of DIR\n"
    "  --check FILE... check definition files (each on top of the built-in ones) without\n"
    "                  loading them into a program; problems go to stderr as FILE:LINE: text\n"
    "  --export DIR    write the built-in definition files into DIR (existing files are kept)\n\n"
    "Exit status: 0 done, 1 a problem was found or shown (on stderr), 2 usage error or no\n"
    "layout for TYPE.\n";

namespace {

int checkFiles(const std::vector<std::string>& files) {
    const std::vector<LayoutProblem> problems = checkLayoutFiles(files);
    for (const LayoutProblem& p : problems) std::fprintf(stderr, "%s\n", p.message().c_str());
    if (!problems.empty()) return kExitMessageShown;
    std::printf("%zu file%s checked, no problems\n", files.size(), files.size() == 1 ? "" : "s");
    return kExitOk;
}

int exportFiles(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "tarvik-cli: cannot make %s: %s\n", dir.c_str(), ec.message().c_str());
        return kExitMessageShown;
    }
    int status = kExitOk;
    for (const EmbeddedLayoutFile& f : builtInLayoutFiles()) {
        const std::filesystem::path path = std::filesystem::path(dir) / std::string(f.name);
        if (std::filesystem::exists(path, ec)) {
            std::fprintf(stderr, "tarvik-cli: %s exists, kept as it is\n", path.string().c_str());
            status = kExitMessageShown;
            continue;
        }
        std::ofstream out(path, std::ios::binary);
        out.write(f.text.data(), static_cast<std::streamsize>(f.text.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "tarvik-cli: cannot write %s\n", path.string().c_str());
            status = kExitMessageShown;
            continue;
        }
        std::printf("%s\n", path.string().c_str());
    }
    return status;
}

} // namespace

int runCatalogue(Args& args) {
    const bool repeats = args.flag("--repeats");
    const bool vectors = args.flag("--vectors");
    const bool sources = args.flag("--sources");
    const bool check = args.flag("--check");
    const std::optional<std::string> recordText = args.option("--record");
    const std::optional<std::string> exportDir = args.option("--export");
    const std::optional<std::string> layouts = args.option("--layouts");
    const auto rest = args.positionals();
    unsigned long long type = 0;
    const int modes = int(repeats) + int(vectors) + int(recordText.has_value()) + int(sources) + int(check) +
                      int(exportDir.has_value());
    const bool badRest = check ? rest.empty() : !rest.empty();
    if (args.error || badRest || modes > 1 || ((check || exportDir) && layouts) ||
        (recordText && !parseUnsigned(*recordText, type))) {
        std::fprintf(stderr, "%s%s", args.errorText.empty() ? "" : (args.errorText + "\n").c_str(), kCatalogueUsage);
        return kExitUsage;
    }
    if (check) return checkFiles(rest);
    if (exportDir) return exportFiles(*exportDir);

    const LayoutOptions& options = CMyTarvikView::layoutOptions();
    const LoadedDefinitions loaded = loadLayouts(layouts.value_or(options.directory), options.userDirectory);
    for (const LayoutProblem& p : loaded.problems) std::fprintf(stderr, "%s\n", p.message().c_str());
    const LayoutCatalogue& catalogue = loaded.catalogue;
    if (sources) {
        for (const LayoutSource& s : loaded.sources) {
            std::printf("%s\t%zu added\t%zu replaced\t%zu problems\n", s.file.c_str(), s.added.size(),
                        s.replaced.size(), s.problems);
            for (const std::string& key : s.added) std::printf("  added\t%s\n", key.c_str());
            for (const std::string& key : s.replaced) std::printf("  replaced\t%s\n", key.c_str());
        }
    } else if (repeats) {
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
    return loaded.problems.empty() ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
