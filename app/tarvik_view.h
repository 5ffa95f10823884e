#pragma once
// The view logic of the main form: owner of the run-time state and carrier of
// the commands. Everything the desktop provides is reached through the ViewPort.

#include "app/output_writer.h"
#include "app/recent_files.h"
#include "app/pipeline_port_display.h"
#include "app/record_comparison.h"
#include "app/rules_pane.h"
#include "pipeline/arrival_pipeline.h"
#include "app/connection.h"
#include "app/layout_watch.h"
#include "app/record_columns.h"
#include "app/live_record_source.h"
#include "app/settings.h"
#include "app/view_port.h"
#include "capture/capture_source.h"
#include "core/bytes.h"
#include "core/condense.h"
#include "core/output_file.h"
#include "core/record_file.h"
#include "core/record_file_source.h"
#include "core/record_index.h"
#include "core/record_source.h"
#include "core/record_statistics.h"
#include "decode/catalogue/catalogue.h"
#include "decode/coverage.h"
#include "decode/layout_loader.h"
#include "decode/report.h"
#include "imagery/imagery_displays.h"
#include "imagery/imagery_key.h"
#include "decode/report_byte_map.h"
#include "expr/report_fields.h"
#include "plot/plot_model.h"
#include "remote/definitions.h"
#include "remote/panel.h"
#include "remote/script.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

// The file types File -> "Read Vx File" offers: record files and packet captures.
inline constexpr std::string_view kReadVxFileFilter =
    "VX Files (*.vxr)|*.vxr|Packet Captures (*.pcap *.pcapng)|*.pcap;*.pcapng|"
    "VX Files And Packet Captures (*.vxr *.pcap *.pcapng)|*.vxr;*.pcap;*.pcapng||";

// Where the layout definitions come from: the built-in files, the user's
// layout folder and the folder given with --layouts. Set before a view is made.
struct LayoutOptions {
    std::string directory;      // --layouts DIR (empty: none)
    bool userDirectory = true;  // load $XDG_CONFIG_HOME/Nerith/Tarvik/layouts
};

class CMyTarvikView {
public:
    // The options every view made afterwards loads its layouts with.
    static LayoutOptions& layoutOptions();

    CMyTarvikView(ViewPort& port, SettingsStore& settings);
    ~CMyTarvikView();
    CMyTarvikView(const CMyTarvikView&) = delete;
    CMyTarvikView& operator=(const CMyTarvikView&) = delete;

    ViewPort& port() { return port_; }
    SettingsStore& settings() { return settings_; }

    // File -> "Read Vx File".
    void OnReadVxFile();
    // "Compare With...": the file shown compared with a second recording
    // chosen in the open dialog; the list marks its rows, the report shows
    // the partner's beside the row's own. Another file shown ends it.
    void OnCompareWith();
    const std::optional<RecordComparison>& comparison() const { return comparison_; }
    // The mark of a listed row under the comparison (None without one).
    RecordComparison::Mark rowComparison(std::size_t row) const;
    // Opens `path` as the list's source without the dialog (recent files, a
    // dropped file, the command line, tests). While connected it first asks
    // whether to stop live communication (and the output file), as choosing
    // a file from the menu does; false when declined, or when it could not be
    // opened (the message was shown).
    // A packet capture (pcap, pcapng) is read as a record file is, its Vx
    // traffic taken apart into records (see capture/).
    bool openRecordFile(const std::string& path);
    // The ports whose traffic a capture's records come from; empty: every
    // stream that opens with a Vx packet. Views take the process's default
    // (tarvik-cli --port) when they are made.
    static std::vector<std::uint16_t>& defaultCapturePorts();
    std::vector<std::uint16_t> capturePorts = defaultCapturePorts();
    // (Re)builds the record index and the shown rows from the open record file.
    void LoadRecordFile();
    // Reading a record file goes on past a broken frame at the next sync
    // pattern, without asking first (tarvik-cli list --resync). Otherwise the
    // message that stops the list offers it.
    bool readPastDamage = false;

