// tarvik-cli generate: a sample record file for demos and tests.

#include "tools/synth/sample_records.h"
#include "tools/tarvik-cli/cli.h"

namespace tarvik::cli {

const char* const kGenerateUsage =
    "Usage: tarvik-cli generate FILE [--frames N] [--no-catalog] [--size MIN MAX]\n"
    "                            [--imagery PINGS]\n\n"
    "Writes a sample record file: a file header record, N frames cycling through the\n"
    "types 7000, 7004, 7027, 7006, 7008, 7001 and 7022, and a file catalog record\n"
    "indexing them.\n\n"
    "  --frames N     number of frames between header and catalog (default 40)\n"
    "  --no-catalog   no catalog: the file header record points at nothing and\n"
    "                 readers walk the frames\n"
    "  --size MIN MAX pad every frame's data section to MIN..MAX bytes (at least 12)\n"
    "  --imagery PINGS picture records instead: configuration, settings and geometry,\n"
    "                 then a side-scan record (7007) per ping and bathymetry, beam\n"
    "                 data and image records (7006, 7008, 7011) every 16th ping\n";

int runGenerate(Args& args) {
    synth::SampleOptions options;
    options.withCatalog = !args.flag("--no-catalog");
    unsigned long long n = options.frames;
    auto frames = args.option("--frames");
    if (frames && !parseUnsigned(*frames, n)) args.error = true;
    options.frames = static_cast<std::size_t>(n);
    if (auto pings = args.option("--imagery")) {
        unsigned long long p = 0;
        if (!parseUnsigned(*pings, p) || p == 0 || p > 100000) args.error = true;
        options.imageryPings = static_cast<std::size_t>(p);
    }
    if (auto size = args.optionValues("--size", 2)) {
        unsigned long long lo = 0, hi = 0;
        if (!parseUnsigned((*size)[0], lo) || !parseUnsigned((*size)[1], hi) || lo < 12 || hi < lo)
            args.error = true;
        options.minDataBytes = lo;
        options.maxDataBytes = hi;
    }
    auto words = args.positionals();
    if (args.error || words.size() != 1) {
        std::fputs(kGenerateUsage, stderr);
        return kExitUsage;
    }
    if (!synth::writeSampleFile(words[0], options)) {
        std::fprintf(stderr, "could not write %s\n", words[0].c_str());
        return kExitMessageShown;
    }
    return kExitOk;
}

} // namespace tarvik::cli
