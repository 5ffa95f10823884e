// tarvik-cli commands, send and play: the command catalogue, sending one
// command as the remote control panel does, and playing a script file. Both
// use the panel and the script player of the window; with --dry-run the
// records go into a record file instead of to a server.

#include "app/tarvik_view.h"
#include "core/frame.h"
#include "core/whole_file_output.h"
#include "decode/layout_loader.h"
#include "net/request_records.h"
#include "net/socket_receiver.h"
#include "net/socket_sender.h"
#include "remote/definitions.h"
#include "remote/packet_sender.h"
#include "remote/script.h"
#include "app/controls.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/live_session.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

namespace tarvik::cli {

namespace {

// A number of decimal digits only that fits T.
template <typename T>
bool wholeNumber(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && ec == std::errc{} &&
           stop == end;
}

bool parseDevice(const std::string& text, remote::CommandTarget& target) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    std::string rest = text.substr(colon + 1);
    const auto second = rest.find(':');
    if (second != std::string::npos) {
        if (rest.substr(second + 1) != "idh") return false;
        target.idh = true;
        rest.resize(second);
    }
    std::uint32_t id = 0;
    std::uint16_t enumerator = 0;
    if (!wholeNumber(text.substr(0, colon), id) || !wholeNumber(rest, enumerator)) return false;
    target.deviceId = static_cast<std::uint32_t>(id);
    target.enumerator = static_cast<std::uint16_t>(enumerator);
    return true;
}

// The record file of a dry run: the records stream into a temporary file
// beside FILE, which becomes FILE only when the run wrote at least one record
// and every write succeeded. An existing FILE is replaced only with --force,
// and never when it is one of the run's inputs.
class DryRunFile {
public:
    // False (with the reason on stderr) when FILE cannot be written.
    bool open(const std::string& path, bool force, const std::vector<std::string>& inputs) {
        // A write past the file size limit fails with EFBIG instead of ending the program.
        std::signal(SIGXFSZ, SIG_IGN);
        for (const std::string& input : inputs) {
            if (sameExistingFile(path, input)) {
                std::fprintf(stderr, "could not write %s: it is the input %s\n", path.c_str(), input.c_str());
                return false;
            }
        }
        if (!out_.open(path, force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No)) {
            std::fprintf(stderr, "could not write %s: %s%s\n", path.c_str(), out_.error().c_str(),
                         out_.targetExists() ? " (--force replaces it)" : "");
            return false;
        }
        return true;
    }
    void write(const Bytes& record) {
        if (failed_) return;
        failed_ = !out_.write(record);
        ++records_;
    }
    // Makes the file when records were written (without records it says so
    // on stdout and makes none). False, with the reason on stderr, on a failure.
    bool finish(const std::vector<std::string>& inputs) {
        const std::string& path = out_.target();
        if (failed_) {
            std::fprintf(stderr, "could not write %s: %s\n", path.c_str(), out_.error().c_str());
            return false;
        }
        if (records_ == 0) {
            std::printf("no record sent: %s not written\n", path.c_str());
            return true;
        }
        // A nested script read on the way is an input too.
        for (const std::string& input : inputs) {
            if (sameExistingFile(path, input)) {
                std::fprintf(stderr, "could not write %s: it is the input %s\n", path.c_str(), input.c_str());
                return false;
            }
        }
        if (!out_.commit()) {
            std::fprintf(stderr, "could not write %s: %s\n", path.c_str(), out_.error().c_str());
            return false;
        }
        return true;
    }

private:
    WholeFileOutput out_;
    std::size_t records_ = 0;
    bool failed_ = false;
};

// Prints each record it is given, then sends it to the server or writes it to the dry-run file.
class ConsoleSender final : public remote::CommandSender {
public:
    static void print(const Bytes& record) {
        FrameView f(record);
        std::printf("sent %lu\t%lu bytes\tdevice %lu:%u\n", static_cast<unsigned long>(f.recordType()),
                    static_cast<unsigned long>(f.size()), static_cast<unsigned long>(f.deviceId()),
                    static_cast<unsigned>(f.systemEnumerator()));
        std::fflush(stdout);
    }
    void sendRecord(const Bytes& record) override {
        print(record);
        if (live) live->sendRecord(record);
        else if (file) file->write(record);
    }
    remote::CommandSender* live = nullptr;
    DryRunFile* file = nullptr;
};

// The time of a dry run: the time it started plus the waits it did not make,
// so its records are stamped as a live run would stamp them.
class DryRunClock {
public:
    DryRunClock() : start_(net::CRequestRecordPreparation::localTimeNow()) {}
    // Waits beyond a century all stamp the same time (a script may ask for millions of long sleeps).
    void wait(unsigned milliseconds) { waited_ = std::min(waited_ + milliseconds, kMaxWaited); }
    VxTIME now() const {
        VxTIME t = start_;
        double seconds = static_cast<double>(t.seconds) + static_cast<double>(waited_) / 1000.0;
        std::uint64_t minutes = static_cast<std::uint64_t>(seconds / 60.0);
        t.seconds = static_cast<float>(seconds - 60.0 * static_cast<double>(minutes));
        minutes += t.minutes;
        t.minutes = static_cast<std::uint8_t>(minutes % 60);
        std::uint64_t hours = minutes / 60 + t.hours;
        t.hours = static_cast<std::uint8_t>(hours % 24);
        std::uint64_t day = hours / 24 + t.day;
        int year = t.year;
        while (day > (isLeapYear(year) ? 366u : 365u)) day -= isLeapYear(year++) ? 366u : 365u;
        t.day = static_cast<std::uint16_t>(day);
        t.year = static_cast<std::uint16_t>(year);
        return t;
    }

private:
    static constexpr std::uint64_t kMaxWaited = 100ull * 366 * 86'400'000;
    VxTIME start_;
    std::uint64_t waited_ = 0;
};

// The window's view on the console (tarvik-cli listen's session): its panel
// builds the commands, its script player plays the scripts, its connection
// ("Start Communicating", without the initial subscription) sends them, and
// the rows its list lists are printed as they come.
class Link {
public:
    Link() : viewSender_(session_.view.remotePanel().sender) {
        // The records that end the subscriptions are sent by the connection itself: printed alike.
        subscriptionEnds_ = session_.view.connection().subscriptionEndSent.subscribe(
            [](const Bytes& frame) { ConsoleSender::print(frame); });
    }
    ~Link() { session_.view.OnViewClosing(); }
    bool open(const std::string& host, const std::string& port, bool udp) {
        ConsolePort& console = session_.port;
        session_.view.connection().udp = udp;
        console.setText(controls::kTransportLabel, udp ? "UDP" : "TCP");
        console.setText(controls::kAddress, host);
        console.setText(controls::kPort, port);
        session_.view.setRecordFilter(RecordFilter{});
        console.setChecked(controls::kDisableInitialSubscription, true);
        session_.view.OnStartCommunicating();
        return session_.view.connection().connected();
    }
    // The view's own sender: through the connection, as "Send Remote Control" sends.
    remote::CommandSender& sender() { return *viewSender_; }
    CMyTarvikView& view() { return session_.view; }
    ConsolePort& port() { return session_.port; }
    void listen(double seconds) { session_.run(seconds); }

private:
    LiveSession session_;
    remote::CommandSender* viewSender_;
    Subscription subscriptionEnds_;
};

struct CommonOptions {
    std::vector<remote::CommandTarget> devices;
    bool devicesGiven = false;
    std::optional<std::string> dryRun;
    bool force = false;
    bool udp = false;
    double seconds = 1.0;
};

// The options send and play share.
void addCommonOptions(CLI::App& command, const std::shared_ptr<CommonOptions>& o, const std::string& deviceText) {
    command.add_flag("--udp", o->udp, "use UDP instead of TCP");
    options::repeatable(command.add_option_function<std::vector<std::string>>(
            "--device",
            [o](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    remote::CommandTarget target;
                    parseDevice(text, target);
                    o->devices.push_back(target);
                }
                o->devicesGiven = !o->devices.empty();
            },
            deviceText))
        ->type_name("ID:ENUM")
        ->check(CLI::Validator(
            [](std::string& text) {
                remote::CommandTarget target;
                return parseDevice(text, target) ? std::string() : text + " is not ID:ENUM or ID:ENUM:idh";
            },
            ""));
    command
        .add_option("--dry-run", o->dryRun,
                    "write the records into a record file instead of sending them\n"
                    "(no server needed; \"tarvik-cli report FILE --all\" shows them decoded);\n"
                    "the file is made only when records were written, never onto an input")
        ->type_name("FILE");
    command.add_flag("--force", o->force, "with --dry-run, replace an existing FILE");
    addSecondsOption(command, o->seconds,
                     "afterwards, print what the server sent back for S seconds,\n0 to 1000000 (default 1)");
    addLayoutsOption(command);
}

