#include "tools/tarvik-cli/cmd_catalogue_wireshark.h"

#include "app/tarvik_view.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "decode/layout_loader.h"
#include "decode/wireshark_lua.h"

#include <cstdio>

namespace tarvik::cli {

CLI::Option* addWiresharkExportOptions(CLI::App& command, WiresharkExportCliOptions& o) {
    CLI::Option* file =
        command.add_option("--export-wireshark", o.file,
                           "write a Wireshark dissector (Lua) for Vx over TCP and UDP made from the\n"
                           "layouts loaded (see docs/wireshark.md)")
            ->type_name("FILE.lua");
    command.add_option("--port", o.ports,
                       "with --export-wireshark: a port whose TCP and UDP traffic is Vx (repeatable;\n"
                       "default 7000); streams on other ports are found by their first bytes")
        ->type_name("N")
        ->check(portNumber())
        ->needs(file);
    return file;
}

int exportWireshark(const WiresharkExportCliOptions& o) {
    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    const LoadedDefinitions loaded = loadLayouts(layouts.directory, layouts.userDirectory);
    // The definition files read are inputs: the dissector is never written onto one.
    std::vector<std::string> inputs;
    for (const LayoutSource& s : loaded.sources)
        if (s.file.rfind("built-in:", 0) != 0) inputs.push_back(s.file);
    for (const LayoutProblem& p : loaded.problems) inputs.push_back(p.file);
    if (!outputAllowed(*o.file, inputs, o.force)) return kExitMessageShown;
    // A dissector without some of the user's layouts would pass for a complete
    // one: a run with problems in the definition files writes nothing.
    if (sayLayoutProblems(loaded.problems)) {
        std::fprintf(stderr, "tarvik-cli: %s not written: mend the layout definition files first\n",
                     shownName(*o.file).c_str());
        return kExitMessageShown;
    }
    WiresharkExportOptions options;
    if (!o.ports.empty()) options.ports = o.ports;
    std::size_t userFiles = 0;
    for (const LayoutSource& s : loaded.sources) userFiles += s.file.rfind("built-in:", 0) == 0 ? 0 : 1;
    options.origin = "the built-in layouts and " + counted(userFiles, "user definition file", "user definition files");
    const std::string lua = wiresharkDissector(loaded.catalogue, options);
    if (const Result<void> written =
            writeWholeFile(*o.file, asBytes(lua), o.force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
        !written) {
        sayNotWritten(*o.file, written.error(), true);
        return kExitMessageShown;
    }
    std::printf("Wrote a Wireshark dissector for %zu record layouts to %s\n", loaded.catalogue.records.size(),
                shownName(*o.file).c_str());
    return kExitOk;
}

} // namespace tarvik::cli
