#pragma once
// Shared pieces of tarvik-cli's subcommands.

#include "app/memory_port.h"

#include <cstdio>
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
    // The dialog of a failed connection: its message, and the check box unticked.
    bool connectFailed(const ConnectFailedRequest& request) override {
        MemoryPort::connectFailed(request);
        std::fprintf(stderr, "%s\n", request.message.c_str());
        return false;
    }
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

extern const char* const kListUsage;
extern const char* const kGenerateUsage;
extern const char* const kReportUsage;
extern const char* const kReceiveUsage;
extern const char* const kListenUsage;
extern const char* const kCatalogueUsage;

} // namespace tarvik::cli
