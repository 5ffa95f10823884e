// tarvik-cli convert: the records of a packet capture into a record file.

#include "app/output_writer.h"
#include "app/tarvik_view.h"
#include "capture/capture_reader.h"
#include "core/frame.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "tools/tarvik-cli/cli.h"

#include <memory>
#include <thread>

namespace tarvik::cli {

namespace {

struct ConvertOptions {
    std::string capture;
    std::string output;
    std::vector<std::uint16_t> ports;
    bool force = false;
};

int runConvert(const ConvertOptions& o) {
    if (sameExistingFile(o.capture, o.output)) {
        std::fprintf(stderr, "tarvik-cli: %s is the capture itself\n", o.output.c_str());
        return kExitUsage;
    }
    capture::CaptureOptions options;
    options.ports = o.ports;
    options.readAhead = std::thread::hardware_concurrency() > 1;  // one capture, the second core free
    capture::CaptureReader reader(options);
    if (!reader.open(o.capture)) {
        std::fprintf(stderr, "could not read the capture %s: %s\n", shownName(o.capture).c_str(),
                     shownName(reader.error()).c_str());
        return kExitMessageShown;
    }
    WholeFileOutput out;
    if (!out.open(o.output, o.force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No)) {
        std::fprintf(stderr, "tarvik-cli: could not write %s: %s%s\n", o.output.c_str(), out.error().c_str(),
                     out.targetExists() ? " (--force replaces it)" : "");
        return kExitMessageShown;
    }
    // The file opens with a file header record made from the first frame, as
    // an output file does; the capture's lost packets and damaged packets are
    // not frames and are counted instead.
    Bytes pending;
    bool headerWritten = false, failed = false;
    std::uint64_t frames = 0, lost = 0, damaged = 0;
    auto flush = [&] {
        if (!failed && !pending.empty() && !out.write(pending)) failed = true;
        pending.clear();
    };
    const bool complete = reader.read([&](capture::CapturedRecord&& record) {
        const FrameView frame(record.bytes);
        if (record.kind != capture::CapturedKind::Frame || !frame.isFrame()) {
            ++(record.kind == capture::CapturedKind::Damaged ? damaged : lost);
            return;
        }
        if (!headerWritten) {
            const Bytes header = buildFileHeaderRecord(frame, o.output, TARVIK_VERSION);
            pending.insert(pending.end(), header.begin(), header.end());
            headerWritten = true;
        }
        pending.insert(pending.end(), record.bytes.begin(), record.bytes.end());
        ++frames;
        if (pending.size() >= (1u << 20)) flush();
    });
    flush();
    if (failed || !out.commit()) {
        std::fprintf(stderr, "tarvik-cli: could not write %s: %s\n", o.output.c_str(), out.error().c_str());
        return kExitMessageShown;
    }
    std::fprintf(stderr, "%llu frames written to %s", static_cast<unsigned long long>(frames),
                 shownName(o.output).c_str());
    if (lost > 0) std::fprintf(stderr, "; %llu lost-packet lines not written", static_cast<unsigned long long>(lost));
    if (damaged > 0)
        std::fprintf(stderr, "; %llu damaged packets (not record frames) not written",
                     static_cast<unsigned long long>(damaged));
    std::fputc('\n', stderr);
    // Streams the reader had to give up, the capture's early end: each said, and the status says it too.
    for (const std::string& problem : reader.problems()) std::fprintf(stderr, "%s\n", problem.c_str());
    if (!complete) std::fprintf(stderr, "%s\n", reader.error().c_str());
    return !complete || damaged > 0 || !reader.problems().empty() ? kExitMessageShown : kExitOk;
}

} // namespace

CLI::Option* addCapturePortsOption(CLI::App& command, std::vector<std::uint16_t>& ports) {
    return command
        .add_option("--port", ports,
                    "a capture's Vx traffic is what goes to or from this port (repeatable);\n"
                    "without it, every stream whose first bytes are a Vx packet")
        ->type_name("N")
        ->transform(options::wholeNumber(1, 65535))
        ->take_last()
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

CLI::Option* addCapturePortsOption(CLI::App& command) {
    return addCapturePortsOption(command, CMyTarvikView::defaultCapturePorts());
}

Command addConvert(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "convert", "write the records of a packet capture into a record file",
        {"tarvik-cli convert CAPTURE OUTPUT [--port N]... [--force]",
         "Reads a packet capture (*.pcap, *.pcapng) of Vx traffic and writes its records, in the\n"
         "order they are listed, into a record file that opens with a file header record.\n"
         "Lost-packet lines and damaged packets (whose payload is not a record frame) are\n"
         "counted, not written. The output is written whole or not at all, and an existing\n"
         "file is kept unless --force is given.\n"
         "CAPTURE is a regular file, or - for standard input (a capture arriving through a\n"
         "pipe, such as a capture program writing to its standard output); a FIFO or other\n"
         "special file given by name is refused, as every command refuses it.\n\n"
         "Exit status: 0 written, 1 the capture could not be read (or ended early, held\n"
         "damaged packets, or had a stream given up for the reader's memory budget) or the\n"
         "file could not be written, 2 usage error."});
    auto o = std::make_shared<ConvertOptions>();
    command->add_option("CAPTURE", o->capture, "the capture (*.pcap, *.pcapng), or - for standard input")->required();
    command->add_option("OUTPUT", o->output, "the record file to write (*.vxr)")->required();
    addCapturePortsOption(*command, o->ports);
    command->add_flag("--force", o->force, "replace OUTPUT when it exists");
    return {command, [o] { return runConvert(*o); }};
}

} // namespace tarvik::cli
