#pragma once
// The remote control panel without its window: the command list, the parameter
// rows, ticket, tracking number, target sonars and head choice, and the
// building and sending of commands. The desktop form and tarvik-cli show and
// fill this state; the script player drives it the same way.

#include "core/bytes.h"
#include "core/vxtime.h"
#include "remote/convert.h"
#include "remote/definitions.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvik::remote {

// One parameter row: "Data Description", "Data Value", "Type".
class CCurrentRemoteControlUIStrings {
public:
    virtual ~CCurrentRemoteControlUIStrings() = default;
    std::string description;
    std::string value;
    std::string type;
};

inline constexpr std::size_t kParameterRows = 200;
inline constexpr std::size_t kVisibleRows = 6;
// More list pieces than this in one value are refused: no command needs them,
// and each piece may cost a message.
inline constexpr std::size_t kMaxListPieces = 65'536;

// A sonar a command can be sent to (one entry of the device list).
struct CommandTarget {
    std::uint32_t deviceId = 0;
    std::uint16_t enumerator = 0;
    bool idh = false;  // a two-headed system: the head choice sets the system enumerator
};

enum class HeadSelect { Port, Starboard, Both };

// Where built records go: the sender cuts each into packets and sends them.
class CommandSender {
public:
    virtual ~CommandSender() = default;
    virtual void sendRecord(const Bytes& record) = 0;
};

// The state of one visible row's controls (rows 0 to 5).
struct VisibleRowState {
    bool valueShown = false;
    bool valueReadOnly = false;
    bool showValuesButton = false;
};

class CRemoteControlPanel {
public:
    CRemoteControlPanel(const RemoteCommandCatalogue& catalogue, MessageFn message);

    // The command list: one line per definition, alphabetical ignoring case.
    const std::vector<std::string>& commandLines() const { return lines_; }
    // The catalogue changed (layouts reloaded): the list is made again and the
    // selection follows its command's identifier (none when it is gone).
    void refreshCommandLines();
    std::optional<std::size_t> selection;
    // The first line that begins with `prefix`, ignoring case (the list's own search).
    std::optional<std::size_t> findLine(std::string_view prefix) const;
    // The identifier of the selected line (the text before its first blank); empty without a selection.
    std::string selectedIdentifier() const;

    // A new selection of the command list: rows, types, presets and "auto" markers.
    void loadCommandRows();
    // The lines of the "Show Values" list for a row: field name, an empty line,
    // bit fields and value list; empty when the row has neither.
    std::vector<std::string> showValues(std::size_t row) const;
    // The dialog's caption for the selected command (its title).
    std::string showValuesCaption() const;
    // Builds one record per target and sends them. Every value is checked
    // first: a value that is not exactly one of its parameter's format, a
    // missing one or a list that does not fit stops the command with a message
    // before anything is sent. Each target sonar gets one record, at its own
    // address. False when nothing was sent.
    bool buildAndSendCommand();
    // Checks the values of the selected command as buildAndSendCommand does
    // (its refusals shown as messages), without building or sending records;
    // the automatic counts are filled in. True when it could be sent.
    bool checkValues();
    // The number of sonars a command goes to: the checked ones, or every one.
    std::size_t targetCount() const;
    // Records sent so far, counted over the panel's life.
    std::size_t sentRecords = 0;

    std::array<CCurrentRemoteControlUIStrings, kParameterRows> rows;
    std::array<VisibleRowState, kVisibleRows> visibleRows{};
    std::string ticket;
    std::string trackingNumber;
    bool scriptActive = false;
    HeadSelect head = HeadSelect::Both;
    std::vector<CommandTarget> devices;
    std::vector<bool> checked;  // per device; nothing checked makes every device a target

    CommandSender* sender = nullptr;
    // Set while the output record file is written: receives a copy of every sent record.
    std::function<void(const Bytes&)> copyToOutputFile;
    // Sources of time and chance; replaceable for tests.
    std::function<VxTIME()> localTime;
    std::function<unsigned()> random;

    const RemoteCommandCatalogue& catalogue() const { return catalogue_; }
    void message(std::string_view text) const {
        ++messagesShown;
        show(text);
    }
    // Where the command comes from while a script plays it ("FILE:LINE: "),
    // put before each of its messages so that a refused value names its line.
    std::string messagePlace;
    // Messages the panel has shown that stop a command (conversion notes not counted).
    mutable std::size_t messagesShown = 0;

private:
    void show(std::string_view text) const {
        if (!message_) return;
        if (messagePlace.empty()) message_(text);
        else message_(messagePlace + std::string(text));
    }
    bool anyChecked() const;
    std::uint16_t systemEnumerator(const CommandTarget& target) const;
    // Ticket and tracking number (nullopt when the tracking number is empty); nullopt after a refusal.
    std::optional<std::pair<std::uint32_t, std::optional<std::uint32_t>>> headerNumbers() const;
    // The converted parameters of `def` from the rows; nullopt after a message that stops the command.
    std::optional<Bytes> parameterBytes(const CRemoteControlDefinition& def, bool showMessages);
    Bytes buildRecord(std::uint32_t number, bool remoteCommand, const CommandTarget& target, std::uint32_t ticket,
                      std::optional<std::uint32_t> tracking, const Bytes& parameters) const;

    const RemoteCommandCatalogue& catalogue_;
    MessageFn message_;
    std::vector<std::string> lines_;
};

// The text the panel shows for a command whose parameters the catalogue does not know.
inline constexpr const char* kParametersUnknown = "The parameters of this command are not known to this catalogue";
// What tarvik-cli commands adds to the line of such a command.
inline constexpr const char* kParametersNotKnownMark = "  [parameters not known]";

} // namespace tarvik::remote
