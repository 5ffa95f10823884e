#pragma once
// The view logic on the console for the live commands: the window's view, its
// connection and arrival pipeline on a console port, with the arrival timer
// run by a plain loop and every listed row printed as the list shows it.

#include "app/settings.h"
#include "app/tarvik_view.h"
#include "tools/tarvik-cli/cli.h"

#include <string>

namespace tarvik::cli {

class LiveSession {
public:
    // With `printRows` false the listed rows are not printed (a command that
    // judges them prints its own lines).
    explicit LiveSession(bool printRows = true);

    // Runs the arrival timer for `seconds`, or until the connection ends
    // without being asked to (then the lines queued for it are still listed),
    // or until an interrupt caught by catchInterrupts().
    void run(double seconds);
    // From now on SIGINT (Ctrl-C, to the process or its whole group), SIGTERM
    // and SIGHUP end run() at its next tick instead of the program, so that
    // the command finishes as it does at the end of its time. A second one
    // ends the program as usual. A signal ignored when the program started
    // (a background job of a script) stays ignored.
    static void catchInterrupts();
    // True once one of those signals arrived.
    static bool interrupted();
    // The row text the list shows for an entry: "TYPE\tSIZE bytes", or the text line.
    static std::string rowLine(const ListedEntry& entry);
    // From now on the listed rows are not printed (a command that only records them).
    void stopPrinting() { printer_.end(); }
    // True when the connection ended without being asked to; a line on stderr said so.
    bool lost() const { return lost_; }

    ConsolePort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
    std::optional<ListedEntry> lastListedFrame;

private:
    bool lost_ = false;
    Subscription connectionLost_;
    CArrivalPipeline::Subscription printer_;
};

} // namespace tarvik::cli