    // The source of the record list: a record file, the live connection or a
    // capture. The list asks it for one row and one column at a time.
    const RecordSource& source() const { return *source_; }
    std::size_t recordRowCount() const { return source_->rowCount(); }
    std::string rowText(std::size_t row, int column) const { return source_->rowText(row, column); }
    // The bytes of the record shown in `row` (a frame or a text row's text).
    std::optional<Bytes> rowRecord(std::size_t row) const { return source_->rowRecord(row); }

    // The list shows a file's records rather than live ones.
    bool fileSourceMode() const { return !source_->live(); }
    // The record file read last (also while the list has left it).
    const std::string& currentRecordFileName() const { return recordFileName_; }
    // The frames of the current source when it was indexed in one pass (empty for live records).
    const RecordIndex& recordIndex() const;

    // Selecting a row of the record list: its record's report fills the report list.
    void OnRowSelectionChanged(std::size_t row);
    // The record types the record filter offers, ascending (from the layout catalogue).
    std::vector<std::uint32_t> filterRecordTypes() const;
    // Fills the report list with the report of one stored entry (a frame or a
    // marker text); `recordNumber` is the number the record list keeps for it.
    // A captured record's report opens with the line of where and when it was seen.
    void showReport(ByteSpan entry, std::uint32_t recordNumber, const std::optional<RecordOrigin>& origin = {});
    // The lines of an entry's report as the report list would show them,
    // built without the list (nothing is shown, no message box).
    std::vector<std::string> reportLinesOf(ByteSpan entry, std::uint32_t recordNumber,
                                           const std::optional<RecordOrigin>& origin = {});
    const LayoutCatalogue& layoutCatalogue() const { return catalogue_; }
    // Everything the definition files gave, the command definitions included
    // (the catalogue itself has moved to layoutCatalogue()).
    const LoadedDefinitions& layoutDefinitions() const { return definitions_; }
    RecordReporter& recordReporter() { return reporter_; }
    const ReportHistory& reportHistory() const { return reportHistory_; }
    // The bytes pane: choosing a report line picks out the bytes it was decoded
    // from; clicking a byte chooses the line of the item it belongs to.
    void OnReportLineSelected(std::size_t line);
    void OnRecordByteClicked(std::size_t offset);
    const ReportByteMap& reportByteMap() const { return byteMap_; }

    // Layouts menu and the live reload of the layout files (view_layouts.cpp).
    // "Open Layouts Folder": makes the user's layout folder and shows it.
    void OnOpenLayoutsFolder();
    // "Reload Layouts" (F5): the definitions are loaded again at once; the
    // list, the filter, the selected row's report and its bytes follow.
    void OnReloadLayouts();
    // A watched layout folder or file changed (from the desktop's watcher):
    // the reload follows once the changes have paused.
    void OnLayoutFilesChanged() { layoutWatch_.changed(); }
    // The desktop's watcher of the layout folders (nullptr: none).
    void setLayoutWatcher(LayoutWatcher* watcher);
    LayoutWatch& layoutWatch() { return layoutWatch_; }
    // The folders user layouts load from: the user's folder, then --layouts DIR.
    std::vector<std::string> layoutFolders() const;
    // The lines of the "Layout Problems" pane after the last load.
    const std::vector<std::string>& layoutProblemLines() const { return layoutProblemLines_; }
    // After a reload, for what the window built from the catalogue (the
    // record filter's entries, the command list).
    std::function<void()> layoutsReloaded;
    // The report ends with a line on the bytes no item decoded (the window
    // and tarvik-cli report --coverage).
    bool reportCoverage = false;
    // Which bytes of the reported record no item decoded.
    const RecordCoverage& reportCoverageOfRecord() const { return coverage_; }

