#include "app/output_writer.h"

#include "app/controls.h"
#include "core/record_file.h"
#include "core/text.h"

#include <array>

namespace tarvik {

namespace {

constexpr std::array<std::uint8_t, 16> kFileIdentifier = {0x7D, 0x57, 0xDF, 0x33, 0xEC, 0x2A, 0x3E, 0xA9,
                                                          0x6F, 0x4D, 0xB0, 0xCF, 0x43, 0x2F, 0x30, 0xF3};
constexpr std::uint8_t kTextPad = 0xFE;
constexpr std::size_t kShortNameLimit = 42;
constexpr std::size_t kUserDefinedNameLimit = 63;
// Start times already taken by an earlier file get "_2", "_3", ... before ".vxr".
constexpr int kMaxNameSuffix = 9999;

} // namespace

std::string outputUserDefinedName(std::string_view name) {
    if (name.size() < kShortNameLimit) return "Original file name " + std::string(name);
    const auto cut = name.find_last_of(kFolderSeparator);
    if (cut == std::string_view::npos) return "N/A";
    return std::string(name.substr(cut + 1, kUserDefinedNameLimit));
}

Bytes buildFileHeaderRecord(const FrameView& trigger, std::string_view outputFileName, std::string_view versionText) {
    ByteWriter w;
    ByteSpan header = trigger.bytes().first(std::min(trigger.bytes().size(), kFrameHeaderSize));
    w.bytes(header).fill(kFrameHeaderSize - header.size());
    w.patch<std::uint32_t>(frame_offsets::size, static_cast<std::uint32_t>(kFileHeaderRecordSize));
    w.patch<std::uint32_t>(frame_offsets::optionalDataOffset, 0);
    w.patch<std::uint32_t>(frame_offsets::optionalDataId, 0);
    w.patch<std::uint32_t>(frame_offsets::recordType, kFileHeaderRecordType);
    w.patch<std::uint16_t>(frame_offsets::flags, 1);
    w.patch<std::uint32_t>(frame_offsets::fragmentNumber, 0);

    // The data section is laid out right after the 64-byte header; the copied
    // Offset field is what a reader uses to find it, and for the frames the
    // protocol defines it is 60.
    w.bytes(kFileIdentifier);
    w.u16(1).u16(0);  // version number, reserved
    w.fill(16);       // session identifier
    w.u32(0).u32(0);  // record data size, number of devices
    w.fixedText("Tarvik", 64, kTextPad);
    w.fixedText(versionText, 16, kTextPad);
    w.fixedText(outputUserDefinedName(outputFileName), 64, kTextPad);
    w.fixedText("Tarvik does not write notes", 128, kTextPad);
    w.u32(0);  // checksum, below
    Bytes frame = w.take();
    frame.resize(kFileHeaderRecordSize);
    ByteWriter sum(std::move(frame));
    sum.patch<std::uint32_t>(kFileHeaderRecordSize - 4, computeChecksum(sum.data(), kFileHeaderRecordSize - 4));
    return sum.take();
}

std::string outputRecordFileName(const std::string& folder, std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    return withFolderSeparator(folder) + strprintf("%4d%02d%02d_%02d%02d%02d.vxr", utc.tm_year + 1900, utc.tm_mon + 1,
                                                   utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

COutputFileWriter::COutputFileWriter(ViewPort& port, SettingsStore& settings) : port_(port), settings_(settings) {}

void COutputFileWriter::setWindowTitle(const std::string& suffix) {
    std::string title = port_.title();
    title = title.substr(0, title.find_first_of(" -\r\n"));
    port_.setTitle(title + suffix);
}

void COutputFileWriter::OnWriteOutputFile() {
    port_.stopTimer(timers::kArrival);
    // Without a chosen folder there is no name: an output file is never put
    // into the file system's root by default.
    const std::string folder = RegistryString(setting_names::kLastOutputDirectory, settings_).Read();
    fileName_ = folder.empty() ? std::string{} : outputRecordFileName(folder, clock());
    writing_ = !writing_;

    if (writing_ && fileName_.empty()) {
        writing_ = false;
        port_.messageBox("Cannot Write Output File Until A File Name Is Assigned");
    }
    if (writing_ && !createFile()) writing_ = false;

    if (writing_) {
        port_.setText(controls::kOutputFileLabel, fileName_);
        port_.setText(controls::kWriteOutputFile, "Stop Writing Output File");
        framesWritten_ = 0;
        setWindowTitle(" - Writing " + fileName_);
    } else {
        switchOff();
    }
    port_.startTimer(timers::kArrival, timers::kArrivalPeriodMs);
}

void COutputFileWriter::switchOff() {
    writing_ = false;
    port_.setText(controls::kOutputFileLabel, "");
    fileName_.clear();
    port_.setText(controls::kWriteOutputFile, "Write Output File");
    file_.close();
    setWindowTitle("");
}

// A file recorded earlier in the same second keeps its name and its records:
// the new one takes the first free "_N" form of the name.
bool COutputFileWriter::createFile() {
    const std::string stem = fileName_.substr(0, fileName_.size() - 4);
    for (int n = 1; n <= kMaxNameSuffix; ++n) {
        const std::string name = n == 1 ? fileName_ : strprintf("%s_%d.vxr", stem.c_str(), n);
        switch (file_.create(name)) {
        case OutputFile::Created::Yes: fileName_ = name; return true;
        case OutputFile::Created::Exists: continue;
        case OutputFile::Created::Failed:
            port_.messageBox(strprintf("Could not create the output file %s: %s", name.c_str(),
                                       file_.lastError().c_str()));
            return false;
        }
    }
    port_.messageBox(strprintf("Could not create the output file %s: every numbered name is taken", fileName_.c_str()));
    return false;
}

void COutputFileWriter::OnAssignOutputFolder() {
    RegistryString folder(setting_names::kLastOutputDirectory, settings_);
    const std::string present = folder.Read();
    if (auto chosen = port_.chooseFolder(present)) {
        folder = *chosen;
        folder.Write();
    }
}

void COutputFileWriter::WriteArrivedFrame(ByteSpan frame) {
    if (!writing_ || fileName_.empty()) return;
    if (framesWritten_ == 0) {
        framesWritten_ = 1;
        const Bytes header = buildFileHeaderRecord(FrameView(frame), fileName_, versionText);
        if (!file_.write(header)) port_.messageBox("Output File Error, Disk Probably Full");
    }
    ++framesWritten_;
    if (!file_.write(frame)) {
        // One report, then recording stops: a full disk would otherwise raise a
        // box for every arriving frame. The file keeps every whole frame written.
        port_.messageBox(strprintf("Could not write to the output file %s: %s", fileName_.c_str(),
                                   file_.lastError().c_str()));
        // This runs inside the processing of an arrival batch, which has the
        // arrival timer stopped and restarts it itself: leave the timer alone.
        --framesWritten_;
        switchOff();
    }
}

void COutputFileWriter::StopWriting() {
    if (writing_) OnWriteOutputFile();
}

} // namespace tarvik
