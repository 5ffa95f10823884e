// tarvik-cli image: the sector picture of a record, or the echogram of a whole
// file, drawn offscreen into a PNG file.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "imagery/imagery_displays.h"
#include "imagery/png_writer.h"
#include "imagery/sector_render.h"
#include "tools/tarvik-cli/cli.h"

#include <string>

namespace tarvik::cli {

const char* const kImageUsage =
    "Usage: tarvik-cli image FILE --out PICTURE.png [--kind sector|echogram] [--row N]\n"
    "                        [--size W H] [--filter TEXT]\n\n"
    "Draws a picture of a record file (*.vxr) without a display.\n\n"
    "  --kind sector    (default) the sector picture the window shows once listed row N\n"
    "                   is selected: the file's first settings, configuration and\n"
    "                   geometry records set the sector's geometry, and the row's\n"
    "                   record (7006 bathymetry, 7008 beam data or 7011 image) is drawn\n"
    "                   as a fan with range rings\n"
    "  --kind echogram  the echogram after every listed record of the file: one line\n"
    "                   per side-scan record (7007), or per beam data record's centre\n"
    "                   beam (7008) while no side-scan record has come; 1,024 x 512\n"
    "  --row N          the listed row for the sector picture (default 0)\n"
    "  --size W H       size of the sector picture in pixels (default 640 480)\n"
    "  --filter TEXT    the record filter's text (default \"ALL RECORDS\")\n\n"
    "Exit status: 0 written, 1 a message was shown, the row draws no picture or the\n"
    "file could not be written, 2 usage error or no such row.\n";

int runImage(Args& args) {
    const std::string filter = args.option("--filter").value_or(std::string(kAllRecords));
    const std::optional<std::string> out = args.option("--out");
    const std::string kind = args.option("--kind").value_or("sector");
    const std::optional<std::string> rowText = args.option("--row");
    unsigned long long row = 0, width = 640, height = 480;
    if (rowText && !parseUnsigned(*rowText, row)) args.error = true;
    if (auto size = args.optionValues("--size", 2)) {
        if (!parseUnsigned((*size)[0], width) || !parseUnsigned((*size)[1], height) || width < 16 || height < 16 ||
            width > 8192 || height > 8192)
            args.error = true;
    }
    auto files = args.positionals();
    if (args.error || files.size() != 1 || !out || (kind != "sector" && kind != "echogram")) {
        std::fprintf(stderr, "%s%s", args.errorText.empty() ? "" : (args.errorText + "\n").c_str(), kImageUsage);
        return kExitUsage;
    }

    ConsolePort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, filter);
    CMyTarvikView view(port, settings);
    CImageryDisplays imagery;
    imagery.StartUp();
    view.imageryEnabled = true;
    view.displayRecord = [&](const ImageryKey& key, const Bytes& record) { imagery.DisplayRecord(key, record); };
    view.resetImagery = [&] { imagery.Reset(); };
    if (!view.openRecordFile(files[0])) return kExitMessageShown;
    const std::size_t rows = view.recordRowCount();

    RgbaImage picture;
    if (kind == "echogram") {
        for (std::size_t r = 0; r < rows; ++r) {
            const std::optional<Bytes> record = view.rowRecord(r);
            if (!record) continue;
            const FrameView frame(*record);
            imagery.FeedEchogram({frame.deviceId(), frame.systemEnumerator(), frame.recordType()}, *record);
        }
        picture = renderEchogram(imagery.echogram());
    } else {
        if (row >= rows) {
            std::fprintf(stderr, "tarvik-cli: there is no listed row %llu (%zu rows listed)\n", row, rows);
            return kExitUsage;
        }
        const std::uint64_t before = imagery.sector().picture().serial;
        view.OnRowSelectionChanged(static_cast<std::size_t>(row));
        if (imagery.sector().picture().serial == before) {
            const std::optional<Bytes> record = view.rowRecord(static_cast<std::size_t>(row));
            std::fprintf(stderr, "tarvik-cli: the record of row %llu (type %u) draws no sector picture\n", row,
                         record ? FrameView(*record).recordType() : 0u);
            return kExitMessageShown;
        }
        picture.resize(static_cast<int>(width), static_cast<int>(height));
        SectorRenderer renderer;
        renderer.render(imagery.sector().picture(), imagery.echogram().colourMap(), picture);
    }
    if (!writePng(*out, picture)) {
        std::fprintf(stderr, "tarvik-cli: could not write %s\n", out->c_str());
        return kExitMessageShown;
    }
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