std::uint32_t seed() { return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()); }

// The device list of a dry run: the simulator's sonar, ticked, then the
// general and the dummy device, as a connection to vxcenter-sim lists them.
const std::vector<remote::CommandTarget> kDryRunDevices = {{7125, 0, false}, {net::kGeneralDeviceId, 0, false}, {0, 0, false}};

void setUpPanel(remote::CRemoteControlPanel& panel, ConsoleSender& sender, const CommonOptions& o) {
    panel.devices = o.devices;
    panel.checked.assign(panel.devices.size(), false);
    if (panel.devices.empty() && o.dryRun) {
        panel.devices = kDryRunDevices;
        panel.checked = {true, false, false};
    }
    panel.sender = &sender;
    panel.localTime = [] { return net::CRequestRecordPreparation::localTimeNow(); };
    std::srand(seed());
    panel.random = [] { return static_cast<unsigned>(std::rand()) & 0x7FFFu; };
}

// The command catalogue of the layout definition files the window loads (the
// built-in ones, the user's folder, --layouts); their problems are shown as one
// message, as the window shows them.
remote::RemoteCommandCatalogue loadCommandCatalogue(ConsolePort& console) {
    const LayoutOptions& options = CMyTarvikView::layoutOptions();
    const LoadedDefinitions loaded = loadLayouts(options.directory, options.userDirectory);
    if (!loaded.problems.empty()) {
        std::string text;
        for (const LayoutProblem& p : loaded.problems) text += (text.empty() ? "" : "\n") + p.message();
        console.messageBox(text);
    }
    return remote::remoteCommandCatalogue(loaded);
}


