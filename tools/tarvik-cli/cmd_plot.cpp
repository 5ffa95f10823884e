// tarvik-cli plot: a picture of record values over time or ping number, the
// series of the window's plot pane. The drawing module (Qt Charts) is opened
// only here.

#include "app/tarvik_view.h"
#include "core/text.h"
#include "plot/plot_model.h"
#include "plot/plot_render.h"
#include "sources/open_source.h"
#include "tools/tarvik-cli/cli.h"

#include <future>
#include <memory>
#include <string>
#include <vector>

namespace tarvik::cli {

namespace {

struct PlotOptions {
    std::string file;
    std::vector<std::string> y;
    std::string x = "time";
    std::string filter;
    std::string out;
    bool force = false;
};

bool isPictureName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string end = name.substr(dot);
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".png" || end == ".svg";
}

int runPlot(const PlotOptions& o) {
    if (!isPictureName(o.out)) {
        std::fprintf(stderr, "tarvik-cli: --out names a .png or .svg picture, not %s\n", shownName(o.out).c_str());
        return kExitUsage;
    }
    if (!outputAllowed(o.out, {o.file}, o.force)) return kExitMessageShown;
    const std::optional<plot::Axis> axis = plot::axisNamed(o.x);
    if (!axis) {
        std::fprintf(stderr, "tarvik-cli: --x is time or ping, not %s\n", shownName(o.x).c_str());
        return kExitUsage;
    }
    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    const LoadedDefinitions definitions = loadLayouts(layouts.directory, layouts.userDirectory);
    int status = sayLayoutProblems(definitions.problems) ? kExitMessageShown : kExitOk;
    Result<plot::PlotModel> model = plot::PlotModel::compile(o.y, *axis, definitions.catalogue);
    if (!model) {
        std::fprintf(stderr, "tarvik-cli: %s\n", model.error().c_str());
        return kExitUsage;
    }
    std::optional<RecordFilter> filter = compileFilterOption(o.filter, definitions.catalogue);
    if (!filter) return kExitUsage;
    // Qt is mapped while the file is read and the values taken.
    const std::future<void> drawing = plot::preloadRenderModule();

    SourceOptions options;
    options.capturePorts = CMyTarvikView::defaultCapturePorts();
    Result<OpenedSource> opened = openSource(o.file, options);
    if (!opened) {
        std::fprintf(stderr, "%s\n", opened.error().c_str());
        return kExitMessageShown;
    }
    if (!opened->source) {
        std::fprintf(stderr, "tarvik-cli: plot reads a record file or a capture, not a live address\n");
        return kExitUsage;
    }
    for (const std::string& w : opened->warnings()) {
        std::fprintf(stderr, "%s\n", w.c_str());
        status = kExitMessageShown;
    }
    const plot::Plot plot = model->compute(*opened->source, &*filter);
    std::size_t points = 0;
    for (const plot::Series& s : plot.series) {
        points += s.points.size();
        if (s.truncated)
            std::fprintf(stderr, "tarvik-cli: the series \"%s\" stops at %zu points\n", s.name.c_str(), s.points.size());
        else if (s.points.empty())
            std::fprintf(stderr, "tarvik-cli: no record of %s has a value of \"%s\"\n", shownName(o.file).c_str(),
                         s.name.c_str());
    }
    if (points == 0) status = kExitMessageShown;
    std::string title = shownName(o.file);
    if (!filter->showsEverything()) title += "  (" + filter->text() + ")";
    if (const Result<void> written = plot::renderPlot(plot, o.out, title, o.force); !written) {
        sayNotWritten(o.out, written.error(), written.error() == "file exists");
        return kExitMessageShown;
    }
    std::printf("%s: %s in %s\n", o.out.c_str(), counted(points, "point", "points").c_str(),
                counted(plot.series.size(), "series", "series").c_str());
    return status;
}

} // namespace

Command addPlot(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "plot", "draw record values over time or ping number into a PNG or SVG picture",
        {"tarvik-cli plot SOURCE --y EXPR [--y EXPR ...] [--x time|ping] [--filter EXPR] --out FILE.png|FILE.svg\n"
         "                [--force]",
         "Draws one series per --y: a field name or a value expression over the records of a\n"
         "record file (*.vxr) or packet capture (docs/expressions.md), one point per record\n"
         "that has a value (a repeated field gives one per occurrence, drawn as dots), or the\n"
         "built-in series \"count\" (the records so far) and \"rate\" (records per second).\n"
         "The x axis is the records' time stamps (UTC), or with --x ping the ping number of\n"
         "the records that have one. --filter keeps the records an expression passes.\n"
         "The picture is drawn with Qt Charts, which only this command loads; the file is\n"
         "written whole, and an existing one is kept unless --force is given. Says on stdout\n"
         "how many points it drew.\n\n"
         "Exit status: 0 drawn, 1 a message was shown, no series had a value or the picture\n"
         "could not be written, 2 usage error."});
    auto o = std::make_shared<PlotOptions>();
    command->add_option("SOURCE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    command->add_option("--y", o->y, "a series: a field name, a value expression, count or rate (repeatable)")
        ->required()
        ->type_name("EXPR");
    command->add_option("--x", o->x, "the x axis: time (default) or ping")->type_name("time|ping");
    addFilterOption(*command, o->filter);
    command->add_option("--out", o->out, "the picture to write: a .png or .svg file")->required();
    addForceOption(*command, o->force);
    addCapturePortsOption(*command);
    addLayoutsOption(*command);
    return {command, [o] { return runPlot(*o); }};
}

} // namespace tarvik::cli
