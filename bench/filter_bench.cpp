// A filter change on a large record file in the window: the time from closing
// the record filter (or confirming an expression over fields in the filter
// expression box) until the list shows the new rows (the model's rows set and
// the events that repaint the list handled), on the offscreen platform.
//
//   bench_filter FILE.vxr [FILTER...]   (e.g. "7027 && 7027.number_of_detection_points > 5")

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "bench/offscreen_window.h"
#include "expr/expression.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <string>
#include <vector>

using namespace tarvik;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_filter FILE.vxr [FILTER...]\n");
        return 2;
    }
    bench::useOffscreenPlatform();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    bench::OffscreenWindow offscreen;
    CMainFrame& window = offscreen.window;

    QElapsedTimer open;
    open.start();
    window.port().setText(controls::kRecordFilter, std::string(kAllRecords));
    if (!window.view().openRecordFile(argv[1])) return 1;
    QApplication::processEvents();
    std::printf("file read and listed: %zu rows in %.1f ms\n", window.view().recordRowCount(),
                static_cast<double>(open.nsecsElapsed()) / 1e6);

    std::vector<std::string> filters;
    for (int i = 2; i < argc; ++i) filters.emplace_back(argv[i]);
    if (filters.empty()) filters = {"7000", "7004; 7027", std::string(kAllRecords), "7006", std::string(kAllRecords)};
    for (int round = 0; round < 3; ++round) {
        for (const std::string& filter : filters) {
            const bool typed = expr::isRecordTypeText(filter);
            window.port().setText(typed ? controls::kRecordFilter : controls::kFilterExpression, filter);
            QElapsedTimer t;
            t.start();
            if (typed) {
                window.view().OnRecordFilterClosed();
            } else if (!window.view().OnFilterExpressionEntered()) {
                std::fprintf(stderr, "%s\n", window.view().filterProblem().c_str());
                return 1;
            }
            QApplication::processEvents();  // the list repaints
            std::printf("filter %-40s -> %8zu rows in %6.1f ms\n", filter.c_str(), window.view().recordRowCount(),
                        static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
    }
    return 0;
}
