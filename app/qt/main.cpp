// tarvik: the desktop program.
//
//   tarvik [UDP] [FILE.vxr | --open FILE.vxr] [--address HOST] [--port PORT] [--start]
//          [--select ROW] [--screenshot PATH] [--layouts DIR]
//          [--filter EXPR] [--column EXPR ...] [--plot EXPRS]
//
// --address and --port fill in the connection fields; --start then presses
// "Start Communicating" once the window shows (a screenshot then waits two
// seconds so that live rows are listed).
// The word UDP (in any case) as an argument of its own selects UDP for the connection.
// A bare FILE (not an option) is opened like --open FILE: the desktop entry passes it.
//   tarvik --help | --version     (answered without a display)
// --screenshot saves a picture of the main window once it has painted, then exits.
// --layouts loads the layout definition files of DIR after the built-in and the user's own.
// Usage errors are said in one line on stderr, exit status 2, before any window
// shows, as tarvik-cli and vxcenter-sim say theirs; an unknown option names the
// nearest one of ours. A record file that cannot be opened for --screenshot
// makes the exit status 1.

#include "app/qt/check_combo_box.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/plot_pane.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/qt/screenshot.h"
#include "app/connection.h"
#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_memory.h"
#include "net/address.h"
#include "tools/options/options.h"

#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QTimer>
#include <QStringList>
#include <QTableView>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

const char* const kUsage =
    "Usage: tarvik [UDP] [FILE.vxr | --open FILE.vxr] [--address HOST] [--port PORT] [--start]\n"
    "              [--select ROW] [--screenshot PATH] [--layouts DIR]\n"
    "              [--filter EXPR] [--column EXPR ...] [--plot EXPRS]\n";

const char* const kHelp =
    "The Tarvik desktop window: lists the records of a record file or of a live\n"
    "connection to a sonar server, and shows the report of the selected record.\n"
    "\n"
    "Options:\n"
    "  UDP                use UDP instead of TCP for the connection (the word alone, any case)\n"
    "  --address HOST     fill in the server address (dotted IPv4 or localhost)\n"
    "  --port PORT        fill in the server port (1 to 65535)\n"
    "  --start            press \"Start Communicating\" once the window shows\n"
    "  --open FILE.vxr    read a record file at start (a bare FILE.vxr does the same)\n"
    "  --select ROW       select a row of the record list at start (a row the list\n"
    "                     does not have is a usage error)\n"
    "  --screenshot PATH  save a picture of the window once it has painted and exit;\n"
    "                     messages then go to stderr instead of message boxes\n"
    "  --layouts DIR      load the layout definition files of DIR after the built-in\n"
    "                     and the user's own\n"
    "  --filter EXPR      list the rows of the file an expression passes (the filter\n"
    "                     expression box; docs/expressions.md)\n"
    "  --column EXPR      add a column of a field or value expression to the record\n"
    "                     list, remembered as \"Apply as Column\" remembers it (repeatable)\n"
    "  --plot EXPRS       show the plot pane with these series (separated by commas)\n"
    "  --help             this text\n"
    "  --version          print the version and exit\n"
    "\n"
    "Exit status: 0 success; 1 no display to show the window on, the record file for\n"
    "--screenshot could not be opened or the picture could not be saved; 2 usage error\n"
    "(said in one line on stderr).\n";

struct Options {
    QString open, screenshot, layouts, address, port, filter, plot;
    QStringList columns;
    bool start = false;
    std::optional<qulonglong> select;
    bool udp = false;
    QString error;  // the first usage error, said as it is
};

const char* const kOurOptions[] = {"--open", "--screenshot", "--layouts", "--select", "--address",
                                   "--port", "--start", "--help", "--version", "--filter", "--column", "--plot"};

// The toolkit's own options, which it takes off the command line itself (with
// one dash or two, "-style fusion" or "-style=fusion"); the first group takes a value.
const char* const kToolkitOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                                "qwindowgeometry", "qwindowicon", "qwindowtitle", "display",
                                                "geometry", "title", "name", "style", "stylesheet", "session",
                                                "qmljsdebugger", "dialogs", "fontengine"};
const char* const kToolkitSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

// How many words the toolkit option at `word` takes (0: it is none).
int toolkitWords(const QString& word) {
    if (!word.startsWith('-') || word.size() < 2) return 0;
    QString name = word.mid(word.startsWith("--") ? 2 : 1);
    const bool joined = name.contains('=');
    name = name.section('=', 0, 0);
    for (const char* option : kToolkitOptionsWithValue)
        if (name == QLatin1String(option)) return joined ? 1 : 2;
    for (const char* option : kToolkitSwitches)
        if (name == QLatin1String(option) && !joined) return 1;
    return 0;
}

QString unknownOption(const QString& word) {
    std::vector<std::string> ours(std::begin(kOurOptions), std::end(kOurOptions));
    const std::string bare = word.section('=', 0, 0).toStdString();
    if (auto near = tarvik::options::nearestWord(bare, ours))
        return QString::fromStdString(bare + " is not an option; did you mean " + *near + "?");
    return QString::fromStdString(bare + " is not an option (tarvik --help lists them)");
}