int runCommands(const std::optional<std::string>& id) {
    ConsolePort console;
    const auto catalogue = loadCommandCatalogue(console);
    remote::CRemoteControlPanel panel(catalogue, {});
    const int listed = console.messages.empty() ? kExitOk : kExitMessageShown;
    if (!id) {
        // A command whose parameters are not known says so after its title.
        for (const auto& line : panel.commandLines())
            std::printf("%s%s\n", line.c_str(),
                        catalogue.lookup(line.substr(0, line.find(' '))).parametersKnown ? "" : remote::kParametersNotKnownMark);
        return listed;
    }
    if (!catalogue.contains(*id)) {
        std::fprintf(stderr, "tarvik-cli: no command %s in the catalogue\n", id->c_str());
        return kExitUsage;
    }
    const auto& def = catalogue.lookup(*id);
    if (!def.parametersKnown) {
        std::printf("%s (%zu parameters)\n", remote::kParametersUnknown, def.parameterCount());
        return listed;
    }
    for (const auto& p : def) {
        std::string preset;
        if (p.preset) {
            char b[64];
            std::snprintf(b, sizeof b, "%g", p.presetValue);
            preset = b;
        }
        std::string values, bits;
        for (const auto& e : p.enumeration)
            values += (values.empty() ? "" : "; ") + std::to_string(e.value) + "=" + e.text;
        for (const auto& b : p.bitFields)
            bits += (bits.empty() ? "" : "; ") + std::to_string(b.firstBit) + "-" + std::to_string(b.lastBit) + "=" +
                    b.description;
        std::printf("%s\t%s\t%d\t%s\t%s\t%s\t%s\n", p.name.c_str(), p.format.c_str(), p.number, preset.c_str(),
                    p.countFieldName.c_str(), values.c_str(), bits.c_str());
    }
    return listed;
}

struct SendOptions : CommonOptions {
    std::vector<std::string> words;
    std::string head = "both";
    std::optional<std::string> ticket;
    std::optional<std::string> tracking;
};

// The given devices (or those of a dry run) take the place of the connection's.
// The form's sonar selector shows them, ticked as the panel has them: the view
// reads its ticks back when it plays.
void takeTargets(Link& link, const CommonOptions& o, const std::vector<remote::CommandTarget>& devices,
                 const std::vector<bool>& checked) {
    remote::CRemoteControlPanel& panel = link.view().remotePanel();
    if (!o.dryRun && !o.devicesGiven) {
        link.view().takeDeviceList();  // the server's list, its sonars ticked
        return;
    }
    panel.devices = devices;
    panel.checked = checked;
    std::vector<std::string> names;
    for (const auto& device : devices) names.push_back(std::to_string(device.deviceId));
    link.port().setItems(controls::kSonarsForCommand, names);
    for (std::size_t i = 0; i < names.size(); ++i)
        link.port().setItemChecked(controls::kSonarsForCommand, i, i < checked.size() && checked[i]);
}

