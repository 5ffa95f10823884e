// The remote control panel and script files: the form's controls exchanged
// with the panel, the commands "Send Remote Control", "Show Values" and
// "Play Script File", and what a script's directives do in the window.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "net/request_records.h"

#include <algorithm>
#include <cstdlib>

namespace tarvik {

namespace {

// Type, Data Value, Data Description and "Show Values" of the six visible rows.
struct RowControls {
    int type, value, description, showValues;
};
constexpr RowControls kRowControls[remote::kVisibleRows] = {
    {1022, 1023, 1025, 1016}, {1024, 1026, 1027, 1021}, {1028, 1029, 1030, 1031},
    {1032, 1033, 1034, 1035}, {1036, 1037, 1038, 1039}, {1040, 1041, 1042, 1067},
};

// Built command records go out through the connection, which copies each sent
// record into the output record file while it is written.
class ConnectionSender final : public remote::CommandSender {
public:
    explicit ConnectionSender(CConnection& connection) : connection_(connection) {}
    void sendRecord(const Bytes& record) override { connection_.sendRecord(record); }

private:
    CConnection& connection_;
};

} // namespace

// What a script's directives do in the window. Its waits and its pauses
// between lines go through the port; the directives that reach beyond the
// form are offered to the view's hook first.
class CMyTarvikView::ScriptActions final : public remote::ScriptHost {
public:
    using Kind = ScriptDirective::Kind;
    explicit ScriptActions(CMyTarvikView& view) : view_(view) {}
    void messageBox(std::string_view text) override { view_.port_.messageBox(text); }
    void wait(unsigned ms) override {
        view_.port_.wait(ms, [this] { return view_.scriptStop_; });
    }
    bool stopRequested() override { return view_.scriptStop_; }
    void betweenLines() override { view_.port_.processEvents(); }
    void writeOutputFile() override {
        if (!handled(Kind::WriteOutputFile)) view_.OnWriteOutputFile();
    }
    void setDisableInitialSubscription(bool on) override {
        if (!handled(Kind::DisableInitialSubscription, on ? 1 : 0))
            view_.port_.setChecked(controls::kDisableInitialSubscription, on);
    }
    void setScrollLimit(int records) override {
        if (!handled(Kind::ScrollLimit, records) && records > 0)
            view_.pipeline_.setScrollLimit(static_cast<std::uint32_t>(records));
    }
    void startCommunicating() override {
        if (!handled(Kind::StartCommunicating)) view_.connection_.OnStartCommunicating();
    }
    void stopVolatileConnections() override {
        if (!handled(Kind::StopVolatileConnections)) view_.stopVolatileConnections();
    }
    void terminate() override {
        if (!handled(Kind::Terminate)) view_.OnViewClosing();
    }
    void showPanelFields() override { view_.showRemoteFields(); }
    std::optional<std::string> readScriptFile(const std::string& path) override {
        auto& read = view_.scriptFilesRead_;
        if (std::find(read.begin(), read.end(), path) == read.end()) read.push_back(path);
        return ScriptHost::readScriptFile(path);
    }

private:
    bool handled(Kind kind, int value = 0) {
        return view_.scriptDirective && view_.scriptDirective(ScriptDirective{kind, value});
    }
    CMyTarvikView& view_;
};

CMyTarvikView::CMyTarvikView(ViewPort& port, SettingsStore& settings)
    : port_(port), settings_(settings), outputWriter_(port, settings) {
    outputWriter_.clock = [this] { return clock(); };
    // Problems in definition files: all of them in one message, one per line.
    if (!definitions_.problems.empty()) {
        std::string text;
        for (const LayoutProblem& p : definitions_.problems) {
            if (!text.empty()) text += '\n';
            text += p.message();
        }
        port_.messageBox(text);
    }
    for (const std::string& problem : checkLayoutCatalogue(catalogue_)) port_.messageBox(problem);
    showLayoutProblems();
    if (!columns_.empty()) port_.setRecordColumns(columns_.titles());
    useLiveSource();
    // The view's own subscribers of live records: the statistics, the output
    // record file and the imagery displays.
    CArrivalPipeline::Subscriber own;
    own.arrived = [this](const Bytes& frame) { countLiveRecord(frame); };
    own.passed = [this](const Bytes& frame) { outputWriter_.WriteArrivedFrame(frame); };
    sinks_.push_back(pipeline_.subscribe(std::move(own)));
    connectionEvents_.push_back(
        connection_.recordSent.subscribe([this](const Bytes& frame) { outputWriter_.WriteSentRecord(frame); }));
    connectionEvents_.push_back(connection_.resetImagery.subscribe([this] { pipeline_.restartPictures(); }));
    connectionEvents_.push_back(connection_.communicationStarted.subscribe([this] {
        // Live rows replace the file's rows; the text output file ends.
        useLiveSource();
        endTextOutputFile();
    }));
    connectionEvents_.push_back(connection_.communicationEnded.subscribe([this] { stopWritingOutputFile(); }));
    // The device list changes as a connection starts and ends.
    connectionEvents_.push_back(connection_.devicesChanged.subscribe([this] {
        takeDeviceList();
        showConnectionCommands();
    }));
    connection_.loadRememberedAddresses();
    setUpRemotePanel();
    showConnectionCommands();
    showParameterRows();
    imagery_.StartUp();
}

CMyTarvikView::~CMyTarvikView() = default;

void CMyTarvikView::enableImagery(bool on) {
    if (!on) {
        imagerySink_.end();
        return;
    }
    if (imagerySink_.active()) return;
    // The imagery is a sink of the pipeline like the others: live records,
    // a shown file's or capture's first records and the reported record all
    // reach it there.
    CArrivalPipeline::Subscriber imagery;
    imagery.display = [this](const ImageryKey& key, ByteSpan frame) { imagery_.DisplayRecord(key, frame); };
    imagery.echogram = [this](const ImageryKey& key, ByteSpan frame) { imagery_.FeedEchogram(key, frame); };
    imagery.restart = [this] { imagery_.Reset(); };
    imagerySink_ = pipeline_.subscribe(std::move(imagery));
}

void CMyTarvikView::setUpRemotePanel() {
    remotePanel_.localTime = [] { return net::CRequestRecordPreparation::localTimeNow(); };
    remotePanel_.random = [] { return static_cast<unsigned>(std::rand()) & 0x7FFFu; };
    // One path for copies of sent commands: the connection's recordSent, so the
    // panel's own copy hook stays empty.
    remoteSender_ = std::make_unique<ConnectionSender>(connection_);
    remotePanel_.sender = remoteSender_.get();
    scriptActions_ = std::make_unique<ScriptActions>(*this);
    script_ = std::make_unique<remote::CScript>(remotePanel_, *scriptActions_);
}

void CMyTarvikView::takeDeviceList() {
    remotePanel_.devices.clear();
    for (const net::CSonarDevices& device : connection_.devices())
        remotePanel_.devices.push_back({device.deviceId, device.enumerator, device.idh != 0});
    readSonarChecks();
    port_.setEnabled(controls::kSendRemoteControl, connection_.connected());
}

void CMyTarvikView::readSonarChecks() {
    const std::size_t items = port_.items(controls::kSonarsForCommand).size();
    remotePanel_.checked.assign(remotePanel_.devices.size(), false);
    for (std::size_t i = 0; i < remotePanel_.devices.size() && i < items; ++i)
        remotePanel_.checked[i] = port_.itemChecked(controls::kSonarsForCommand, i);
}

void CMyTarvikView::readRemoteFields() {
    const std::string line = port_.text(controls::kRemoteCommand);
    remotePanel_.selection.reset();
    const auto& lines = remotePanel_.commandLines();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line) remotePanel_.selection = i;
    remotePanel_.ticket = port_.text(controls::kTicket);
    remotePanel_.trackingNumber = port_.text(controls::kTrackingNumber);
    for (std::size_t i = 0; i < remote::kVisibleRows; ++i)
        remotePanel_.rows[i].value = port_.text(kRowControls[i].value);
    readSonarChecks();
    remotePanel_.head = port_.checked(controls::kHeadPort)        ? remote::HeadSelect::Port
                        : port_.checked(controls::kHeadStarboard) ? remote::HeadSelect::Starboard
                                                                  : remote::HeadSelect::Both;
}

