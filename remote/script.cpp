#include "remote/script.h"

#include "core/text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tarvik::remote {

namespace {

template <typename... A>
std::string format(const char* fmt, A... args) {
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    std::string s(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    std::snprintf(s.data(), s.size() + 1, fmt, args...);
    return s;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string stoppedWhileExamining(const std::string& path, const std::string& line) {
    return "Script " + path + " Stopped While Examining Line: \"" + line + "\"";
}

const std::string& field(const std::vector<std::string>& fields, std::size_t i) {
    static const std::string none;
    return i < fields.size() ? fields[i] : none;
}

// The directive words, in the order they are tested.
enum class Directive { Pace, Sleep, Record, Devices, LimitRecords, NoSub, Subscribe, Script, Start, End, Term, Echo, None };

Directive directiveOf(std::string_view first) {
    static const std::pair<const char*, Directive> kTable[] = {
        {"PACE", Directive::Pace},       {"SLEEP", Directive::Sleep},
        {"RECORD", Directive::Record},   {"DEVICES", Directive::Devices},
        {"LIMITRECORDS", Directive::LimitRecords}, {"NOSUB", Directive::NoSub},
        {"SUBSCRIBE", Directive::Subscribe}, {"SCRIPT", Directive::Script},
        {"START", Directive::Start},     {"BEGIN", Directive::Start},
        {"END", Directive::End},         {"STOP", Directive::End},
        {"QUIT", Directive::End},        {"TERM", Directive::Term},
        {"ECHO", Directive::Echo},
    };
    for (const auto& [word, d] : kTable)
        if (startsWith(first, word)) return d;
    return Directive::None;
}

} // namespace

std::vector<std::string> scriptLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    for (auto& line : lines) std::replace(line.begin(), line.end(), '\t', ' ');
    return lines;
}

std::optional<std::string> ScriptHost::readScriptFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // Reads up to one byte past the limit, so a larger file is seen as such without
    // reading it whole. Read in pieces: nested scripts read small files thousands of
    // times, and a buffer of the full limit each time costs more than the play.
    std::string text;
    std::array<char, 16 * 1024> piece;
    while (text.size() <= kMaxScriptBytes) {
        const std::size_t want = std::min(piece.size(), kMaxScriptBytes + 1 - text.size());
        in.read(piece.data(), static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in.gcount());
        text.append(piece.data(), got);
        if (got < want) break;
    }
    return text;
}

bool CScript::playFile(const std::string& path) {
    panel_.scriptActive = true;
    bool result = false;
    const auto text = host_.readScriptFile(path);
    if (!text) {
        host_.messageBox("could not open the specified file " + path);
    } else if (text->size() > kMaxScriptBytes || checkScript(*text, path, NestedScripts::MayBeMissing)) {
        stopAll_ = false;
        result = playScript(*text, path);
    }
    panel_.scriptActive = false;
    return result;
}

namespace {

// The host of a check: messages and files are the real host's, the actions are not carried out.
class CheckingHost final : public ScriptHost {
public:
    explicit CheckingHost(ScriptHost& host) : host_(host) {}
    void messageBox(std::string_view text) override {
        ++messages;
        host_.messageBox(text);
    }
    void wait(unsigned) override {}
    bool stopRequested() override { return host_.stopRequested(); }
    void betweenLines() override { host_.betweenLines(); }
    void writeOutputFile() override {}
    void setDisableInitialSubscription(bool) override {}
    void setScrollLimit(int) override {}
    void startCommunicating() override {}
    void stopVolatileConnections() override {}
    void terminate() override {}
    std::optional<std::string> readScriptFile(const std::string& path) override { return host_.readScriptFile(path); }
    std::size_t messages = 0;

private:
    ScriptHost& host_;
};

// The fixed text, then on a line of its own which file and what the limit is.
std::string tooLargeText(const std::string& path, std::size_t size) {
    return "The script file is much too large to be reasonable\n" + shownName(path) + ": " + std::to_string(size) +
           " bytes, above the limit of " + std::to_string(kMaxScriptBytes) + " bytes";
}

} // namespace