int runSend(const SendOptions& o) {
    std::vector<std::string> words = o.words;
    remote::HeadSelect head = remote::HeadSelect::Both;
    if (o.head == "port") head = remote::HeadSelect::Port;
    else if (o.head == "starboard") head = remote::HeadSelect::Starboard;
    const std::optional<std::string>& ticket = o.ticket;
    const std::optional<std::string>& tracking = o.tracking;
    std::string host, port;
    const bool addressGiven = !o.dryRun || (!words.empty() && words[0].find('.') != std::string::npos);
    if (addressGiven) {
        if (words.size() < 3) options::usageError("HOST PORT ID are required (or --dry-run FILE ID)");
        host = words[0];
        port = words[1];
        words.erase(words.begin(), words.begin() + 2);
    }

    // The view's panel builds the command (the view has shown the definition files' problems).
    Link link;
    ConsolePort& console = link.port();
    CMyTarvikView& view = link.view();
    remote::CRemoteControlPanel& panel = view.remotePanel();
    const remote::RemoteCommandCatalogue& catalogue = view.remoteCommands();
    ConsoleSender sender;
    setUpPanel(panel, sender, o);
    const auto devices = panel.devices;
    const auto checked = panel.checked;
    panel.head = head;
    const std::string& id = words[0];
    const auto line = panel.findLine(id + " ");
    if (!line) {
        std::fprintf(stderr, "tarvik-cli: no command %s in the catalogue\n", id.c_str());
        return kExitUsage;
    }
    panel.selection = line;
    if (ticket) panel.ticket = *ticket;
    const std::size_t messagesBefore = console.messages.size();
    panel.loadCommandRows();
    if (console.messages.size() != messagesBefore) return kExitMessageShown;
    const auto& def = catalogue.lookup(id);
    const std::size_t values = words.size() - 1;
    if (values > def.size()) {
        std::fprintf(stderr, "tarvik-cli: command %s takes %zu values, %zu given\n", id.c_str(), def.size(), values);
        return kExitUsage;
    }
    for (std::size_t i = 0; i < values; ++i)
        if (words[i + 1] != "auto" || panel.rows[i].value != "auto") panel.rows[i].value = words[i + 1];
    if (tracking) panel.trackingNumber = *tracking;

    // Every value is checked before a connection is made or a file begun.
    if (!panel.checkValues()) return kExitMessageShown;
    const bool shownBefore = !console.messages.empty();
    DryRunFile file;
    if (o.dryRun) {
        if (!file.open(*o.dryRun, o.force, {})) return kExitMessageShown;
        sender.file = &file;
    } else {
        if (!link.open(host, port, o.udp)) return kExitMessageShown;
        sender.live = &link.sender();
    }
    takeTargets(link, o, devices, checked);
    const std::size_t messagesBeforeSending = console.messages.size();
    const bool sent = panel.buildAndSendCommand();
    const bool shownWhileSending = console.messages.size() != messagesBeforeSending;
    if (!o.dryRun) link.listen(o.seconds);
    if (o.dryRun && !file.finish({})) return kExitMessageShown;
    return sent && !shownBefore && !shownWhileSending ? kExitOk : kExitMessageShown;
}

