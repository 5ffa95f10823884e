#pragma once
// The script player: plays a script file line by line through the remote
// control panel and the actions of the main form.

#include "remote/panel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::remote {

// What a script can do beyond the panel: the form's buttons, waits, the record
// list's limit. The window, tarvik-cli and the tests each provide one.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    virtual void messageBox(std::string_view text) = 0;
    // Waits `milliseconds`; a window keeps painting meanwhile. Returns early when
    // the user asks the script to stop.
    virtual void wait(unsigned milliseconds) = 0;
    // True once the user has asked the running script to stop.
    virtual bool stopRequested() { return false; }
    // Called before every line: a window handles its pending events here, so
    // that it repaints and can take a stop request even when the script never waits.
    virtual void betweenLines() {}
    virtual void writeOutputFile() = 0;                         // RECORD: the "Write Vx Output File" button
    virtual void setDisableInitialSubscription(bool on) = 0;   // NOSUB / SUBSCRIBE
    virtual void setScrollLimit(int records) = 0;              // LIMITRECORDS
    virtual void startCommunicating() = 0;                     // START / BEGIN
    virtual void stopVolatileConnections() = 0;                // END / STOP / QUIT
    virtual void terminate() = 0;                              // TERM: the window closes
    // The panel's fields changed: show them.
    virtual void showPanelFields() {}
    // The text of a script file, at most kMaxScriptBytes + 1 bytes of it;
    // nullopt when it cannot be opened. Only regular files are read (a device
    // or a pipe could block the window for ever).
    virtual std::optional<std::string> readScriptFile(const std::string& path);
};

inline constexpr std::size_t kMaxScriptBytes = 1'000'000;
inline constexpr int kMaxScriptDepth = 16;
// What one play may do, nested scripts included: a few small files that call
// each other can otherwise fan out to millions of records or lines.
inline constexpr std::size_t kMaxPlayRecords = 50'000;
inline constexpr std::size_t kMaxPlayLines = 1'000'000;
inline constexpr std::size_t kMaxPlayScriptBytes = 64u << 20;

// Split a script file's text into lines: tabs become blanks; a line ends at a
// carriage return, a carriage return and line feed, or a line feed alone.
std::vector<std::string> scriptLines(std::string_view text);

class CScript {
public:
    CScript(CRemoteControlPanel& panel, ScriptHost& host) : panel_(panel), host_(host) {}
    virtual ~CScript() = default;

    // Plays the script file at `path` as "Play Script File" does once a file is
    // chosen: marks a script active, opens it, checks it (as checkFile does,
    // but a nested script that cannot be opened is left to the play, which
    // sends error events for it and goes on) and plays it. False when it could
    // not be opened, was refused by the check or stopped at a bracket.
    bool playFile(const std::string& path);
    // Plays the script file at `path` through a copy of the panel without
    // sending, waiting or acting: every command line's values are checked,
    // nested scripts followed and the budgets of a play counted. The problems
    // are shown as the play would show them; false when there was any. The
    // sonars a DEVICES line names are not checked (they are known only once
    // connected). A nested script that cannot be opened is a problem: made
    // before connecting, the check stops a play that would send the lines
    // before it and then an error event for it.
    bool checkFile(const std::string& path);
    // Plays one script given as its text; `path` names it in messages and
    // places nested scripts. True when it ran or stopped normally. A play that
    // is not nested in another starts the budgets of one play afresh.
    bool playScript(std::string_view text, const std::string& path);

    // Numbers every line played in this program run; never reset.
    std::uint32_t lineCounter() const { return lineCounter_; }

private:
    enum class Flow { Next, EndScript, EndAll, Bracket };
    Flow playLine(const std::string& line, const std::string& path, unsigned& pace);
    bool withinBudget(std::size_t used, std::size_t cap, const std::string& path, const char* what);
    // Sends the panel's command unless that would pass the record budget.
    Flow send(const std::string& path);
    Flow commandLine(const std::vector<std::string>& fields, const std::string& line, const std::string& path);
    Flow devices(const std::vector<std::string>& fields);
    Flow nestedScript(const std::string& file, const std::string& path);
    Flow eventMessage(unsigned eventId, const std::string& text, int sends, const std::string& path);
    enum class NestedScripts { MustOpen, MayBeMissing };
    bool checkScript(std::string_view text, const std::string& path, NestedScripts nested);
    // "FILE:LINE: " of the line being played.
    std::string place(const std::string& path) const;

    CRemoteControlPanel& panel_;
    ScriptHost& host_;
    std::uint32_t lineCounter_ = 0;
    int depth_ = 0;
    int lineNumber_ = 0;  // of the line being played, in the script being played
    bool stopAll_ = false;
    bool checking_ = false;  // a check: nothing is sent, waited for or acted upon
    bool nestedMustOpen_ = false;  // a check before connecting: a nested script that cannot be opened is a problem
    // The budgets of the current play.
    std::size_t playRecords_ = 0;
    std::size_t playLines_ = 0;
    std::size_t playBytes_ = 0;
};

} // namespace tarvik::remote