bool CScript::checkFile(const std::string& path) {
    const bool wasActive = panel_.scriptActive;
    panel_.scriptActive = true;
    bool result = false;
    const auto text = host_.readScriptFile(path);
    if (!text) host_.messageBox("could not open the specified file " + path);
    else if (text->size() > kMaxScriptBytes) host_.messageBox(tooLargeText(path, text->size()));
    else result = checkScript(*text, path, NestedScripts::MustOpen);
    panel_.scriptActive = wasActive;
    return result;
}

bool CScript::checkScript(std::string_view text, const std::string& path, NestedScripts nested) {
    CRemoteControlPanel panel = panel_;
    panel.sender = nullptr;
    panel.copyToOutputFile = nullptr;
    panel.messagesShown = 0;
    CheckingHost host(host_);
    CScript check(panel, host);
    check.checking_ = true;
    check.nestedMustOpen_ = nested == NestedScripts::MustOpen;
    check.playScript(text, path);
    return host.messages == 0 && panel.messagesShown == 0;
}

bool CScript::withinBudget(std::size_t used, std::size_t cap, const std::string& path, const char* what) {
    if (used <= cap) return true;
    host_.messageBox(format("Script %s stopped: one play %s at most %zu", path.c_str(), what, cap));
    stopAll_ = true;
    return false;
}

bool CScript::playScript(std::string_view text, const std::string& path) {
    if (text.size() > kMaxScriptBytes) {
        host_.messageBox(tooLargeText(path, text.size()));
        return false;
    }
    if (depth_ == 0) {
        stopAll_ = false;
        playRecords_ = playLines_ = 0;
        playBytes_ = text.size();
    }
    unsigned pace = 0;
    int number = 0;
    for (const auto& line : scriptLines(text)) {
        lineNumber_ = ++number;
        if (stopAll_) break;
        if (!withinBudget(++playLines_, kMaxPlayLines, path, "plays lines")) break;
        host_.betweenLines();
        if (host_.stopRequested()) {
            host_.messageBox("Script " + path + " stopped by the user");
            stopAll_ = true;
            break;
        }
        const Flow flow = playLine(line, path, pace);
        if (flow == Flow::Bracket) return false;
        if (flow == Flow::EndAll) stopAll_ = true;
        if (flow != Flow::Next) break;
    }
    return true;
}

CScript::Flow CScript::playLine(const std::string& line, const std::string& path, unsigned& pace) {
    ++lineCounter_;
    panel_.ticket = format("%lu", static_cast<unsigned long>(lineCounter_));
    host_.showPanelFields();
    std::string_view body = line;
    if (auto c = body.find("//"); c != std::string_view::npos) body = body.substr(0, c);
    std::vector<std::string> fields = splitList(body);
    if (fields.empty()) return Flow::Next;
    fields[0] = upper(fields[0]);
    const std::string& first = fields[0];
    // A comment or empty line does nothing, so it takes no pace either.
    if (first.empty()) return Flow::Next;
    if (pace >= 1 && pace <= 29'999) {
        host_.wait(pace);
        if (host_.stopRequested()) {  // asked during the wait: the line is not played
            host_.messageBox("Script " + path + " stopped by the user");
            return Flow::EndAll;
        }
    }

    Flow flow = Flow::Next;
    switch (directiveOf(first)) {
    case Directive::Pace: {
        const std::int32_t n = parseDecimal32(field(fields, 1));
        pace = n >= 1 && n <= 29'999 ? static_cast<unsigned>(n) : 0;
        break;
    }
    case Directive::Sleep: {
        const std::int32_t n = parseDecimal32(field(fields, 1));
        if (n > 0) host_.wait(static_cast<unsigned>(n));
        break;
    }
    case Directive::Record: host_.writeOutputFile(); break;
    case Directive::Devices: flow = devices(fields); break;
    case Directive::LimitRecords:
        host_.setScrollLimit(std::clamp(parseDecimal32(field(fields, 1)), 20, 200));
        break;
    case Directive::NoSub: host_.setDisableInitialSubscription(true); break;
    case Directive::Subscribe: host_.setDisableInitialSubscription(false); break;
    case Directive::Script:
        if (!field(fields, 1).empty()) flow = nestedScript(fields[1], path);
        break;
    case Directive::Start: host_.startCommunicating(); break;
    case Directive::End:
        host_.stopVolatileConnections();
        flow = Flow::EndScript;
        break;
    case Directive::Term:
        host_.terminate();
        flow = Flow::EndAll;
        break;
    case Directive::Echo: flow = eventMessage(1, field(fields, 1), 1, path); break;
    case Directive::None: flow = commandLine(fields, line, path); break;
    }
    host_.showPanelFields();
    return flow;
}