// What a script's directives do on the console: each effect is printed; the
// view does the rest.
class ConsoleDirectives {
public:
    ConsoleDirectives(Link& link, bool live, ConsoleSender& sender) : link_(link), live_(live), sender_(sender) {}
    bool operator()(const CMyTarvikView::ScriptDirective& directive) {
        using Kind = CMyTarvikView::ScriptDirective::Kind;
        switch (directive.kind) {
        case Kind::WriteOutputFile:
            writing_ = !writing_;
            say(writing_ ? "write output file on" : "write output file off");
            return true;
        case Kind::DisableInitialSubscription:
            say(directive.value != 0 ? "disable initial subscription on" : "disable initial subscription off");
            return true;
        case Kind::ScrollLimit:
            say("limit records " + std::to_string(directive.value));
            if (live_ && directive.value > 0)
                link_.view().pipeline().setScrollLimit(static_cast<std::uint32_t>(directive.value));
            return true;
        case Kind::StartCommunicating: say("start communicating"); return true;
        case Kind::StopVolatileConnections:
            say("end subscriptions");
            if (live_) return false;  // the view ends them while connected
            endSubscriptions();
            return true;
        case Kind::Terminate: say("terminate"); return true;
        }
        return false;
    }
    static void say(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    // A dry run writes what a connection sends when a script ends the
    // subscriptions: a 1052 to every device of its list.
    void endSubscriptions() {
        for (const remote::CommandTarget& device : link_.view().remotePanel().devices)
            sender_.sendRecord(link_.view().connection().requests().endAllSubscriptions(device.deviceId,
                                                                                       device.enumerator));
    }

private:
    Link& link_;
    bool live_;
    ConsoleSender& sender_;
    bool writing_ = false;
};

struct PlayOptions : CommonOptions {
    std::string script;
    std::optional<std::string> host;
    std::optional<std::string> port;
};

int runPlay(const PlayOptions& o) {
    if (!o.dryRun && (!o.host || !o.port)) options::usageError("--host and --port are required (or --dry-run FILE)");
    const auto& host = o.host;
    const auto& port = o.port;

    // The view's script player plays the file (the view has shown the definition files' problems).
    Link link;
    ConsolePort& console = link.port();
    CMyTarvikView& view = link.view();
    remote::CRemoteControlPanel& panel = view.remotePanel();
    ConsoleSender sender;
    setUpPanel(panel, sender, o);
    const auto devices = panel.devices;
    const auto checked = panel.checked;
    DryRunClock clock;
    if (o.dryRun) {
        panel.localTime = [&clock] { return clock.now(); };
        // A dry run waits for nothing: it says the wait and stamps the later
        // records as if it had waited. (A live play's waits run the session's
        // arrival timer, so what the server sends meanwhile is listed.)
        console.waitHook = [&clock](unsigned ms) {
            clock.wait(ms);
            ConsoleDirectives::say("wait " + std::to_string(ms) + " ms");
        };
    }
    ConsoleDirectives directives(link, !o.dryRun, sender);
    view.scriptDirective = std::ref(directives);
    // Every line is checked before a connection is made or a file begun.
    if (!view.checkScriptFile(o.script)) return kExitMessageShown;
    DryRunFile file;
    if (o.dryRun) {
        if (!file.open(*o.dryRun, o.force, {o.script})) return kExitMessageShown;
        sender.file = &file;
    } else {
        if (!link.open(*host, *port, o.udp)) return kExitMessageShown;
        sender.live = &link.sender();
    }
    takeTargets(link, o, devices, checked);
    view.playScriptFile(o.script);
    if (!o.dryRun) link.listen(o.seconds);
    if (o.dryRun && !file.finish(view.scriptFilesRead())) return kExitMessageShown;
    return console.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace

Command addCommands(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "commands", "list the remote-control commands, or the parameters of one",
        {"tarvik-cli commands [--id ID] [--layouts DIR]",
         "Lists the command catalogue as the remote control panel's command list shows it:\n"
         "one line \"ID  TITLE\" per command, in list order; the line of a command whose\n"
         "parameters the catalogue does not describe ends with \"  [parameters not known]\".\n"
         "With --id, the parameters of one command, one per line, tab-separated: name, format,\n"
         "width, preset (empty when none), count field (empty when none), value list\n"
         "(\"value=text\" joined by \"; \"), bit fields (\"first-last=text\" joined by \"; \").\n"
         "A command whose parameters the catalogue does not know prints that instead, with its\n"
         "parameter count; such a command is never sent.\n"
         "The catalogue is that of the layout definition files the window loads: the built-in\n"
         "ones, the user's layout folder, then those of --layouts DIR.\n\n"
         "Exit status: 0 listed, 1 listed but the definition files had problems (on stderr),\n"
         "2 usage error or unknown ID."});
    auto id = std::make_shared<std::optional<std::string>>();
    command->add_option("--id", *id, "the parameters of command ID")->type_name("ID");
    addLayoutsOption(*command);
    return {command, [id] { return runCommands(*id); }};
}

Command addSend(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "send", "build a remote-control command and send it (or write it with --dry-run)",
        {"tarvik-cli send HOST PORT ID [VALUE]... [--device ID:ENUM[:idh]]... [--head port|starboard|both]\n"
         "                [--ticket T] [--tracking N] [--udp] [--seconds S]\n"
         "tarvik-cli send --dry-run FILE ID [VALUE]... [options]",
         "Builds command ID with one VALUE per parameter (a list parameter takes its values as\n"
         "one argument, \"7000, 7004, 7027\"; a count parameter may be given as \"auto\"), exactly as\n"
         "\"Send Remote Control\" does, and sends one record per device to the server at HOST and\n"
         "PORT (TCP, or UDP with --udp), connected as \"Start Communicating\" connects (without\n"
         "the initial subscription). Then prints each row the record list lists for S seconds\n"
         "(default 1), as \"tarvik-cli listen\" does. With --dry-run, HOST and PORT may be left out.\n\n"
         "Each record sent is printed as \"sent TYPE<TAB>SIZE bytes<TAB>device ID:ENUM\". Commands\n"
         "with seven or more parameters work only in scripts (tarvik-cli play).\n"
         "Exit status: 0 sent, 1 a message was shown (nothing or not everything sent), 2 usage."});
    auto o = std::make_shared<SendOptions>();
    command->add_option("ARGUMENTS", o->words, "HOST PORT ID [VALUE]..., HOST and PORT left out with --dry-run")
        ->required();
    addCommonOptions(*command, o,
                     "a target sonar (repeatable; default: the sonars of the server's\n"
                     "device list, or with --dry-run 7125:0, as vxcenter-sim lists it);\n"
                     "\":idh\" marks a two-headed one, whose system enumerator comes\n"
                     "from --head (both: its own enumerator)");
    command->add_option("--head", o->head, "port, starboard or both (default both)")
        ->type_name("H")
        ->check(CLI::IsMember({"port", "starboard", "both"}));
    command->add_option("--ticket", o->ticket, "the ticket (default: a random number, as when a command is chosen)")
        ->type_name("T");
    command->add_option("--tracking", o->tracking, "the tracking number (default: command, 7500, enumerator, device)")
        ->type_name("N");
    return {command, [o] { return runSend(*o); }};
}

