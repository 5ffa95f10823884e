#pragma once
// Shared pieces of tarvik-cli's subcommands.

#include "app/memory_port.h"
#include "app/print_pdf.h"
#include "core/record_filter.h"
#include "decode/layout_loader.h"
#include "tools/options/options.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <unistd.h>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {
class CMyTarvikView;
}

namespace tarvik::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitMessageShown = 1;
inline constexpr int kExitUsage = options::kExitUsage;

// The console's port: what the window would show in a message box goes to
// stderr, verbatim, one per line.
class ConsolePort : public MemoryPort {
public:
    void messageBox(std::string_view text) override {
        MemoryPort::messageBox(text);
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputc('\n', stderr);
    }

    // Progress of long commands, on stderr when it is a terminal.
    void beginProgress(std::string_view title, std::uint64_t total) override {
        MemoryPort::beginProgress(title, total);
        progressTitle_ = std::string(title);
        progressTotal_ = total;
        showProgress_ = ::isatty(STDERR_FILENO) == 1;
    }
    bool stepProgress(std::uint64_t done) override {
        if (showProgress_ && progressTotal_ > 0)
            std::fprintf(stderr, "\r%s: %3u%%", progressTitle_.c_str(),
                         static_cast<unsigned>(done * 100 / progressTotal_));
        return MemoryPort::stepProgress(done);
    }
    void endProgress() override {
        if (showProgress_) std::fputc('\n', stderr);
        showProgress_ = false;
        MemoryPort::endProgress();
    }

    // Printing goes to this PDF file.
    std::string pdfPath;
    bool replacePdf = false;  // --force
    bool printFailed = false;
    void printReport(const std::vector<std::string>& lines, const PrintHeading& heading, bool preview) override {
        MemoryPort::printReport(lines, heading, preview);
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const Result<void> written = writeReportPdf(pdfPath, lines, heading, local,
                                                    replacePdf ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
        if (!written) {
            printFailed = true;
            std::fprintf(stderr, "tarvik-cli: could not write %s: %s%s\n", pdfPath.c_str(), written.error().c_str(),
                         written.error() == "file exists" ? " (--force replaces it)" : "");
        }
    }

    // The dialog of a failed connection: its message, and the check box unticked.
    bool connectFailed(const ConnectFailedRequest& request) override {
        MemoryPort::connectFailed(request);
        std::fprintf(stderr, "%s\n", request.message.c_str());
        return false;
    }

private:
    std::string progressTitle_;
    std::uint64_t progressTotal_ = 0;
    bool showProgress_ = false;
};

// Each subcommand adds itself to the program: its options are bound to the
// variables its run function reads once the words are parsed. The run
// function returns the exit status.
using Run = std::function<int()>;
struct Command {
    CLI::App* app;
    Run run;
};

Command addList(CLI::App& program);
Command addGenerate(CLI::App& program);
Command addReport(CLI::App& program);
Command addReceive(CLI::App& program);
Command addListen(CLI::App& program);
Command addCatalogue(CLI::App& program);
Command addCondense(CLI::App& program);
Command addDump(CLI::App& program);
Command addPrint(CLI::App& program);
Command addImage(CLI::App& program);
Command addCheck(CLI::App& program);
Command addExport(CLI::App& program);
Command addFields(CLI::App& program);
Command addDiff(CLI::App& program);
Command addPlot(CLI::App& program);
Command addCommands(CLI::App& program);
Command addSend(CLI::App& program);
Command addPlay(CLI::App& program);
Command addConvert(CLI::App& program);
Command addExpect(CLI::App& program);
Command addProfiles(CLI::App& program);

// The options several subcommands share.

// "--layouts DIR": the views made afterwards also load the layout definition
// files of DIR (after the user's own).
CLI::Option* addLayoutsOption(CLI::App& command);
// "--seconds S": how long a live command listens, 0 to 1000000.
CLI::Option* addSecondsOption(CLI::App& command, double& seconds, const std::string& text);
// "--filter TEXT": the record filter's text (default "ALL RECORDS").
CLI::Option* addFilterOption(CLI::App& command, std::string& filter);
// What --filter TEXT stands for over the layouts of `catalogue`: the record-type
// text as it stands, or an expression compiled against them. A text that is
// neither is a usage error: nullopt after the reason was printed.
std::optional<RecordFilter> compileFilterOption(const std::string& text, const LayoutCatalogue& catalogue);
// Hands --filter TEXT to the view (before a file is opened), compiled against
// its layouts; false (the reason printed) when it is no filter.
bool applyFilterOption(CMyTarvikView& view, const std::string& text);
// "--port N" (repeatable): which traffic of a packet capture is Vx; without
// `ports`, the views made afterwards take them.
CLI::Option* addCapturePortsOption(CLI::App& command, std::vector<std::uint16_t>& ports);
CLI::Option* addCapturePortsOption(CLI::App& command);
// A server address: dotted IPv4 or "localhost" (made 127.0.0.1).
CLI::Validator hostAddress();
// A port: wholly digits, 1..65535.
CLI::Validator portNumber();

// Outputs. Every file a command writes is written whole (a failure leaves the
// old file or none), is never one of the command's inputs, and replaces an
// existing file only after "--force".
CLI::Option* addForceOption(CLI::App& command, bool& force);
// Checks an output before any work is done; false after a line on stderr
// saying why it cannot be written.
bool outputAllowed(const std::string& out, const std::vector<std::string>& inputs, bool force);
// The line for an output that could not be written: "tarvik-cli: could not
// write NAME: REASON", or that it exists and --force replaces it.
void sayNotWritten(const std::string& out, const std::string& reason, bool exists);

// The problems of the layout definition files, a line each on stderr; true when there were any.
bool sayLayoutProblems(const std::vector<LayoutProblem>& problems);

// "1 row", "3 rows": a count with its noun in the right number.
std::string counted(std::size_t n, std::string_view one, std::string_view many);

} // namespace tarvik::cli