std::string CScript::place(const std::string& path) const {
    return shownName(path) + ":" + std::to_string(lineNumber_) + ": ";
}

CScript::Flow CScript::send(const std::string& path) {
    // A check counts one record per command when the sonars are not known yet.
    const std::size_t records = std::max<std::size_t>(panel_.targetCount(), checking_ ? 1 : 0);
    if (!withinBudget(playRecords_ + records, kMaxPlayRecords, path, "sends records")) return Flow::EndAll;
    // In a nested script, the panel's messages about this command name the
    // script and line it came from (the top script's messages stay the panel's own).
    if (depth_ > 0) panel_.messagePlace = place(path);
    if (checking_) {
        panel_.checkValues();
        playRecords_ += records;
    } else {
        const std::size_t before = panel_.sentRecords;
        panel_.buildAndSendCommand();
        playRecords_ += panel_.sentRecords - before;
    }
    panel_.messagePlace.clear();
    return Flow::Next;
}

CScript::Flow CScript::commandLine(const std::vector<std::string>& fields, const std::string& line,
                                   const std::string& path) {
    const std::string& first = fields[0];
    std::string id;
    std::size_t valuesFrom = 1;
    const bool listHasFirst = panel_.findLine(first).has_value();
    if (startsWith(first, "7500") && !listHasFirst) {
        const std::string& second = field(fields, 1);
        id = second.substr(0, second.find(' '));
        valuesFrom = 2;
    } else if (!listHasFirst) {
        host_.messageBox(stoppedWhileExamining(path, line));
        return Flow::EndScript;
    } else {
        id = first;
    }
    const auto found = id.empty() ? std::nullopt : panel_.findLine(id);
    // The list's prefix search may find a line for a text that is no identifier
    // (100 begins 1000); only an exact identifier names a definition.
    if (!found || !panel_.catalogue().contains(id)) {
        host_.messageBox(stoppedWhileExamining(path, line) + ", Command not in Remote Control List (a)");
        return Flow::EndScript;
    }
    panel_.selection = found;
    panel_.loadCommandRows();
    const CRemoteControlDefinition& def = panel_.catalogue().lookup(id);
    const std::size_t p = def.parameterCount();
    if (valuesFrom + p > fields.size()) {
        host_.messageBox(format("Required Item Count=%u,  Supplied Count=%u (a)", static_cast<unsigned>(valuesFrom + p),
                                static_cast<unsigned>(fields.size())));
        host_.messageBox(stoppedWhileExamining(path, line));
        return Flow::EndScript;
    }
    std::size_t f = valuesFrom;
    for (std::size_t i = 0; i < def.size() && i < kParameterRows && f < fields.size(); ++i, ++f) {
        if (def[i].format != "repeat" && fields[f].find_first_of("[]") != std::string::npos) {
            host_.messageBox("Script " + path + " Stopped, found a bracket in a non-repeat field: \"" + line + "\"");
            return Flow::Bracket;
        }
        if (!def[i].countFieldName.empty()) {
            std::string joined = fields[f];
            for (std::size_t k = f + 1; k < fields.size(); ++k) joined.append(",").append(fields[k]);
            panel_.rows[i].value = std::move(joined);
            f = fields.size();
            break;
        }
        panel_.rows[i].value = fields[f];
    }
    if (f < fields.size()) {
        // A value the command has no parameter for would be lost without a word.
        host_.messageBox(format("Script %s Stopped While Examining Line: \"%s\", %zu values for the %zu parameters of %s",
                                path.c_str(), line.c_str(), fields.size() - valuesFrom, def.size(), id.c_str()));
        return Flow::EndScript;
    }
    host_.showPanelFields();
    return send(path);
}