Command addPlay(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "play", "play a script file against a server (or into a record file with --dry-run)",
        {"tarvik-cli play SCRIPT --host HOST --port PORT [--udp] [--device ID:ENUM[:idh]]...\n"
         "tarvik-cli play SCRIPT --dry-run FILE [--device ID:ENUM[:idh]]...",
         "Plays a script file (*.vxs) as \"Play Script File\" does, against the server at HOST and\n"
         "PORT, or into a record file with --dry-run. Lines may end with CR, CR LF or LF. The\n"
         "connection is made as \"Start Communicating\" makes it (without the initial subscription)\n"
         "before the first line; START and BEGIN then have nothing more to do.\n"
         "END, STOP and QUIT end all subscriptions of the devices (a 1052 to each device of the\n"
         "list, in a dry run too) and end the script; TERM ends it too. Each record sent and each\n"
         "directive's effect is printed on stdout:\n"
         "\"sent TYPE<TAB>SIZE bytes<TAB>device ID:ENUM\", \"limit records N\",\n"
         "\"disable initial subscription on|off\", \"end subscriptions\", \"terminate\", ...\n"
         "Messages go to stderr.\n\n"
         "Before connecting, every line is checked: a value that is not exactly one of its\n"
         "parameter's format, a missing or extra value, a bracket left open or never opened,\n"
         "a nested script that cannot be opened stops the play before anything is sent; the\n"
         "message begins with the script's name and line (FILE:LINE: ...). One play (nested\n"
         "scripts included) sends at most 50000 records and plays at most 1000000 lines. A dry\n"
         "run waits for nothing: it prints \"wait N ms\" and stamps the later records as if it\n"
         "had waited.\n\n"
         "Exit status: 0 played, 1 a message was shown (nothing sent when the check found a\n"
         "problem), 2 usage error."});
    auto o = std::make_shared<PlayOptions>();
    command->add_option("SCRIPT", o->script, "the script file (*.vxs)")->required();
    command->add_option("--host", o->host, "the server's address")->type_name("HOST");
    command->add_option("--port", o->port, "the server's port")->type_name("PORT");
    addCommonOptions(*command, o,
                     "the device list (repeatable; default: the server's device list with its\n"
                     "sonars ticked, or with --dry-run the list vxcenter-sim gives: 7125:0\n"
                     "ticked, then 7000:0 and 0:0)");
    return {command, [o] { return runPlay(*o); }};
}

} // namespace tarvik::cli
