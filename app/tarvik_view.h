#pragma once
// The view logic of the main form: owner of the run-time state and carrier of
// the commands. Everything the desktop provides is reached through the ViewPort.

#include "app/settings.h"
#include "app/view_port.h"
#include "core/bytes.h"
#include "core/record_file.h"
#include "core/record_index.h"
#include "decode/catalogue/catalogue.h"
#include "decode/report.h"
#include "remote/definition_files.h"
#include "remote/panel.h"
#include "remote/script.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

// Which device and record type a record handed to the imagery belongs to.
struct ImageryKey {
    std::uint32_t deviceId = 0;
    std::uint32_t systemEnumerator = 0;
    std::uint32_t recordType = 0;
};

class CMyTarvikView {
public:
    CMyTarvikView(ViewPort& port, SettingsStore& settings);
    ~CMyTarvikView();
    CMyTarvikView(const CMyTarvikView&) = delete;
    CMyTarvikView& operator=(const CMyTarvikView&) = delete;

    ViewPort& port() { return port_; }
    SettingsStore& settings() { return settings_; }

    // File -> "Read Vx File".
    void OnReadVxFile();
    // Opens `path` as the list's source without the dialog (command line, tests).
    // Returns false when it could not be opened (the message was shown).
    bool openRecordFile(const std::string& path);
    // (Re)builds the record index and the shown rows from the open record file.
    void LoadRecordFile();

    // The record list, asked for one row and one column at a time.
    std::size_t recordRowCount() const;
    std::string rowText(std::size_t row, int column) const;
    // The bytes of the record shown in `row` (read from the file in file-source mode).
    std::optional<Bytes> rowRecord(std::size_t row) const;

    bool fileSourceMode() const { return fileSourceMode_; }
    const std::string& currentRecordFileName() const { return recordFileName_; }
    const RecordIndex& recordIndex() const { return recordIndex_; }
    // Index position of each shown row.
    std::size_t shownIndexPosition(std::size_t row) const;

    // Selecting a row of the record list: its record's report fills the report list.
    void OnRowSelectionChanged(std::size_t row);
    // The record types the record filter offers, ascending (from the layout catalogue).
    std::vector<std::uint32_t> filterRecordTypes() const;
    // Fills the report list with the report of one stored entry (a frame or a
    // marker text); `recordNumber` is the number the record list keeps for it.
    void showReport(ByteSpan entry, std::uint32_t recordNumber);
    const LayoutCatalogue& layoutCatalogue() const { return catalogue_; }
    RecordReporter& recordReporter() { return reporter_; }
    const ReportHistory& reportHistory() const { return reportHistory_; }
    // The record filter's drop-down closed: the rows are listed again under its text.
    void OnRecordFilterClosed();
    // The window is closing (also File -> "Exit"): timer and live communication stop.
    void OnViewClosing();

    // The remote control panel and scripts (view_remote.cpp).
    void OnSelchangeRemoteCommand();
    // "Show Values" of a visible row (0 to 5).
    void OnShowValues(std::size_t row);
    void OnSendRemoteControl();
    // Scripts -> "Play Script File".
    void OnPlayScriptFile();
    // Plays a script file without the dialog (command line, tests); false when
    // it could not be opened or stopped at a bracket.
    bool playScriptFile(const std::string& path);
    // Asks a running script to stop before its next line or at its next wait.
    void stopScript() { scriptStop_ = true; }
    bool scriptRunning() const { return scriptRunning_; }
    bool scriptStopRequested() const { return scriptStop_; }
    remote::CRemoteControlPanel& remotePanel() { return remotePanel_; }
    const remote::RemoteCommandCatalogue& remoteCommands() const { return remoteCommands_; }
    // Shows the panel's fields in the form's controls / reads them back.
    void showRemoteFields();
    void readRemoteFields();

    // Hooks of the remote panel and the scripts, for the window and the parts
    // of the tool built elsewhere; empty ones are skipped.
    // The "Remote Control Construction" dialog: caption and list lines.
    std::function<void(const std::string&, const std::vector<std::string>&)> showValuesDialog;
    // A script's wait: the window keeps painting meanwhile; by default the thread sleeps.
    std::function<void(unsigned milliseconds)> scriptWait;
    // Between two lines of a script: the window handles its pending events.
    std::function<void()> scriptIdle;
    // Script directives that reach the connection, the pipeline and the output file.
    std::function<void()> startCommunicating;          // START, BEGIN
    std::function<void()> writeOutputFile;             // RECORD
    std::function<void(int records)> setScrollLimit;   // LIMITRECORDS
    std::function<void()> terminateWindow;             // TERM: the window closes

    // Imagery: records handed to the sonar sector display. Until the display
    // exists the hook is empty and `imageryEnabled` false.
    bool imageryEnabled = false;
    std::function<void(const ImageryKey&, const Bytes&)> displayRecord;
    std::function<void()> resetImagery;

private:
    void setUpRemotePanel();
    void stopVolatileConnections();
    void stopWritingOutputFile();
    void endTextOutputFile();
    void preloadImagery();
    void showRecordFileInTitle(const std::string& path);

    ViewPort& port_;
    SettingsStore& settings_;

    // File source.
    bool fileSourceMode_ = false;
    std::string recordFileName_;
    RecordFile recordFile_;
    RecordIndex recordIndex_;
    // Shown rows: positions into the record index. `allShown_` stands for the
    // identity list when the filter lets every entry through, which saves four
    // bytes per frame on large files.
    bool allShown_ = false;
    std::vector<std::uint32_t> shownRows_;

    // Record decoding: the layout catalogue is built once, here, and only read afterwards.
    LayoutCatalogue catalogue_ = buildLayoutCatalogue();
    // The command catalogue, also used by the report for remote-control bodies.
    remote::RemoteCommandCatalogue remoteCommands_ =
        remote::buildRemoteCommandCatalogue([this](std::string_view m) { port_.messageBox(m); });
    RecordReporter reporter_{catalogue_, remoteCommands_};
    ReportHistory reportHistory_;

    // Remote control and scripts.
    class ScriptActions;
    remote::CRemoteControlPanel remotePanel_{remoteCommands_, [this](std::string_view m) { port_.messageBox(m); }};
    std::unique_ptr<ScriptActions> scriptActions_;
    std::unique_ptr<remote::CScript> script_;
    bool scriptRunning_ = false;
    bool scriptStop_ = false;
    std::string scriptPath_;
};

} // namespace tarvik