CScript::Flow CScript::devices(const std::vector<std::string>& fields) {
    if (checking_) return Flow::Next;
    if (fields.size() % 2 == 0) {
        host_.messageBox("Bad DEVICES Command");
        return Flow::EndScript;
    }
    std::vector<bool> checks(panel_.devices.size(), false);
    bool allFound = true;
    for (std::size_t i = 1; i + 1 < fields.size(); i += 2) {
        const std::int32_t id = parseDecimal32(fields[i]);
        const std::int32_t enumerator = parseDecimal32(fields[i + 1]);
        bool found = false;
        for (std::size_t d = 0; d < panel_.devices.size(); ++d) {
            const auto& dev = panel_.devices[d];
            if (static_cast<std::int64_t>(dev.deviceId) == id && static_cast<std::int32_t>(dev.enumerator) == enumerator) {
                checks[d] = true;
                found = true;
            }
        }
        if (!found) {
            host_.messageBox(format("Didn't find device %d, Enum %d", id, enumerator));
            allFound = false;
        }
    }
    if (!allFound) return Flow::EndScript;
    panel_.checked = std::move(checks);
    return Flow::Next;
}

CScript::Flow CScript::nestedScript(const std::string& file, const std::string& path) {
    const auto text = host_.readScriptFile(file);
    if (!text) {
        // The check made before connecting finds it, and the play does not
        // begin; a play already under way sends the error events and goes on.
        if (checking_) {
            if (!nestedMustOpen_) return Flow::Next;
            host_.messageBox(place(path) + "the nested script " + file + " could not be opened");
            return Flow::EndAll;
        }
        const Flow flow = eventMessage(3, file, 2, path);
        host_.messageBox("Script " + path + ": the nested script " + file +
                         " could not be opened (sent as an error event message)");
        return flow;
    }
    if (depth_ + 1 >= kMaxScriptDepth) {
        host_.messageBox(format("Script %s not played: scripts nest at most %d deep", file.c_str(), kMaxScriptDepth));
        return Flow::EndAll;
    }
    playBytes_ += text->size();
    if (!withinBudget(playBytes_, kMaxPlayScriptBytes, file, "reads bytes of script files")) return Flow::EndAll;
    ++depth_;
    const int line = lineNumber_;
    playScript(*text, file);
    lineNumber_ = line;
    --depth_;
    return stopAll_ ? Flow::EndAll : Flow::Next;
}

CScript::Flow CScript::eventMessage(unsigned eventId, const std::string& text, int sends, const std::string& path) {
    const auto line = panel_.findLine("P7051");
    if (!line) return Flow::Next;
    panel_.selection = line;
    panel_.loadCommandRows();
    const CRemoteControlDefinition& def = panel_.catalogue().lookup("P7051");
    // The length sent never exceeds what the message field holds.
    std::size_t length = text.size();
    if (def.size() >= 5 && def[4].number > 0) length = std::min(length, static_cast<std::size_t>(def[4].number));
    panel_.rows[0].value = "0";
    panel_.rows[1].value = std::to_string(eventId);
    panel_.rows[2].value = std::to_string(length);
    panel_.rows[3].value = "19191";
    panel_.rows[4].value = text;
    host_.showPanelFields();
    for (int i = 0; i < sends; ++i)
        if (send(path) != Flow::Next) return Flow::EndAll;
    return Flow::Next;
}

} // namespace tarvik::remote
