#pragma once
// The view logic of the main form: owner of the run-time state and carrier of
// the commands. Everything the desktop provides is reached through the ViewPort.

#include "app/arrival_pipeline.h"
#include "app/connection.h"
#include "app/settings.h"
#include "app/view_port.h"
#include "core/bytes.h"
#include "core/record_file.h"
#include "core/record_index.h"
#include "decode/catalogue/catalogue.h"
#include "decode/report.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

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
    void OnLimitRecords() { pipeline_.OnLimitRecords(); }
    void OnAddressKillFocus() { connection_.OnAddressKillFocus(); }
    void OnStartCommunicating();
    void OnStopVolatileConnections() { connection_.OnStopVolatileConnections(); }
    void OnSendRequestRecords() { connection_.OnSendRequestRecords(); }
    void OnSendRecordRequest() { connection_.OnSendRecordRequest(); }
    void OnTestRecord() { connection_.OnTestRecord(); }
    // The record number the list keeps for a row (live: arrival number; file: index position).
    std::uint32_t rowRecordNumber(std::size_t row) const;

    // Imagery: records handed to the sonar sector display. Until the display
    // exists the hook is empty and `imageryEnabled` false.
    bool imageryEnabled = false;
    std::function<void(const ImageryKey&, const Bytes&)> displayRecord;
    std::function<void()> resetImagery;

private:
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
    NoRemoteCommandDefinitions noRemoteCommands_;
    RecordReporter reporter_{catalogue_, noRemoteCommands_};
    ReportHistory reportHistory_;

    // Live records. The pipeline is declared before the connection that feeds it.
    CArrivalPipeline pipeline_{port_};
    CConnection connection_{port_, settings_, pipeline_};
};

} // namespace tarvik
