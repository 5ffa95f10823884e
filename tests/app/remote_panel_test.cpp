// The remote control panel and "Play Script File" through the in-memory port.

#include "app/controls.h"
#include "core/frame.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "tests/remote/remote_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvik;

namespace {

class RemotePanelView : public ::testing::Test {
protected:
    RemotePanelView() {
        view.remotePanel().sender = &sent;
        view.remotePanel().devices = {{7000, 0, false}};
    }
    std::string script(const std::string& name, const std::string& text) {
        return dir.write(name, Bytes(text.begin(), text.end()));
    }

    tarvik::testing::TempDir dir;
    tarvik::testing::KeptRecords sent;
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
};

TEST_F(RemotePanelView, ChoosingACommandFillsTheRowsAndSendingEmptiesTheTicket) {
    port.setText(controls::kRemoteCommand, "1053  Third party data connection");
    view.OnSelchangeRemoteCommand();
    EXPECT_EQ(port.text(1022), "IPAddress4");
    EXPECT_EQ(port.text(1025), "IP address (integer or dot format)");
    EXPECT_EQ(port.text(1033), "auto");                  // row 3 counts row 4's list
    EXPECT_TRUE(port.disabled.count(1033));              // and cannot be typed into
    EXPECT_TRUE(port.hidden.count(1016));                // row 0 has no value list
    EXPECT_FALSE(port.hidden.count(1031));               // row 2 has one
    EXPECT_TRUE(port.hidden.count(1041));                // no sixth parameter
    EXPECT_FALSE(port.text(controls::kTicket).empty());

    port.setText(1023, "192.168.1.2");
    port.setText(1026, "7000");
    port.setText(1029, "1");
    port.setText(1037, "7000, 7004");
    view.OnSendRemoteControl();
    ASSERT_EQ(sent.records.size(), 1u);
    EXPECT_EQ(port.text(1033), "2");
    EXPECT_EQ(port.text(controls::kTicket), "");
    EXPECT_EQ(readLEOr0<std::uint32_t>(sent.records[0], 88), 0xC0A80102u);

    // The report decodes the command's body with the same catalogue.
    view.showReport(sent.records[0], 0);
    bool found = false;
    for (const auto& line : port.reportLines) found = found || line.text == "Port number 7000";
    EXPECT_TRUE(found);
}

// Only the rows a command fills are shown; before a choice one line says what to do.
TEST_F(RemotePanelView, RowsShowForTheChosenCommandOnly) {
    const int rowControls[] = {1022, 1023, 1025, 1024, 1026, 1027, 1028, 1029, 1030,
                               1032, 1033, 1034, 1036, 1037, 1038, 1040, 1041, 1042};
    for (int control : rowControls) EXPECT_TRUE(port.hidden.count(control)) << control;
    EXPECT_TRUE(port.hidden.count(controls::kParameterTable));
    EXPECT_FALSE(port.hidden.count(controls::kRemoteCommandHint));
    EXPECT_EQ(port.text(controls::kRemoteCommandHint), "Choose a command");

    port.setText(controls::kRemoteCommand, "1003  Set range");  // one parameter
    view.OnSelchangeRemoteCommand();
    for (int control : {1022, 1023, 1025}) EXPECT_FALSE(port.hidden.count(control)) << control;
    for (int control : {1024, 1026, 1027, 1021, 1040, 1041, 1042}) EXPECT_TRUE(port.hidden.count(control)) << control;
    EXPECT_FALSE(port.hidden.count(controls::kParameterTable));
    EXPECT_TRUE(port.hidden.count(controls::kRemoteCommandHint));

    port.setText(controls::kRemoteCommand, "1001  Reboot Processor");  // none
    view.OnSelchangeRemoteCommand();
    for (int control : rowControls) EXPECT_TRUE(port.hidden.count(control)) << control;
    EXPECT_TRUE(port.hidden.count(controls::kParameterTable));
    EXPECT_FALSE(port.hidden.count(controls::kRemoteCommandHint));
    EXPECT_EQ(port.text(controls::kRemoteCommandHint), "This command has no parameters");
    port.setText(controls::kRemoteCommand, "1004  Max ping rate");  // parameters not known
    view.OnSelchangeRemoteCommand();
    EXPECT_EQ(port.text(controls::kRemoteCommandHint), remote::kParametersUnknown);
}

TEST_F(RemotePanelView, TheFormSendsEachSonarOnceAndNoValueItDidNotType) {
    view.remotePanel().devices = {{7125, 0, false}, {7125, 1, true}};
    port.setText(controls::kRemoteCommand, "1003  Set range");
    view.OnSelchangeRemoteCommand();
    port.setText(1023, "sixty");
    view.OnSendRemoteControl();
    EXPECT_TRUE(sent.records.empty());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].substr(0, 43), "Value \"sixty\" refused for \"Range (m)\", form");
    EXPECT_FALSE(port.text(controls::kTicket).empty());  // kept for the corrected send

    port.setText(1023, "60");
    view.OnSendRemoteControl();
    ASSERT_EQ(sent.records.size(), 2u);
    EXPECT_EQ(FrameView(sent.records[0]).systemEnumerator(), 0);
    EXPECT_EQ(FrameView(sent.records[1]).systemEnumerator(), 1);
}

