// tarvik-cli check: every frame of record files, checked end to end.

#include "app/tarvik_view.h"
#include "decode/file_check.h"
#include "decode/record_json.h"
#include "tools/tarvik-cli/cli.h"

#include <atomic>
#include <thread>

namespace tarvik::cli {

const char* const kCheckUsage =
    "Usage: tarvik-cli check FILE... [--json] [--jobs N] [--no-layouts] [--layouts DIR]\n\n"
    "Walks every frame of each record file and checks the sync pattern, Size and Offset,\n"
    "frames that run past the end of the file, the checksum when the flags claim one, the\n"
    "layout walk (data exhausted, repeats that ran out of data, bad string lengths, record\n"
    "types without a layout), the file catalog against the frames, ping-number gaps per\n"
    "record type, device and enumerator, and time stamps going backwards per device.\n"
    "Prints per file the frames and bytes per record type, the first and last time, and\n"
    "each problem with its frame index and byte offset (the first 20 of each kind).\n\n"
    "  --json          one JSON document per file instead of the text summary\n"
    "  --jobs N        files checked in parallel (default: the number of cores)\n"
    "  --no-layouts    skip the layout walk (frames, checksums and order only)\n"
    "  --layouts DIR   also load the layout definition files of DIR (after the user's own)\n\n"
    "Exit status: 0 every file clean, 1 a problem was found, 2 usage error or a file that\n"
    "could not be read (the other files are still checked).\n";

int runCheck(Args& args) {
    const bool json = args.flag("--json");
    const bool noLayouts = args.flag("--no-layouts");
    const std::optional<std::string> jobsText = args.option("--jobs");
    if (!takeLayoutsOption(args)) return kExitUsage;
    const std::vector<std::string> files = args.positionals();
    unsigned long long jobs = std::max(1u, std::thread::hardware_concurrency());
    if (args.error || files.empty() || (jobsText && (!parseUnsigned(*jobsText, jobs) || jobs == 0))) {
        std::fprintf(stderr, "%s%s", args.errorText.empty() ? "" : (args.errorText + "\n").c_str(), kCheckUsage);
        return kExitUsage;
    }
    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    // Without the walk no layout is looked at: reading them would cost more than a small file's check.
    const LoadedDefinitions definitions =
        noLayouts ? LoadedDefinitions{} : loadLayouts(layouts.directory, layouts.userDirectory);
    const NoRemoteCommandDefinitions commands;
    FileCheckOptions options;
    options.walkLayouts = !noLayouts;
    const FileChecker checker(definitions.catalogue, commands, options);

    // Files are taken in turn by the workers; results are printed in the order given.
    std::vector<FileCheckResult> results(files.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();) results[i] = checker.check(files[i]);
    };
    const std::size_t threads = std::min<std::size_t>(jobs, files.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();

    int status = kExitOk;
    for (const FileCheckResult& r : results) {
        if (json) {
            // One file: an indented document; several: one document a line.
            std::string doc = checkResultJson(r, results.size() == 1 ? 2 : -1);
            doc += '\n';
            std::fwrite(doc.data(), 1, doc.size(), stdout);
        } else {
            std::string text;
            for (const std::string& line : checkSummaryLines(r)) text += line + '\n';
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        if (r.unreadable) {
            std::fprintf(stderr, "tarvik-cli: cannot check %s: %s\n", r.path.c_str(), r.unreadable->c_str());
            status = kExitUsage;
        } else if (!r.clean() && status == kExitOk) {
            status = kExitMessageShown;
        }
    }
    return status;
}

} // namespace tarvik::cli