    // Record -> "Statistics": the counts per record type of the list's source,
    // the open record file (from its index) or the live stream.
    RecordStatistics sourceStatistics() const;
    // Counts a record that arrived live, at `now` on statisticsClock(). The
    // arrival pipeline calls it for every frame it takes, shown or not.
    void countLiveRecord(ByteSpan frame, double now) { liveStatistics_.add(frame, now); }
    void countLiveRecord(ByteSpan frame) { countLiveRecord(frame, statisticsClock()); }
    // Seconds on a steady clock: the time base of the live counts and their rates.
    static double statisticsClock();
    const RecordStatistics& liveStatistics() const { return liveStatistics_; }
    // The record files read last, newest first (File -> recent files).
    RecentFiles& recentFiles() { return recentFiles_; }
    // The record filter's drop-down closed: the rows are listed again under
    // its text (the record-type choices replace an expression in force).
    void OnRecordFilterClosed();
    // The filter expression box was confirmed (Return): an expression over
    // the records' fields lists the rows it passes; an empty box goes back to
    // the record-type choices. False, with the reason beside the box and the
    // rows left as they were, when the expression does not compile.
    bool OnFilterExpressionEntered();
    // Why the expression in the box does not compile; empty while it does.
    const std::string& filterProblem() const { return filterProblem_; }
    // The filter as a value (an expression compiled by the caller), used
    // instead of the record filter's text from now on; the shown rows follow.
    void setRecordFilter(RecordFilter filter);
    // The filter the list shows: the value given, or the record filter's text.
    RecordFilter recordFilter() const;

    // The record list's own columns after Type, Size and Number (view_columns.cpp),
    // remembered in the settings.
    const RecordColumns& recordColumns() const { return columns_; }
    // The cell of custom column `column` in `row`.
    std::string recordColumnText(std::size_t row, std::size_t column) const;
    // Adds a column of a field name or value expression; false (after a
    // message box saying why) when it cannot.
    bool addRecordColumn(std::string_view text);
    void OnRemoveRecordColumn(std::size_t column);
    // The field a line of the report list shows (nullopt: none), for its menu.
    std::optional<expr::ReportLineField> reportLineField(std::size_t line);
    // The report list's "Apply as Column": a column of the line's field.
    bool OnApplyAsColumn(std::size_t line);
    // "Apply as Filter": "NAME == VALUE" of the line into the filter
    // expression box, and the rows it passes listed.
    bool OnApplyAsFilter(std::size_t line);

    // The plot pane (view_columns.cpp): the series `y` over the rows the list
    // shows (a file or a capture), against time or ping number; a failure
    // says why (a series that does not compile, live records).
    Result<plot::Plot> plotShownRows(const std::vector<std::string>& y, plot::Axis x);
    // A point of the plot was clicked: its row is selected and reported.
    void OnPlotPointClicked(std::size_t row);

    // The Rules pane (view_rules.cpp): a test profile judged over the live
    // rows, made on first use with the profile remembered from the last run.
    RulesPane& rules();
    // Its "Load Profile..." button: the file dialog, then the profile.
    void OnLoadProfile();
    // A rule of the pane clicked: its latest failing row is selected and
    // reported, while the list still shows it.
    void OnRuleClicked(std::size_t rule);
    // The window is closing (also File -> "Exit"): timer and live communication stop.
    void OnViewClosing();

