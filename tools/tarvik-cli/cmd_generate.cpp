// tarvik-cli generate: a sample record file for demos and tests.

#include "core/text.h"
#include "tools/synth/capture_records.h"
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
    bool capture = false;
    bool plain = false;
    bool acked = false;
    bool force = false;
};

// The largest data section --size pads to, as the simulator's --record-size.
constexpr std::size_t kMaxDataBytes = 64u * 1024 * 1024;

int runGenerateCapture(const GenerateOptions& o, bool sized) {
    synth::CaptureSampleOptions options;
    options.records = o.frames;
    options.hardCases = !o.plain;
    options.acknowledged = o.acked;
    if (sized) {
        options.minDataBytes = std::max<std::size_t>(o.size.first, 12);
        options.maxDataBytes = std::max<std::size_t>(o.size.second, 12);
    }
    std::string error;
    if (!synth::writeSampleCapture(o.file, options, o.force, error)) {
        sayNotWritten(o.file, error, true);
        return kExitMessageShown;
    }
    std::printf("Wrote a capture of %s to %s\n", counted(o.frames, "record", "records").c_str(),
                shownName(o.file).c_str());
    return kExitOk;
}

int runGenerate(const GenerateOptions& o, bool sized) {
    if (o.capture) {
        if (sized && o.size.first > o.size.second)
            options::usageError("--size", "MIN " + std::to_string(o.size.first) + " is above MAX " +
                                              std::to_string(o.size.second));
        if (o.imageryPings > 0 || o.noCatalog) options::usageError("--capture", "takes neither --imagery nor --no-catalog");
        return runGenerateCapture(o, sized);
    }
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
    if (written.catalogLeftOut)
        std::printf("No file catalog: a catalog lists at most %s, and readers refuse a longer one\n",
                    counted(options.catalogLimit, "record", "records").c_str());
    return kExitOk;
}

} // namespace

Command addGenerate(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "generate", "write a sample record file made by the frame builder",
        {"tarvik-cli generate FILE [--frames N] [--no-catalog] [--size MIN MAX] [--imagery PINGS] [--force]\n"
         "       tarvik-cli generate FILE --capture [--frames N] [--size MIN MAX] [--plain] [--acked] [--force]",
         "Writes a sample record file: a file header record, N frames cycling through the\n"
         "types 7000, 7004, 7027, 7006, 7008, 7001 and 7022, and a file catalog record\n"
         "indexing them. A catalog lists at most 1,000,000 records: a longer file is\n"
         "written without one, and says so. Says on stdout what it wrote. An existing FILE\n"
         "is kept unless --force is given.\n\n"
         "With --capture, writes a pcapng packet capture of Vx traffic instead: a server at\n"
         "192.0.2.10:7000 sends N records over two interleaved TCP connections (one with a\n"
         "record of three packets), answering each client's request, and three records over UDP\n"
         "(one of three packets, each datagram in IPv4 fragments). Unless --plain, the first\n"
         "connection's segments arrive out of order, resent and overlapping, one segment is\n"
         "missing and one is cut short by the snapshot length. With --acked, the client\n"
         "acknowledges every second segment of the server's, as a receiving host does;\n"
         "without it, nothing the server sends is acknowledged.\n\n"
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
    command->add_flag("--capture", o->capture, "write a pcapng capture of Vx traffic instead of a record file");
    command->add_flag("--plain", o->plain, "with --capture: no reordering, resends or missing bytes");
    command->add_flag("--acked", o->acked, "with --capture: the client acknowledges every second segment");
    addForceOption(*command, o->force);
    return {command, [o, size] { return runGenerate(*o, size->count() > 0); }};
}

} // namespace tarvik::cli
