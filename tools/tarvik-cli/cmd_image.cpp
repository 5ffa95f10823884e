// tarvik-cli image: the sector picture of a record, or the echogram of a whole
// file, drawn offscreen into a PNG file.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "imagery/imagery_displays.h"
#include "imagery/png_writer.h"
#include "imagery/sector_render.h"
#include "tools/tarvik-cli/cli.h"

#include <memory>
#include <optional>
#include <string>

namespace tarvik::cli {

namespace {

struct ImageOptions {
    std::string file;
    std::string out;
    std::string kind = "sector";
    std::optional<std::size_t> row;  // none: the first listed row that draws a picture
    bool force = false;
    std::pair<unsigned, unsigned> size{640, 480};
    std::string filter;
};

int runImage(const ImageOptions& o) {
    if (!outputAllowed(o.out, {o.file}, o.force)) return kExitMessageShown;
    const unsigned width = o.size.first, height = o.size.second;
    const std::string& kind = o.kind;
    ConsolePort port;
    MemorySettingsStore settings;
    // The view's own imagery displays, fed as the window feeds them.
    CMyTarvikView view(port, settings);
    if (!applyFilterOption(view, o.filter)) return kExitUsage;
    view.enableImagery(true);
    const CImageryDisplays& imagery = view.imagery();
    if (!view.openRecordFile(o.file)) return kExitMessageShown;
    const std::size_t rows = view.recordRowCount();

    RgbaImage picture;
    if (kind == "echogram") {
        view.drawShownRowsInEchogram();
        picture = renderEchogram(imagery.echogram());
    } else {
        if (o.row && *o.row >= rows) {
            std::fprintf(stderr, "tarvik-cli: there is no listed row %zu (%s listed)\n", *o.row,
                         counted(rows, "row", "rows").c_str());
            return kExitUsage;
        }
        // The given row, or the first listed row whose record draws a picture.
        bool drawn = false;
        const std::size_t first = o.row.value_or(0), end = o.row ? first + 1 : rows;
        for (std::size_t row = first; row < end && !drawn; ++row) {
            const std::uint64_t before = imagery.sector().picture().serial;
            view.OnRowSelectionChanged(row);
            drawn = imagery.sector().picture().serial != before;
        }
        if (!drawn && o.row) {
            const std::optional<Bytes> record = view.rowRecord(*o.row);
            std::fprintf(stderr, "tarvik-cli: the record of row %zu (type %u) draws no sector picture\n", *o.row,
                         record ? FrameView(*record).recordType() : 0u);
            return kExitMessageShown;
        }
        if (!drawn) {
            std::fprintf(stderr,
                         "tarvik-cli: no listed row draws a sector picture (%s listed; the picture comes from "
                         "7006, 7008 and 7011 records)\n",
                         counted(rows, "row", "rows").c_str());
            return kExitMessageShown;
        }
        picture.resize(static_cast<int>(width), static_cast<int>(height));
        SectorRenderer renderer;
        renderer.render(imagery.sector().picture(), imagery.echogram().colourMap(), picture);
    }
    if (const Result<void> written = writePng(o.out, picture, o.force); !written) {
        sayNotWritten(o.out, written.error(), true);
        return kExitMessageShown;
    }
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace

Command addImage(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "image", "draw the sector picture of a record or the echogram of a file into a PNG",
        {"tarvik-cli image FILE --out PICTURE.png [--kind sector|echogram] [--row N]\n"
         "                 [--size W H] [--filter TEXT] [--force]",
         "Draws a picture of a record file (*.vxr) without a display.\n\n"
         "  sector    (default) the sector picture the window shows once listed row N\n"
         "            (without --row: the first row that draws one) is selected: the file's first settings, configuration and\n"
         "            geometry records set the sector's geometry, and the row's\n"
         "            record (7006 bathymetry, 7008 beam data or 7011 image) is drawn\n"
         "            as a fan with range rings\n"
         "  echogram  the echogram after every listed record of the file: one line\n"
         "            per side-scan record (7007), or per beam data record's centre\n"
         "            beam (7008) while no side-scan record has come; 1,024 x 512\n\n"
         "Exit status: 0 written, 1 a message was shown, the row draws no picture or the\n"
         "file could not be written, 2 usage error or no such row."});
    auto o = std::make_shared<ImageOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    command->add_option("--out", o->out, "the PNG file to write")->type_name("PICTURE.png")->required();
    command->add_option("--kind", o->kind, "sector (default) or echogram")
        ->type_name("KIND")
        ->check(CLI::IsMember({"sector", "echogram"}));
    command->add_option("--row", o->row, "the listed row for the sector picture (default: the first\nlisted row that draws one)")
        ->type_name("N")
        ->transform(options::wholeNumber<std::size_t>());
    command->add_option("--size", o->size, "size of the sector picture in pixels, 16 to 8192 each (default 640 480)")
        ->type_name("W H")
        ->transform(options::wholeNumber(16, 8192));
    addFilterOption(*command, o->filter);
    addForceOption(*command, o->force);
    addCapturePortsOption(*command);
    return {command, [o] { return runImage(*o); }};
}

} // namespace tarvik::cli
