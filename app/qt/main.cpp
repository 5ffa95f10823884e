// tarvik: the desktop program.
//
//   tarvik [UDP] [FILE.vxr | --open FILE.vxr] [--address HOST] [--port PORT] [--start]
//          [--select ROW] [--screenshot PATH] [--layouts DIR]
//
// --address and --port fill in the connection fields; --start then presses
// "Start Communicating" once the window shows (a screenshot then waits two
// seconds so that live rows are listed).
// The word UDP (in any case) as an argument of its own selects UDP for the connection.
// A bare FILE (not an option) is opened like --open FILE: the desktop entry passes it.
//   tarvik --help | --version     (answered without a display)
// --screenshot saves a picture of the main window once it has painted, then exits.
// --layouts loads the layout definition files of DIR after the built-in and the user's own.

#include "app/qt/check_combo_box.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/screenshot.h"
#include "app/connection.h"
#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_memory.h"

#include <QApplication>
#include <QTimer>
#include <QStringList>
#include <QTableView>

#include <cstdio>
#include <optional>
#include <string_view>

namespace {

const char* const kUsage =
    "Usage: tarvik [UDP] [FILE.vxr | --open FILE.vxr] [--address HOST] [--port PORT] [--start]\n"
    "              [--select ROW] [--screenshot PATH] [--layouts DIR]\n";

const char* const kHelp =
    "The Tarvik desktop window: lists the records of a record file or of a live\n"
    "connection to a sonar server, and shows the report of the selected record.\n"
    "\n"
    "Options:\n"
    "  UDP                use UDP instead of TCP for the connection (the word alone, any case)\n"
    "  --address HOST     fill in the server address (dotted IPv4 or localhost)\n"
    "  --port PORT        fill in the server port\n"
    "  --start            press \"Start Communicating\" once the window shows\n"
    "  --open FILE.vxr    read a record file at start (a bare FILE.vxr does the same)\n"
    "  --select ROW       select a row of the record list at start\n"
    "  --screenshot PATH  save a picture of the window once it has painted and exit;\n"
    "                     messages then go to stderr instead of message boxes\n"
    "  --layouts DIR      load the layout definition files of DIR after the built-in\n"
    "                     and the user's own\n"
    "  --help             this text\n"
    "  --version          print the version and exit\n";

struct Options {
    QString open, screenshot, layouts, address, port;
    bool start = false;
    std::optional<qulonglong> select;
    bool udp = false;
    QString error;
    QString unknown;  // the first option that is not one of ours
};

Options parse(const QStringList& words) {
    Options o;
    for (int i = 1; i < words.size(); ++i) {
        const QString& w = words[i];
        auto value = [&]() -> QString {
            if (i + 1 < words.size()) return words[++i];
            o.error = w + " needs a value";
            return {};
        };
        if (w == "--open") o.open = value();
        else if (w == "--screenshot") o.screenshot = value();
        else if (w == "--layouts") o.layouts = value();
        else if (!w.startsWith("--") && !tarvik::isTransportWordUdp(w.toStdString())) {
            // A positional argument: the record file to open (tarvik FILE.vxr), as the
            // desktop entry passes a double-clicked file.
            if (o.open.isEmpty()) o.open = w;
            else if (o.error.isEmpty()) o.error = "only one record file can be opened";
        }
        else if (w == "--select") {
            bool ok = false;
            const qulonglong row = value().toULongLong(&ok);
            if (ok) o.select = row;
            else if (o.error.isEmpty()) o.error = "--select needs a row number";
        }
        else if (w == "--address") o.address = value();
        else if (w == "--port") o.port = value();
        else if (w == "--start") o.start = true;
        else if (tarvik::isTransportWordUdp(w.toStdString())) o.udp = true;
        else if (o.unknown.isEmpty()) o.unknown = w;  // an option of nobody's: said as tarvik-cli says it
    }
    return o;
}

} // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view w = argv[i];
        if (w == "--help" || w == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (w == "--version") {
            std::printf("tarvik %s\n", TARVIK_VERSION);
            return 0;
        }
    }
    tarvik::keepFreedRecordMemory();  // before any thread starts
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Nerith");
    QApplication::setApplicationName("Tarvik");
    QApplication::setApplicationVersion(TARVIK_VERSION);

    const Options options = parse(QApplication::arguments());
    if (!options.unknown.isEmpty()) {
        std::fprintf(stderr, "tarvik: The following argument was not expected: %s\n", qPrintable(options.unknown));
        return 2;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr,
                     "tarvik: %s\n%s", qPrintable(options.error), kUsage);
        return 2;
    }

    tarvik::CMyTarvikView::layoutOptions().directory = options.layouts.toStdString();
    // An unattended picture must not wait on a message box: messages go to stderr.
    if (!options.screenshot.isEmpty())
        tarvik::QtViewPort::initialMessageHook() = [](const std::string& text) {
            std::fprintf(stderr, "%s\n", text.c_str());
        };
    tarvik::QSettingsStore settings;
    tarvik::CMainFrame window(settings, options.udp ? "UDP" : "TCP");
    if (!options.screenshot.isEmpty())
        window.port().connectFailedHook = [](const tarvik::ConnectFailedRequest& request) {
            std::fprintf(stderr, "%s\n", request.message.c_str());
            return false;
        };

    if (!options.address.isEmpty()) window.port().setText(tarvik::controls::kAddress, options.address.toStdString());
    if (!options.port.isEmpty()) window.port().setText(tarvik::controls::kPort, options.port.toStdString());

    window.show();
    if (options.start) window.view().OnStartCommunicating();
    if (!options.open.isEmpty()) window.view().openRecordFile(options.open.toStdString());
    if (options.select && !options.start) window.selectRecordRow(static_cast<std::size_t>(*options.select));

    if (!options.screenshot.isEmpty()) {
        auto take = [&window, &app, path = options.screenshot, select = options.start ? options.select : std::nullopt] {
            if (select) window.selectRecordRow(static_cast<std::size_t>(*select));
            auto* shot = new tarvik::WindowScreenshot(window, *window.form().recordList()->viewport(), path);
            QObject::connect(shot, &tarvik::WindowScreenshot::done, &app, [](bool ok) { QApplication::exit(ok ? 0 : 1); });
        };
        if (options.start)
            QTimer::singleShot(2000, &app, take);
        else
            take();
    }
    return app.exec();
}
