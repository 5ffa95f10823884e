// tarvik-cli fields: the names filters take, with their types and units.

#include "app/tarvik_view.h"
#include "core/text.h"
#include "expr/fields.h"
#include "tools/tarvik-cli/cli.h"

#include <charconv>
#include <memory>
#include <optional>
#include <string>

namespace tarvik::cli {

namespace {

struct FieldsOptions {
    std::string type;
};

void printField(const expr::FieldInfo& f) {
    std::printf("%s\t%s\t%s\t%s%s\n", f.name.c_str(), f.kind.c_str(), f.unit.empty() ? "-" : f.unit.c_str(),
                f.label.c_str(), f.repeated ? " (repeated)" : "");
}

int runFields(const FieldsOptions& o) {
    std::optional<std::uint32_t> type;
    if (!o.type.empty()) {
        std::uint32_t t = 0;
        const auto r = std::from_chars(o.type.data(), o.type.data() + o.type.size(), t);
        if (r.ec != std::errc{} || r.ptr != o.type.data() + o.type.size()) {
            std::fprintf(stderr, "tarvik-cli: \"%s\" is no record type (a whole number such as 7027)\n",
                         shownName(o.type).c_str());
            return kExitUsage;
        }
        type = t;
    }
    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    const LoadedDefinitions definitions = loadLayouts(layouts.directory, layouts.userDirectory);
    sayLayoutProblems(definitions.problems);
    const expr::FieldNames names(definitions.catalogue);
    if (!type) {
        for (const expr::FieldInfo& f : names.all()) printField(f);
        return definitions.problems.empty() ? kExitOk : kExitMessageShown;
    }
    const auto fields = names.ofType(*type);
    if (fields.empty()) {
        std::fprintf(stderr, "tarvik-cli: no layout defines record type %u\n", *type);
        return kExitMessageShown;
    }
    for (const expr::FieldInfo* f : fields) printField(*f);
    return definitions.problems.empty() ? kExitOk : kExitMessageShown;
}

} // namespace

Command addFields(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "fields", "list the field names that filters take, with their types and units",
        {"tarvik-cli fields [TYPE] [--layouts DIR]",
         "Prints one line per field: its name, its type (as the generated Wireshark\n"
         "dissector declares it), its unit (\"-\" for none) and what it is, separated by\n"
         "tabs. Without TYPE: the frame header's fields, the list's own (row, capture.*)\n"
         "and every field of every layout; with TYPE the fields of that record type's\n"
         "layouts. \"(repeated)\" marks fields a record may hold many times (inside a\n"
         "repeat block or a vector). The names are those of --filter expressions: see\n"
         "docs/expressions.md.\n\n"
         "Exit status: 0 listed, 1 no layout defines TYPE or a layout file could not be\n"
         "loaded (on stderr), 2 usage error."});
    auto o = std::make_shared<FieldsOptions>();
    command->add_option("TYPE", o->type, "only the fields of this record type");
    addLayoutsOption(*command);
    return {command, [o] { return runFields(*o); }};
}

} // namespace tarvik::cli