TEST_F(RemotePanelView, ShowValuesListsBitFieldsAndValues) {
    port.setText(controls::kRemoteCommand, "1009  Bottom detection mask");
    view.OnSelchangeRemoteCommand();
    view.OnShowValues(0);
    ASSERT_EQ(port.valueDialogs.size(), 1u);  // the dialog goes through the port
    const auto& [caption, lines] = port.valueDialogs[0];
    EXPECT_EQ(caption, "Bottom detection mask");
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[3], "0 - 3  Reserved");
    EXPECT_EQ(lines[5], "8 - 8  Absolute Range filter (0/disabled, 1/enabled)");
}

TEST_F(RemotePanelView, PlayScriptFileRemembersTheFileAndLeavesTheEffects) {
    // Nothing remembered yet: the dialog starts from a pattern; a cancel plays nothing.
    view.OnPlayScriptFile();
    ASSERT_EQ(port.fileRequests.size(), 1u);
    EXPECT_EQ(port.fileRequests[0].initialName, "*.vxs");
    EXPECT_EQ(port.fileRequests[0].filter, "Vx Script Files (*.vxs)|*.vxs||");
    EXPECT_FALSE(view.remotePanel().scriptActive);

    const std::string path = script("a.vxs", "NOSUB\r\nPACE, 20\r\n1003, 50\r\nLIMITRECORDS, 1000\r\n");
    int limit = 0;
    view.scriptDirective = [&](const CMyTarvikView::ScriptDirective& d) {
        if (d.kind != CMyTarvikView::ScriptDirective::Kind::ScrollLimit) return false;
        limit = d.value;
        return true;
    };
    port.fileAnswers.push_back(OpenFileResult::chosen(path));
    view.OnPlayScriptFile();
    EXPECT_TRUE(port.checked(controls::kDisableInitialSubscription));
    EXPECT_EQ(limit, 200);
    EXPECT_EQ(port.waits, (std::vector<unsigned>{20, 20}));  // the pauses went through the port
    EXPECT_GE(port.eventTurns, 4u);                          // and the turns between its four lines
    ASSERT_EQ(sent.records.size(), 1u);
    EXPECT_EQ(port.text(controls::kRemoteCommand), "1003  Set range");
    EXPECT_EQ(port.text(1023), "50");
    EXPECT_EQ(RegistryString(setting_names::kLastScriptFile, settings).Read(), path);
    EXPECT_FALSE(view.remotePanel().scriptActive);

    // The dialog fails: a second one without a start; cancelled, the remembered file plays again.
    port.fileAnswers = {OpenFileResult::failed(), OpenFileResult::cancelled()};
    view.OnPlayScriptFile();
    EXPECT_EQ(port.fileRequests.back().filter, "Vx Files (*.vxs)|*.vxs||");
    EXPECT_TRUE(port.fileRequests.back().initialName.empty());
    EXPECT_EQ(sent.records.size(), 2u);
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(RemotePanelView, ScriptsCanBeStoppedAtTheirWaits) {
    port.waitHook = [this](unsigned) { view.stopScript(); };
    const std::string path = script("long.vxs", "PACE, 100\n1003, 1\n1003, 2\n");
    EXPECT_TRUE(view.playScriptFile(path));
    EXPECT_TRUE(sent.records.empty());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Script " + path + " stopped by the user");
    EXPECT_FALSE(view.scriptRunning());
}

TEST_F(RemotePanelView, RecordInAScriptPressesWriteOutputFile) {
    EXPECT_TRUE(view.playScriptFile(script("r.vxs", "RECORD\n")));
    EXPECT_EQ(port.messages, std::vector<std::string>{"Cannot Write Output File Until A File Name Is Assigned"});
    EXPECT_FALSE(view.outputWriter().writing());

    RegistryString folder(setting_names::kLastOutputDirectory, settings);
    folder = dir.file(".");
    folder.Write();
    EXPECT_TRUE(view.playScriptFile(script("r.vxs", "RECORD\n")));
    EXPECT_TRUE(view.outputWriter().writing());
    EXPECT_TRUE(std::filesystem::exists(view.outputWriter().outputFileName()));
    EXPECT_TRUE(view.playScriptFile(script("r.vxs", "RECORD\n")));
    EXPECT_FALSE(view.outputWriter().writing());
}

// Commands in the user's layout files reach the panel, the sent records and the report.
TEST(RemoteCommandsOfTheView, LayoutFilesReplaceAndAddCommands) {
    tarvik::testing::TempDir dir;
    const std::string text = "commands:\n"
                             "  - {id: \"1003\", title: \"Set range in steps\", params: [[\"Range (dm)\", u, 4]]}\n"
                             "  - {id: \"9200\", title: \"Lamp\", params: [[\"On\", u, 1, {0: \"off\", 1: \"on\"}]]}\n";
    std::filesystem::create_directories(dir.file("layouts"));
    dir.write("layouts/user.yaml", Bytes(text.begin(), text.end()));
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView::layoutOptions().directory = dir.file("layouts");
    CMyTarvikView view(port, settings);
    CMyTarvikView::layoutOptions().directory.clear();
    EXPECT_TRUE(port.messages.empty());
    ASSERT_EQ(view.remoteCommands().size(), 125u);
    EXPECT_EQ(view.remotePanel().findLine("9200 ").has_value(), true);

    tarvik::testing::KeptRecords sent;
    view.remotePanel().sender = &sent;
    view.remotePanel().devices = {{7000, 0, false}};
    port.setText(controls::kRemoteCommand, "1003  Set range in steps");
    view.OnSelchangeRemoteCommand();
    EXPECT_EQ(port.text(1025), "Range (dm)");
    port.setText(1023, "125");
    view.OnSendRemoteControl();
    ASSERT_EQ(sent.records.size(), 1u);
    EXPECT_TRUE(port.messages.empty());
    view.showReport(sent.records[0], 0);
    bool found = false;
    for (const auto& line : port.reportLines) found = found || line.text == "Range (dm) 125";
    EXPECT_TRUE(found);
}

} // namespace

TEST_F(RemotePanelView, CommandsThatReplaceOrReadTheWholeListWaitForAPlayingScript) {
    const std::string kRefused = "A script is playing: stop it first (Scripts, Stop Script)";
    std::size_t messagesDuringWait = 0;
    port.waitHook = [&](unsigned) {
        // The window's events run during a script's wait: its menus and buttons too.
        view.OnReadVxFile();
        view.OnStartCommunicating();
        view.OnDumpAllShown();
        view.OnCopyToCondensedFile();
        messagesDuringWait = port.messages.size();
    };
    EXPECT_TRUE(view.playScriptFile(script("wait.vxs", "SLEEP, 10\n")));
    EXPECT_EQ(messagesDuringWait, 4u);
    EXPECT_EQ(port.messages, std::vector<std::string>(4, kRefused));
    EXPECT_TRUE(port.fileRequests.empty());      // no file dialog opened
    EXPECT_FALSE(view.connection().connected());

    // Once the script has ended they run again.
    port.messages.clear();
    view.OnCopyToCondensedFile();
    EXPECT_EQ(port.messages, std::vector<std::string>{"Apparently No Input File"});
}