void CMyTarvikView::showRemoteFields() {
    const auto& lines = remotePanel_.commandLines();
    const auto& selection = remotePanel_.selection;
    port_.setText(controls::kRemoteCommand, selection && *selection < lines.size() ? lines[*selection] : "");
    port_.setText(controls::kTicket, remotePanel_.ticket);
    port_.setText(controls::kTrackingNumber, remotePanel_.trackingNumber);
    // A script's DEVICES line sets the checks of the sonar selector.
    const std::size_t items = port_.items(controls::kSonarsForCommand).size();
    for (std::size_t i = 0; i < remotePanel_.checked.size() && i < items; ++i)
        port_.setItemChecked(controls::kSonarsForCommand, i, remotePanel_.checked[i]);
    for (std::size_t i = 0; i < remote::kVisibleRows; ++i) {
        const auto& row = remotePanel_.rows[i];
        const auto& state = remotePanel_.visibleRows[i];
        port_.setText(kRowControls[i].type, row.type);
        port_.setText(kRowControls[i].value, row.value);
        port_.setText(kRowControls[i].description, row.description);
        port_.setEnabled(kRowControls[i].value, !state.valueReadOnly);
    }
    showParameterRows();
}

// Only the rows the chosen command fills are shown; before a choice, and for
// a command without parameters, one line says what to do instead.
void CMyTarvikView::showParameterRows() {
    const bool chosen = remotePanel_.selection.has_value();
    bool anyRow = false;
    for (std::size_t i = 0; i < remote::kVisibleRows; ++i) {
        const auto& state = remotePanel_.visibleRows[i];
        const bool shown = chosen && state.valueShown;
        anyRow = anyRow || shown;
        for (int control : {kRowControls[i].type, kRowControls[i].value, kRowControls[i].description})
            port_.setVisible(control, shown);
        port_.setVisible(kRowControls[i].showValues, shown && state.showValuesButton);
    }
    port_.setVisible(controls::kParameterTable, anyRow);
    // A command whose parameters the catalogue does not know says so in its first row's description.
    const std::string& unknown = remotePanel_.rows[0].description;
    port_.setText(controls::kRemoteCommandHint, !chosen          ? kChooseACommand
                                                : unknown.empty() ? kNoParameters
                                                                  : std::string_view(unknown));
    port_.setVisible(controls::kRemoteCommandHint, !anyRow);
}

