#pragma once
// Recording listed records into a new record file: the "Write Vx Output File"
// toggle, the file header record built from the first written frame, and one
// write per frame so that the file is whole up to the last listed frame.

#include "app/settings.h"
#include "app/view_port.h"
#include "core/bytes.h"
#include "core/frame.h"
#include "core/output_file.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace tarvik {

inline constexpr std::size_t kFileHeaderDataSize = 316;
inline constexpr std::size_t kFileHeaderRecordSize = kFrameHeaderSize + kFileHeaderDataSize + 4;

// "Original file name %s" for short names, else the name after its last
// folder separator (at most 63 characters), or "N/A" when there is none.
std::string outputUserDefinedName(std::string_view outputFileName);
// The 384-byte file header record (7200) that opens an output file, built from
// the header of the first frame written to it.
Bytes buildFileHeaderRecord(const FrameView& trigger, std::string_view outputFileName, std::string_view versionText);
// folder + "%4d%02d%02d_%02d%02d%02d.vxr" of the UTC time `when`.
std::string outputRecordFileName(const std::string& folder, std::time_t when);

class COutputFileWriter {
public:
    COutputFileWriter(ViewPort& port, SettingsStore& settings);

    // The "Write Vx Output File" / "Stop Writing Output File" button.
    void OnWriteOutputFile();
    // File -> "Assign Output File Folder".
    void OnAssignOutputFolder();
    // Every frame the record list lists, after the dropped-ping check. Does
    // nothing unless writing is on.
    void WriteArrivedFrame(ByteSpan frame);
    // Every record the tool sends while writing is on, once per record.
    void WriteSentRecord(ByteSpan frame) { WriteArrivedFrame(frame); }
    // The same as pressing the button while writing; nothing when not writing.
    void StopWriting();

    bool writing() const { return writing_; }
    const std::string& outputFileName() const { return fileName_; }
    std::uint32_t framesWritten() const { return framesWritten_; }

    // The clock that names output files (tests set it).
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    std::string versionText = TARVIK_VERSION;

private:
    void setWindowTitle(const std::string& suffix);
    bool createFile();
    void switchOff();

    ViewPort& port_;
    SettingsStore& settings_;
    bool writing_ = false;
    std::string fileName_;
    OutputFile file_;
    std::uint32_t framesWritten_ = 0;
};

} // namespace tarvik
