#pragma once
// The window's view without a display, with the sinks it attaches to its
// arrival pipeline while it is connected: the statistics, an output record
// file being written (in a temporary folder, removed at the end) and the
// imagery. Benchmarks feed records to pipeline() as the arrival timer does.

#include "app/memory_port.h"
#include "app/settings.h"
#include "app/tarvik_view.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace tarvik::bench {

class ViewWithSinks {
public:
    explicit ViewWithSinks(const std::filesystem::path& folder = std::filesystem::temp_directory_path()) {
        RegistryString dir(setting_names::kLastOutputDirectory, settings_);
        dir = folder.string();
        dir.Write();
        view_.enableImagery(true);
        view_.outputWriter().OnWriteOutputFile();
    }
    ~ViewWithSinks() {
        COutputFileWriter& writer = view_.outputWriter();
        const std::string name = writer.outputFileName();
        if (writer.writing()) writer.OnWriteOutputFile();
        std::error_code ignored;
        if (!name.empty()) std::filesystem::remove(name, ignored);
    }
    ViewWithSinks(const ViewWithSinks&) = delete;
    ViewWithSinks& operator=(const ViewWithSinks&) = delete;

    CArrivalPipeline& pipeline() { return view_.pipeline(); }
    CMyTarvikView& view() { return view_; }
    // Whether the output file is still being written (a failed write ends it).
    bool writing() { return view_.outputWriter().writing(); }
    const MemoryPort& port() const { return port_; }

private:
    MemoryPort port_;
    MemorySettingsStore settings_;
    CMyTarvikView view_{port_, settings_};
};

} // namespace tarvik::bench
