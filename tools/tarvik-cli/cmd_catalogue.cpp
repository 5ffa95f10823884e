// tarvik-cli catalogue: what the tool can decode, one line per record layout,
// repeat block or vector, or the items of one layout; where the layouts came
// from; checking and exporting layout definition files.

#include "app/tarvik_view.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "decode/layout_loader.h"
#include "tools/tarvik-cli/cmd_catalogue_wireshark.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/cmd_catalogue_draft.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace tarvik::cli {

namespace {

int checkFiles(const std::vector<std::string>& files) {
    if (sayLayoutProblems(checkLayoutFiles(files))) return kExitMessageShown;
    std::printf("%zu file%s checked, no problems\n", files.size(), files.size() == 1 ? "" : "s");
    return kExitOk;
}

int exportFiles(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "tarvik-cli: cannot make %s: %s\n", shownName(dir).c_str(), ec.message().c_str());
        return kExitMessageShown;
    }
    int status = kExitOk;
    for (const EmbeddedLayoutFile& f : builtInLayoutFiles()) {
        const std::string path = (std::filesystem::path(dir) / std::string(f.name)).string();
        if (const Result<void> written = writeWholeFile(path, asBytes(f.text), WholeFileOutput::Replace::No); !written) {
            if (written.error() == "file exists")
                std::fprintf(stderr, "tarvik-cli: %s exists, kept as it is\n", shownName(path).c_str());
            else
                sayNotWritten(path, written.error(), false);
            status = kExitMessageShown;
            continue;
        }
        std::printf("%s\n", shownName(path).c_str());
    }
    return status;
}

struct CatalogueOptions {
    bool repeats = false;
    bool vectors = false;
    bool sources = false;
    bool check = false;
    std::optional<std::uint32_t> record;
    std::optional<std::string> exportDir;
    std::vector<std::string> files;
    WiresharkExportCliOptions wireshark;
    std::optional<std::uint32_t> draft;
    std::optional<std::string> out;
    bool force = false;  // --force: replaces the --out draft or the --export-wireshark(-c) files
};

int runCatalogue(const CatalogueOptions& o) {
    if (!o.files.empty() && !o.check && !o.draft) {
        std::fprintf(stderr, "tarvik-cli: FILE... goes with --check or --draft\n");
        return kExitUsage;
    }
    const bool exportsWireshark = o.wireshark.file || o.wireshark.pluginDir;
    if (o.force && !o.out && !exportsWireshark) {
        std::fprintf(stderr, "tarvik-cli: --force goes with --out, --export-wireshark or --export-wireshark-c\n");
        return kExitUsage;
    }
    if (!o.wireshark.ports.empty() && !exportsWireshark) {
        std::fprintf(stderr, "tarvik-cli: --port goes with --export-wireshark or --export-wireshark-c\n");
        return kExitUsage;
    }
    if (o.draft) return runCatalogueDraft(*o.draft, o.files, o.out, o.force);
    if (o.check) return checkFiles(o.files);
    if (o.exportDir) return exportFiles(*o.exportDir);
    if (exportsWireshark) {
        WiresharkExportCliOptions wireshark = o.wireshark;
        wireshark.force = o.force;
        return exportWireshark(wireshark);
    }

    const LayoutOptions& options = CMyTarvikView::layoutOptions();
    const LoadedDefinitions loaded = loadLayouts(options.directory, options.userDirectory);
    sayLayoutProblems(loaded.problems);
    const LayoutCatalogue& catalogue = loaded.catalogue;
    if (o.sources) {
        for (const LayoutSource& s : loaded.sources) {
            std::printf("%s\t%zu added\t%zu replaced\t%zu problems\n", s.file.c_str(), s.added.size(),
                        s.replaced.size(), s.problems);
            for (const std::string& key : s.added) std::printf("  added\t%s\n", key.c_str());
            for (const std::string& key : s.replaced) std::printf("  replaced\t%s\n", key.c_str());
        }
    } else if (o.repeats) {
        for (const auto& [key, block] : catalogue.repeats)
            std::printf("%d\t%d\t%s\t%s\t%d\n", key.recordType, key.blockIndex, block.title.c_str(),
                        block.countField.c_str(), static_cast<int>(block.items.size()));
    } else if (o.vectors) {
        for (const auto& [key, vector] : catalogue.vectors)
            std::printf("%d\t%d\t%s\t%s\t%d\t%s\n", key.recordType, key.blockIndex, vector.elementName.c_str(),
                        vector.format.c_str(), vector.width, vector.countField.c_str());
    } else if (o.record) {
        const std::uint32_t type = *o.record;
        const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type)};
        const auto it = type <= 0x7fffffffULL ? catalogue.records.find(key) : catalogue.records.end();
        if (it == catalogue.records.end()) {
            std::fprintf(stderr, "tarvik-cli: no record layout for record type %u\n", type);
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

} // namespace

