#pragma once
// A user layout for record 7005, which the built-in catalogue only names, and
// a record it decodes: for tests of layout files in the user's folder or named
// with --layouts.

#include "core/frame.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace tarvik::testing {

// The record's items and an enumeration; the third vector replaces the
// built-in one (two-byte element states).
inline constexpr const char* kCalibrationLayout = R"yaml(# Record 7005 field by field.
enumerations:
  calibration-state: {0: "Not calibrated", 1: "Calibrated"}
records:
  - type: 7005
    title: "Vx Calibration data"
    items:
      - ["Sonar serial number", u, 8]
      - ["Calibration state", u, 2, calibration-state]
      - ["Number of receiver channels", u, 4]
      - ["Receiver gain", vector, 0]
      - ["Receiver phase", vector, 1]
      - ["Element status", vector, 2]
vectors:
  - {type: 7005, block: 2, element: "Element status", format: u, width: 2, count: "Number of receiver channels"}
)yaml";

// A 7005 record as the layout reads it: serial number 42, calibrated, two
// channels with gains 1.5 2.5, phases 0.25 0.5 and element states 7 9.
inline FrameBuilder calibrationRecord() {
    FrameBuilder b(7005);
    b.data().u64(42).u16(1).u32(2).f32(1.5f).f32(2.5f).f32(0.25f).f32(0.5f).u16(7).u16(9);
    return b;
}

// Writes `text` to `path`, making its folders first.
inline void writeText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

} // namespace tarvik::testing