    // Live communication is running (the connection's state, kept by the pipeline).
    bool communicating() const { return pipeline_.communicating; }
    // The clock of the UTC times in output file names (tests set it).
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };

    // The output record file: the form's "Write Vx Output File" button, File ->
    // "Assign Output File Folder", and the hand-over of each listed frame and
    // each sent record.
    COutputFileWriter& outputWriter() { return outputWriter_; }
    void OnWriteOutputFile() { outputWriter_.OnWriteOutputFile(); }
    void OnAssignOutputFolder() { outputWriter_.OnAssignOutputFolder(); }

    // Text outputs: Record -> "Write Current Record To Text File", "Close Text
    // Output File", "Dump All Shown To Text File"; File -> "Copy File To
    // Condensed File" with the separator of "Setup For Condensed File".
    void OnWriteCurrentRecord();
    void OnCloseTextOutput();
    void OnDumpAllShown();
    void OnCopyToCondensedFile();
    DataSeparator dataSeparator() const { return dataSeparator_; }
    void setDataSeparator(DataSeparator separator) { dataSeparator_ = separator; }
    const std::string& textOutputFileName() const { return textOutputName_; }
    // The dump or condensed file the last of those commands wrote (empty when none).
    const std::string& lastWrittenTextFile() const { return lastWrittenTextFile_; }
    // "Print Record": the lines of the report list to the printer (or its preview).
    void OnPrintRecord(bool preview = false);

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
    // The parameter rows of the chosen command, or the line that stands in for them.
    void showParameterRows();
    static constexpr std::string_view kChooseACommand = "Choose a command";
    static constexpr std::string_view kNoParameters = "This command has no parameters";
    // The connection's device list into the panel's targets (and the checks of the sonar selector).
    void takeDeviceList();
    void readSonarChecks();

    // A script's directives that reach beyond the form's controls. The hook,
    // when set, sees each one first and returns true when it has dealt with it
    // (tarvik-cli says what it would do; the window closes after TERM); otherwise
    // the view does what the form's own controls do. A script's waits and the
    // dialogs it opens go through the port.
    struct ScriptDirective {
        enum class Kind {
            StartCommunicating,          // START, BEGIN: "Start Communicating"
            WriteOutputFile,             // RECORD: "Write Vx Output File"
            ScrollLimit,                 // LIMITRECORDS (value: the records)
            DisableInitialSubscription,  // NOSUB (value 1), SUBSCRIBE (value 0)
            StopVolatileConnections,     // END, STOP, QUIT
            Terminate,                   // TERM: the window closes
        };
        Kind kind;
        int value = 0;
    };
    std::function<bool(const ScriptDirective&)> scriptDirective;
    // Checks every line of a script file (and of the scripts it plays) without
    // playing it; false after a message.
    bool checkScriptFile(const std::string& path);
    // The script files read since the view was made, each once, in the order
    // first read (the inputs of a play).
    const std::vector<std::string>& scriptFilesRead() const { return scriptFilesRead_; }
    // Live records: the arrival pipeline (list, history, filter, pause) and the
    // connection (receiver, sender, device list, subscriptions). Subscribers of
    // the pipeline (output writer, imagery) hook onto pipeline().
    CArrivalPipeline& pipeline() { return pipeline_; }
    const CArrivalPipeline& pipeline() const { return pipeline_; }
    CConnection& connection() { return connection_; }
    const CConnection& connection() const { return connection_; }
    // Timer ticks of the port; the arrival timer goes to the pipeline.
    void OnTimer(int id);
    void OnPauseContinue() { pipeline_.OnPauseContinue(); }
    // Menu "Limit Records In Scrolling List": the dialog, then the check.
    void OnLimitRecords();
    void OnAddressKillFocus() { connection_.OnAddressKillFocus(); }
    void OnStartCommunicating();
    void OnStopVolatileConnections() { connection_.OnStopVolatileConnections(); }
    void OnSendRequestRecords() { connection_.OnSendRequestRecords(); }
    void OnSendRecordRequest() { connection_.OnSendRecordRequest(); }
    void OnTestRecord() { connection_.OnTestRecord(); }
    // The record number the list keeps for a row (live: arrival number; file: index position).
    std::uint32_t rowRecordNumber(std::size_t row) const { return source_->rowRecordNumber(row); }

    // Imagery: the echogram and the sector picture (Qt-free models; the window
    // only draws them). Enabled, they are a sink of the pipeline and get the
    // records the list shows, the first records of a file or capture read and
    // the record reported. Views that show no imagery leave it disabled, and
    // the displays are then left alone.
    void enableImagery(bool on);
    bool imageryEnabled() const { return imagerySink_.active(); }
    CImageryDisplays& imagery() { return imagery_; }
    const CImageryDisplays& imagery() const { return imagery_; }
    // The echogram drawn afresh from every shown row, first to last (a whole
    // file's waterfall rather than its first screenful).
    void drawShownRowsInEchogram();