Command addCatalogue(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "catalogue", "list, check and export the record layouts the tool decodes",
        {"tarvik-cli catalogue [--repeats | --vectors | --record TYPE | --sources] [--layouts DIR]\n"
         "tarvik-cli catalogue --check FILE...\n"
         "tarvik-cli catalogue --export DIR\n"
         "tarvik-cli catalogue --export-wireshark FILE.lua [--port N]... [--layouts DIR] [--force]\n"
         "tarvik-cli catalogue --export-wireshark-c DIR [--port N]... [--layouts DIR] [--force]\n"
         "tarvik-cli catalogue --draft TYPE FILE... [--out FILE.yaml [--force]]",
         "Lists the record layouts, one line per layout: record type, title and number of items,\n"
         "tab-separated. The layouts are the built-in ones, then those of the user's layout folder\n"
         "($XDG_CONFIG_HOME/Nerith/Tarvik/layouts), then those of --layouts DIR.\n\n"
         "--draft reads every record of TYPE in the record files (or captures) and writes a layout\n"
         "draft in the definition file format (to stdout, or to --out): items named unknown_OFFSET\n"
         "(the offset from the frame's first byte, as report --coverage and NOT DECODED give it),\n"
         "each with a comment on what its guess rests on (constant bytes, times, floats, counters,\n"
         "count fields whose value times an element size accounts for the rest of every record).\n"
         "How many records were read goes to stderr.\n\n"
         "Exit status: 0 done, 1 a problem was found or shown (on stderr), 2 usage error or no\n"
         "layout for TYPE."});
    auto o = std::make_shared<CatalogueOptions>();
    CLI::Option* files =
        command->add_option("FILE", o->files, "the definition files --check checks, or the record files --draft reads");
    std::vector<CLI::Option*> modes = {
        command->add_flag("--repeats", o->repeats,
                          "one line per repeat block: record type, block index, title, count field,\n"
                          "number of items"),
        command->add_flag("--vectors", o->vectors,
                          "one line per vector: record type, index, element name, element format,\n"
                          "element width, count field"),
        command->add_option("--record", o->record, "the items of one layout, one per line: name, format, number")
            ->type_name("TYPE")
            ->transform(options::wholeNumber<std::uint32_t>()),
        command->add_flag("--sources", o->sources,
                          "the definition files loaded, in order, each followed by what it added or\n"
                          "replaced (\"  added<TAB>KEY\", \"  replaced<TAB>KEY\")"),
        command->add_flag("--check", o->check,
                          "check definition files (each on top of the built-in ones) without\n"
                          "loading them into a program; problems go to stderr as FILE:LINE: text"),
        command->add_option("--export", o->exportDir, "write the built-in definition files into DIR (existing files are kept)")
            ->type_name("DIR"),
    };
    const auto [wiresharkLua, wiresharkPlugin] = addWiresharkExportOptions(*command, o->wireshark);
    modes.push_back(wiresharkLua);
    modes.push_back(wiresharkPlugin);
    CLI::Option* check = modes[4];
    CLI::Option* exportDir = modes[5];
    CLI::Option* draft = command->add_option("--draft", o->draft, "a layout draft of record type TYPE from the records of FILE...")
                             ->type_name("TYPE")
                             ->transform(options::wholeNumber<std::uint32_t>());
    modes.push_back(draft);
    for (std::size_t i = 0; i < modes.size(); ++i)
        for (std::size_t j = i + 1; j < modes.size(); ++j) modes[i]->excludes(modes[j]);
    CLI::Option* out = command->add_option("--out", o->out, "with --draft: write the draft to FILE.yaml")->type_name("FILE");
    out->needs(draft);
    // One --force serves both outputs; runCatalogue refuses it without either.
    addForceOption(*command, o->force);
    check->needs(files);
    draft->needs(files);
    addLayoutsOption(*command)->excludes(check)->excludes(exportDir);
    return {command, [o] { return runCatalogue(*o); }};
}

} // namespace tarvik::cli
