#include "tools/tarvik-cli/cmd_catalogue_wireshark.h"

#include "app/tarvik_view.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "decode/layout_loader.h"
#include "decode/wireshark_c.h"
#include "decode/wireshark_lua.h"

#include <cstdio>
#include <filesystem>

namespace tarvik::cli {

std::pair<CLI::Option*, CLI::Option*> addWiresharkExportOptions(CLI::App& command, WiresharkExportCliOptions& o) {
    CLI::Option* file =
        command.add_option("--export-wireshark", o.file,
                           "write a Wireshark dissector (Lua) for Vx over TCP and UDP made from the\n"
                           "layouts loaded (see docs/wireshark.md)")
            ->type_name("FILE.lua");
    CLI::Option* plugin =
        command.add_option("--export-wireshark-c", o.pluginDir,
                           "write the same dissector as C for a compiled Wireshark plugin: DIR gets\n"
                           "vx_dissector.c and a CMakeLists.txt that builds and installs it against an\n"
                           "installed Wireshark (see docs/wireshark.md)")
            ->type_name("DIR");
    command.add_option("--port", o.ports,
                       "with --export-wireshark(-c): a port whose TCP and UDP traffic is Vx (repeatable;\n"
                       "default 7000); streams on other ports are found by their first bytes")
        ->type_name("N")
        ->check(portNumber());
    return {file, plugin};
}

int exportWireshark(const WiresharkExportCliOptions& o) {
    // The plugin is two files in a folder; the Lua dissector one file.
    std::vector<std::pair<std::string, std::string>> outputs;  // path, text (filled below)
    if (o.pluginDir) {
        for (const char* name : {kWiresharkPluginSourceName, kWiresharkPluginCMakeName})
            outputs.emplace_back((std::filesystem::path(*o.pluginDir) / name).string(), std::string());
    } else {
        outputs.emplace_back(*o.file, std::string());
    }
    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    const LoadedDefinitions loaded = loadLayouts(layouts.directory, layouts.userDirectory);
    // The definition files read are inputs: the dissector is never written onto one.
    std::vector<std::string> inputs;
    for (const LayoutSource& s : loaded.sources)
        if (s.file.rfind("built-in:", 0) != 0) inputs.push_back(s.file);
    for (const LayoutProblem& p : loaded.problems) inputs.push_back(p.file);
    for (const auto& [path, text] : outputs)
        if (!outputAllowed(path, inputs, o.force)) return kExitMessageShown;
    // A dissector without some of the user's layouts would pass for a complete
    // one: a run with problems in the definition files writes nothing.
    if (sayLayoutProblems(loaded.problems)) {
        std::fprintf(stderr, "tarvik-cli: %s not written: mend the layout definition files first\n",
                     shownName(o.pluginDir ? *o.pluginDir : *o.file).c_str());
        return kExitMessageShown;
    }
    WiresharkExportOptions options;
    if (!o.ports.empty()) options.ports = o.ports;
    std::size_t userFiles = 0;
    for (const LayoutSource& s : loaded.sources) userFiles += s.file.rfind("built-in:", 0) == 0 ? 0 : 1;
    options.origin = "the built-in layouts and " + counted(userFiles, "user definition file", "user definition files");
    if (o.pluginDir) {
        outputs[0].second = wiresharkPluginSource(loaded.catalogue, options);
        outputs[1].second = wiresharkPluginCMake();
        std::error_code ec;
        std::filesystem::create_directories(*o.pluginDir, ec);
        if (ec) {
            std::fprintf(stderr, "tarvik-cli: cannot make %s: %s\n", shownName(*o.pluginDir).c_str(),
                         ec.message().c_str());
            return kExitMessageShown;
        }
    } else {
        outputs[0].second = wiresharkDissector(loaded.catalogue, options);
    }
    for (const auto& [path, text] : outputs) {
        if (const Result<void> written =
                writeWholeFile(path, asBytes(text), o.force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
            !written) {
            sayNotWritten(path, written.error(), true);
            return kExitMessageShown;
        }
    }
    if (o.pluginDir)
        std::printf("Wrote a Wireshark dissector plugin (C) for %zu record layouts to %s\n",
                    loaded.catalogue.records.size(), shownName(*o.pluginDir).c_str());
    else
        std::printf("Wrote a Wireshark dissector for %zu record layouts to %s\n", loaded.catalogue.records.size(),
                    shownName(*o.file).c_str());
    return kExitOk;
}

} // namespace tarvik::cli
