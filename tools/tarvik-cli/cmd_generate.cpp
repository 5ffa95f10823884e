// tarvik-cli generate: a sample record file for demos and tests.

#include "core/text.h"
#include "tools/synth/sample_records.h"
#include "tools/tarvik-cli/cli.h"

#include <memory>

namespace tarvik::cli {

namespace {

struct GenerateOptions {
    std::string file;
    std::size_t frames = synth::SampleOptions{}.frames;
    bool noCatalog = false;
    std::pair<std::size_t, std::size_t> size{0, 0};
    std::size_t imageryPings = 0;
    bool force = false;
};

// The largest data section --size pads to, as the simulator's --record-size.
constexpr std::size_t kMaxDataBytes = 64u * 1024 * 1024;

int runGenerate(const GenerateOptions& o, bool sized) {
    synth::SampleOptions options;
    options.withCatalog = !o.noCatalog;
    options.frames = o.frames;
    options.imageryPings = o.imageryPings;
    if (sized) {
        if (o.size.first > o.size.second)
            options::usageError("--size", "MIN " + std::to_string(o.size.first) + " is above MAX " +
                                              std::to_string(o.size.second));
        options.minDataBytes = o.size.first;
        options.maxDataBytes = o.size.second;
    }
    if (!outputAllowed(o.file, {}, o.force)) return kExitMessageShown;
    std::string error;
    synth::SampleFileResult written;
    if (!synth::writeSampleFile(o.file, options, o.force, error, &written)) {
        sayNotWritten(o.file, error, true);
        return kExitMessageShown;
    }
    std::printf("Wrote %s, %s, to %s\n", counted(written.records, "record", "records").c_str(),
                counted(written.bytes, "byte", "bytes").c_str(), shownName(o.file).c_str());
    return kExitOk;
}

} // namespace

Command addGenerate(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "generate", "write a sample record file made by the frame builder",
        {"tarvik-cli generate FILE [--frames N] [--no-catalog] [--size MIN MAX] [--imagery PINGS] [--force]",
         "Writes a sample record file: a file header record, N frames cycling through the\n"
         "types 7000, 7004, 7027, 7006, 7008, 7001 and 7022, and a file catalog record\n"
         "indexing them. Says on stdout what it wrote. An existing FILE is kept unless\n"
         "--force is given.\n\n"
         "Exit status: 0 written, 1 the file could not be written, 2 usage error."});
    auto o = std::make_shared<GenerateOptions>();
    command->add_option("FILE", o->file, "the record file to write")->required();
    command->add_option("--frames", o->frames, "number of frames between header and catalog (default 40)")
        ->type_name("N")
        ->transform(options::wholeNumber<std::size_t>());
    command->add_flag("--no-catalog", o->noCatalog,
                      "no catalog: the file header record points at nothing and\nreaders walk the frames");
    CLI::Option* size =
        command->add_option("--size", o->size,
                            "pad every frame's data section with zeros to MIN..MAX bytes (15 to\n"
                            "67108864); a size below a record's own is made a system event\n"
                            "message (7051) whose text fills it")
            ->type_name("MIN MAX")
            ->transform(options::wholeNumber(synth::kMinSizedDataBytes, kMaxDataBytes));
    command
        ->add_option("--imagery", o->imageryPings,
                     "picture records instead (1 to 100000 pings): configuration, settings\n"
                     "and geometry, then a side-scan record (7007) per ping and bathymetry,\n"
                     "beam data and image records (7006, 7008, 7011) on two pings in a row\n"
                     "out of every 128, from the 16th on")
        ->type_name("PINGS")
        ->transform(options::wholeNumber(1, 100000));
    addForceOption(*command, o->force);
    return {command, [o, size] { return runGenerate(*o, size->count() > 0); }};
}

} // namespace tarvik::cli