Options parse(const QStringList& words) {
    Options o;
    for (int i = 1; i < words.size(); ++i) {
        const QString& w = words[i];
        if (const int skip = toolkitWords(w)) {
            i += skip - 1;
            continue;
        }
        auto value = [&]() -> QString {
            if (i + 1 < words.size()) return words[++i];
            o.error = w + " needs a value";
            return {};
        };
        if (w == "--open") o.open = value();
        else if (w == "--screenshot") o.screenshot = value();
        else if (w == "--layouts") o.layouts = value();
        else if (w == "--filter") o.filter = value();
        else if (w == "--column") o.columns << value();
        else if (w == "--plot") o.plot = value();
        else if (!w.startsWith("-") && !tarvik::isTransportWordUdp(w.toStdString())) {
            // A positional argument: the record file to open (tarvik FILE.vxr), as the
            // desktop entry passes a double-clicked file.
            if (o.open.isEmpty()) o.open = w;
            else if (o.error.isEmpty()) o.error = "only one record file can be opened";
        }
        else if (w == "--select") {
            bool ok = false;
            const qulonglong row = value().toULongLong(&ok);
            // Decimal digits only, as every number option of the tools.
            bool digits = !words[i].isEmpty();
            for (QChar c : words[i]) digits = digits && c >= '0' && c <= '9';
            if (ok && digits) o.select = row;
            else if (o.error.isEmpty()) o.error = "--select: " + words[i] + " is not a whole number";
        }
        else if (w == "--address") {
            o.address = value();
            // Refused as tarvik-cli refuses it: dotted IPv4 or localhost.
            if (o.error.isEmpty() && !o.address.isEmpty() &&
                !tarvik::net::isIPv4Address(tarvik::net::normaliseAddress(o.address.toStdString())))
                o.error = "--address: " + o.address + " is not a dotted IPv4 address";
        }
        else if (w == "--port") {
            o.port = value();
            if (o.error.isEmpty() && !o.port.isEmpty() && !tarvik::net::parsePort(o.port.toStdString()))
                o.error = "--port: " + o.port + " is not a port number from 1 to 65535";
        }
        else if (w == "--start") o.start = true;
        else if (tarvik::isTransportWordUdp(w.toStdString())) o.udp = true;
        else if (o.error.isEmpty()) o.error = unknownOption(w);  // an option of nobody's: said as tarvik-cli says it
    }
    return o;
}

int usageError(const QString& text) {
    std::fprintf(stderr, "tarvik: %s\n", qPrintable(text));
    return tarvik::options::kExitUsage;
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
    // Every usage error is refused before a display is needed, as tarvik-cli refuses it.
    Options options;
    {
        QStringList words;
        for (int i = 0; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
        options = parse(words);
        if (!options.error.isEmpty()) return usageError(options.error);
    }
    // Without any display to open, the toolkit would abort: said in one line instead.
    {
        bool platformGiven = false;
        for (int i = 1; i < argc; ++i) {
            const QString w = QString::fromLocal8Bit(argv[i]);
            platformGiven = platformGiven || w == "-platform" || w == "--platform" || w.startsWith("-platform=") ||
                            w.startsWith("--platform=");
        }
        auto set = [](const char* name) {
            const char* value = std::getenv(name);
            return value && *value;
        };
        if (!platformGiven && !set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
            std::fputs("tarvik: there is no display to show the window on (DISPLAY is not set); "
                       "tarvik-cli works without one\n",
                       stderr);
            return 1;
        }
    }
    tarvik::keepFreedRecordMemory();  // before any thread starts
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Nerith");
    QApplication::setApplicationName("Tarvik");
    QApplication::setApplicationVersion(TARVIK_VERSION);

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
    // A picture of a file that could not be opened would show nothing asked
    // for: the message (it names the file) went to stderr, and the run fails.
    if (!options.open.isEmpty() && !window.view().openRecordFile(options.open.toStdString()) &&
        !options.screenshot.isEmpty())
        return 1;
    // Columns, filter and plot as the user would set them; for a picture, one
    // that cannot be had fails the run with the reason on stderr.
    const bool unattended = !options.screenshot.isEmpty();
    for (const QString& column : options.columns)
        if (!window.view().addRecordColumn(column.toStdString()) && unattended) return 1;
    if (!options.filter.isEmpty()) {
        window.port().setText(tarvik::controls::kFilterExpression, options.filter.toStdString());
        if (!window.view().OnFilterExpressionEntered() && unattended) {
            std::fprintf(stderr, "tarvik: --filter: %s\n", window.view().filterProblem().c_str());
            return 1;
        }
    }
    if (!options.plot.isEmpty()) {
        window.plotDock()->show();
        window.resizeDocks({window.plotDock()}, {window.height() * 2 / 5}, Qt::Vertical);
        if (!window.plotPane().plot(options.plot) && unattended) {
            std::fprintf(stderr, "tarvik: --plot: %s\n", qPrintable(window.plotPane().problem()->text()));
            return 1;
        }
    }
    if (options.select && !options.start) {
        // A row the list does not have is refused as tarvik-cli refuses it.
        const std::size_t rows = window.recordModel().rows();
        if (*options.select >= rows)
            return usageError(QString("--select: there is no listed row %1 (%2 rows listed)")
                                  .arg(*options.select)
                                  .arg(rows));
        window.selectRecordRow(static_cast<std::size_t>(*options.select));
    }

    if (!options.screenshot.isEmpty()) {
        auto take = [&window, &app, path = options.screenshot, select = options.start ? options.select : std::nullopt] {
            if (select && *select >= window.recordModel().rows()) {
                QApplication::exit(usageError(QString("--select: there is no listed row %1 (%2 rows listed)")
                                                  .arg(*select)
                                                  .arg(window.recordModel().rows())));
                return;
            }
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