private:
    void setUpRemotePanel();
    // Enables the form's buttons that act only on a connection ("Pause",
    // "Write Vx Output File", "Stop Volatile Connections") exactly while there is one.
    void showConnectionCommands();
    void reloadLayouts();
    void showLayoutProblems();
    // After a report is made: its coverage, and its closing line when asked for.
    void noteCoverage(Report& report, ByteSpan entry);
    // True (and a message shown) while a script plays.
    bool refusedWhileScriptPlays();
    void stopVolatileConnections();
    void stopWritingOutputFile();
    void endTextOutputFile();
    std::optional<std::string> textOutputFolder();
    bool createTextFile(const std::string& folder, const std::string& base, OutputFile& file);
    bool writeText(OutputFile& file, std::string_view text);
    // The list shows live records (the pipeline's rows) again.
    void useLiveSource();
    void setSource(std::shared_ptr<RecordSource> source);
    void setIndexedSource(std::shared_ptr<IndexedRecordSource> source);
    // Opens `path` through openSource and lists it, with the window's
    // messages; `opening` a file anew (not reading the shown one again) also
    // enters it in the recent files, the title, and ends the text output file.
    bool loadSource(const std::string& path, bool opening);
    // While connected: asks whether reading `path` may stop live
    // communication and does so; false when declined. True when not connected.
    bool stoppedLiveForFile(const std::string& path);
    void showRecordFileInTitle(const std::string& path);

    ViewPort& port_;
    SettingsStore& settings_;

    // The record list's source: the live rows until a file is read.
    std::shared_ptr<RecordSource> source_;
    // The same source when it was indexed in one pass (a file or a capture), else null.
    std::shared_ptr<IndexedRecordSource> indexed_;
    std::string recordFileName_;

    COutputFileWriter outputWriter_;

    // Text outputs.
    OutputFile textOutput_;
    std::string textOutputName_;
    DataSeparator dataSeparator_ = DataSeparator::FixedWidth;
    std::string lastWrittenTextFile_;

    // Record decoding: the layout catalogue is built once, here, and only read
    // afterwards. Without layout files of the user's, the built-in layouts stay
    // in the program's image and are unpacked as records ask for them.
    LoadedDefinitions definitions_ = loadLayoutsForLookups(layoutOptions().directory, layoutOptions().userDirectory);
    LayoutCatalogue catalogue_ = std::move(definitions_.catalogue);
    // The command catalogue of the same files, also used by the report for
    // the bodies of remote-control records.
    remote::RemoteCommandCatalogue remoteCommands_ = remote::remoteCommandCatalogue(definitions_);
    RecordReporter reporter_{catalogue_, remoteCommands_};
    std::optional<RecordFilter> filterValue_;
    std::string filterProblem_;
    RecordColumns columns_ = RecordColumns::remembered(settings_, catalogue_);
    // The entry reported last and its lines, for the report list's menu.
    Bytes reportedEntry_;
    std::vector<std::string> reportedLines_;
    void listUnderFilter();  // the shown rows, listed again under recordFilter()
    void showFilterProblem(std::string problem);
    void recompileFilter();  // after the layouts changed
    ReportHistory reportHistory_;
    std::optional<RecordComparison> comparison_;
    // The partner's report lines under the comparison, appended to `shown`.
    void addPartnerReport(std::vector<ReportLine>& shown, std::uint32_t recordNumber);
    ReportByteMap byteMap_;
    RecordStatistics liveStatistics_;
    RecentFiles recentFiles_{settings_};
    std::vector<WalkedField> walkedFields_;
    CImageryDisplays imagery_;
    RecordCoverage coverage_;
    std::vector<std::string> layoutProblemLines_;
    LayoutWatcher* layoutWatcher_ = nullptr;
    LayoutWatch layoutWatch_{[this](unsigned ms) { port_.startTimer(kLayoutReloadTimer, ms); },
                             [this] { port_.stopTimer(kLayoutReloadTimer); }, [this] { reloadLayouts(); }};

    // Remote control and scripts.
    class ScriptActions;
    remote::CRemoteControlPanel remotePanel_{remoteCommands_, [this](std::string_view m) { port_.messageBox(m); }};
    std::unique_ptr<ScriptActions> scriptActions_;
    std::unique_ptr<remote::CommandSender> remoteSender_;
    std::unique_ptr<remote::CScript> script_;
    bool scriptRunning_ = false;
    bool scriptStop_ = false;
    std::string scriptPath_;
    std::vector<std::string> scriptFilesRead_;
    // Live records. The pipeline is declared before the connection that feeds it.
    PipelinePortDisplay pipelineDisplay_{port_};
    CArrivalPipeline pipeline_{pipelineDisplay_};
    CConnection connection_{port_, settings_, pipeline_};
    std::unique_ptr<RulesPane> rules_;  // after the pipeline it subscribes to
    // The view's handlers of the connection's events.
    std::vector<Subscription> connectionEvents_;
    // The view's own sinks of the pipeline (statistics, output writer), and
    // the imagery's while it is enabled.
    std::vector<CArrivalPipeline::Subscription> sinks_;
    CArrivalPipeline::Subscription imagerySink_;
};

} // namespace tarvik
