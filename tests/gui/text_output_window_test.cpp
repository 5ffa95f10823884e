// The window's text outputs, output record file and printing: menu commands
// and the form's button reach the view logic, the separator dialog keeps its
// choice, and a long report prints on several pages through Qt's printer.

#include "app/controls.h"
#include "app/qt/condensed_file_properties.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/report_printer.h"
#include "app/tarvik_view.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"
#include "tools/synth/sample_records.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <fstream>

using namespace tarvik;

class TextOutputWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menuCommandsWriteTextFiles();
    void writeButtonRecordsAnOutputFile();
    void longReportPrintsOnSeveralPages();

private:
    std::unique_ptr<testing::TempDir> dir;
    std::unique_ptr<QSettingsStore> settings;
    std::unique_ptr<CMainFrame> window;
    std::vector<std::string> messages;
};

void TextOutputWindowTest::init() {
    dir = std::make_unique<testing::TempDir>();
    settings = std::make_unique<QSettingsStore>(dir->file("settings.ini"));
    window = std::make_unique<CMainFrame>(*settings, "TCP");
    messages.clear();
    window->port().messageHook = [this](const std::string& text) { messages.push_back(text); };
    const std::string out = dir->file("out");
    std::filesystem::create_directory(out);
    window->port().folderDialogHook = [out](std::string_view) { return std::optional<std::string>(out); };
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TextOutputWindowTest::cleanup() {
    window.reset();
    settings.reset();
    dir.reset();
}

void TextOutputWindowTest::menuCommandsWriteTextFiles() {
    window->runCommand(commands::kAssignOutputFolder);
    QCOMPARE(RegistryString(setting_names::kLastOutputDirectory, *settings).Read(), dir->file("out"));

    synth::SampleOptions options;
    options.frames = 20;
    const std::string path = dir->file("run.vxr");
    QVERIFY(synth::writeSampleFile(path, options));
    window->port().fileDialogHook = [path](const OpenFileRequest&) { return OpenFileResult::chosen(path); };
    window->runCommand(commands::kReadVxFile);
    window->selectRecordRow(3);
    QTRY_VERIFY(!window->port().reportListLines().empty());

    window->runCommand(commands::kWriteCurrentRecord);
    window->runCommand(commands::kCloseTextOutput);
    QVERIFY(std::filesystem::exists(dir->file("out/run.vxr.txt")));

    // The separator dialog: created once, shown modeless, OK stores the choice.
    window->runCommand(commands::kSetupCondensedFile);
    CCondensedFileProperties& dialog = window->separatorDialog();
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isModal());
    QCOMPARE(dialog.shownChoice(), DataSeparator::FixedWidth);
    dialog.findChildren<QRadioButton*>()[2]->click();  // Comma
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(window->view().dataSeparator(), DataSeparator::Comma);
    window->runCommand(commands::kSetupCondensedFile);
    dialog.findChildren<QRadioButton*>()[0]->click();
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(window->view().dataSeparator(), DataSeparator::Comma);

    window->runCommand(commands::kCopyToCondensedFile);
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0], "Wrote 22 lines to the the log file, " + dir->file("out/run.txt"));
    const std::string text = tarvik::testing::slurp(dir->file("out/run.txt"));
    QVERIFY(text.find("\r\n0,7200,396,03/05/2024,07:04:09.125\r\n") != std::string::npos);

    window->runCommand(commands::kDumpAllShown);
    QCOMPARE(messages.size(), std::size_t{2});
    QVERIFY(messages[1].find(dir->file("out/run.000.txt")) != std::string::npos);

    std::vector<std::string> printed;
    window->port().printHook = [&](const std::vector<std::string>& lines, bool) { printed = lines; };
    window->runCommand(commands::kPrintRecord);
    QCOMPARE(printed, window->port().reportListLines());
    QVERIFY(window->port().timerRunning(timers::kArrival));
}

void TextOutputWindowTest::writeButtonRecordsAnOutputFile() {
    RegistryString folder(setting_names::kLastOutputDirectory, *settings);
    folder = dir->file("out");
    folder.Write();
    auto* button = qobject_cast<QAbstractButton*>(window->form().control(controls::kWriteOutputFile));
    // Enabled while connected; the records are handed in below as a connection would.
    QVERIFY(button && !button->isEnabled());
    window->port().setEnabled(controls::kWriteOutputFile, true);
    button->click();
    QCOMPARE(button->text(), QString("Stop Writing Output File"));
    const std::string name = window->port().text(controls::kOutputFileLabel);
    QVERIFY(name.rfind(dir->file("out/"), 0) == 0);
    QVERIFY(window->windowTitle().startsWith("Tarvik - Writing "));
    window->view().outputWriter().WriteArrivedFrame(synth::sampleFrame(7000, 7125, 1, 5));
    button->click();
    QCOMPARE(button->text(), QString("Write Output File"));
    QCOMPARE(window->windowTitle(), QString("Tarvik"));
    QCOMPARE(std::filesystem::file_size(name), kFileHeaderRecordSize + synth::sampleFrame(7000, 7125, 1, 5).size());
    QVERIFY(messages.empty());
}

void TextOutputWindowTest::longReportPrintsOnSeveralPages() {
    std::vector<std::string> lines;
    for (int i = 1; i <= 130; ++i) lines.push_back("Printed line " + std::to_string(i));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = dir->file("printed.pdf");
    printer.setOutputFileName(QString::fromStdString(pdf));
    std::tm at{};
    at.tm_year = 124, at.tm_mon = 2, at.tm_mday = 5, at.tm_hour = 7, at.tm_min = 4, at.tm_sec = 9;
    const int pages = printReportPages(printer, lines, PrintHeading{"long.vxr", 7000u, std::size_t{3}}, at);
    QVERIFY(pages >= 2);

    auto text = testing::runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    QCOMPARE(text.status, 0);
    for (int p = 1; p <= pages; ++p)
        QVERIFY(text.out.find("Page " + std::to_string(p) + " of " + std::to_string(pages)) != std::string::npos);
    QVERIFY(text.out.find("long.vxr   Record type 7000   Row 3") != std::string::npos);
    std::size_t headers = 0;
    for (auto at = text.out.find("Nerith Vx Record Test Tool"); at != std::string::npos;
         at = text.out.find("Nerith Vx Record Test Tool", at + 1))
        ++headers;
    QCOMPARE(headers, static_cast<std::size_t>(pages));
    QVERIFY(text.out.find("Printed line 130") != std::string::npos);
    QVERIFY(text.out.find("03/05/2024   07:04:09") != std::string::npos);
}

QTEST_MAIN(TextOutputWindowTest)
#include "text_output_window_test.moc"
