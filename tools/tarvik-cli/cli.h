#pragma once
// Shared pieces of tarvik-cli's subcommands.

#include "app/memory_port.h"
#include "app/print_pdf.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitMessageShown = 1;
inline constexpr int kExitUsage = 2;

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
    bool printFailed = false;
    void printReport(const std::vector<std::string>& lines, bool preview) override {
        MemoryPort::printReport(lines, preview);
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::string error;
        if (!writeReportPdf(pdfPath, lines, local, error)) {
            printFailed = true;
            std::fprintf(stderr, "tarvik-cli: could not write %s: %s\n", pdfPath.c_str(), error.c_str());
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

// A small argument reader: positional words and "--name value" / "--flag" options.
class Args {
public:
    Args(std::vector<std::string> words) : words_(std::move(words)) {}

    bool flag(std::string_view name);
    // The value after `name`; sets `error` when the option is given without one.
    std::optional<std::string> option(std::string_view name);
    std::vector<std::string> options(std::string_view name);  // every occurrence
    // The `count` values after `name`, when it is given; sets `error` when they are missing.
    std::optional<std::vector<std::string>> optionValues(std::string_view name, std::size_t count);
    // What remains once the options have been taken; an unknown "--x" is an error.
    std::vector<std::string> positionals();
    bool wantsHelp() const;
    bool error = false;
    std::string errorText;

private:
    std::vector<std::string> words_;
};

bool parseUnsigned(std::string_view text, unsigned long long& out);

// Takes "--layouts DIR" when given: the views made afterwards load the layout
// definition files of DIR. False (usage printed) when DIR is missing.
bool takeLayoutsOption(Args& args);

struct Command {
    const char* name;
    const char* summary;
    const char* usage;  // full help text
    int (*run)(Args& args);
};

int runList(Args& args);
int runGenerate(Args& args);
int runReport(Args& args);
int runReceive(Args& args);
int runListen(Args& args);
int runCatalogue(Args& args);
int runCondense(Args& args);
int runDump(Args& args);
int runPrint(Args& args);
int runImage(Args& args);
int runCheck(Args& args);
int runCommands(Args& args);
int runSend(Args& args);
int runPlay(Args& args);

extern const char* const kListUsage;
extern const char* const kGenerateUsage;
extern const char* const kReportUsage;
extern const char* const kReceiveUsage;
extern const char* const kListenUsage;
extern const char* const kCatalogueUsage;
extern const char* const kCondenseUsage;
extern const char* const kDumpUsage;
extern const char* const kPrintUsage;
extern const char* const kImageUsage;
extern const char* const kCheckUsage;
extern const char* const kCommandsUsage;
extern const char* const kSendUsage;
extern const char* const kPlayUsage;

} // namespace tarvik::cli