void CMyTarvikView::OnSelchangeRemoteCommand() {
    if (scriptRunning_) return;
    readRemoteFields();
    remotePanel_.loadCommandRows();
    showRemoteFields();
}

void CMyTarvikView::OnShowValues(std::size_t row) {
    readRemoteFields();
    const auto lines = remotePanel_.showValues(row);
    if (!lines.empty()) port_.showValues(remotePanel_.showValuesCaption(), lines);
}

void CMyTarvikView::OnSendRemoteControl() {
    if (scriptRunning_) return;
    readRemoteFields();
    remotePanel_.buildAndSendCommand();
    showRemoteFields();
}

bool CMyTarvikView::checkScriptFile(const std::string& path) { return script_->checkFile(path); }

bool CMyTarvikView::playScriptFile(const std::string& path) {
    if (scriptRunning_) return false;
    readRemoteFields();
    scriptRunning_ = true;
    scriptStop_ = false;
    const bool result = script_->playFile(path);
    scriptRunning_ = false;
    showRemoteFields();
    return result;
}

void CMyTarvikView::OnPlayScriptFile() {
    if (scriptRunning_) return;
    RegistryString lastScript(setting_names::kLastScriptFile, settings_);
    if (scriptPath_.empty()) {
        scriptPath_ = lastScript.Read();
        if (scriptPath_.find(".vxs") == std::string::npos) scriptPath_ += "*.vxs";
    }
    OpenFileRequest request;
    request.defaultExtension = "vxs";
    request.initialName = scriptPath_;
    request.pathMustExist = true;
    request.fileMustExist = true;
    request.filter = "Vx Script Files (*.vxs)|*.vxs||";
    const OpenFileResult first = port_.openFile(request);
    if (first.status == OpenFileResult::Status::Cancelled) return;
    if (first.status == OpenFileResult::Status::Chosen) {
        scriptPath_ = first.path;
        lastScript = scriptPath_;
        lastScript.Write();
    } else {
        request.initialName.clear();
        request.filter = "Vx Files (*.vxs)|*.vxs||";
        const OpenFileResult second = port_.openFile(request);
        if (second.status == OpenFileResult::Status::Chosen) {
            if (second.path == scriptPath_ && fileSourceMode()) return;
            scriptPath_ = second.path;
            lastScript = scriptPath_;
            lastScript.Write();
        }
    }
    playScriptFile(scriptPath_);
}

} // namespace tarvik
