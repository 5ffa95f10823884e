#pragma once
// Runs a program with arguments and collects its exit status, stdout and stderr.

#include <string>
#include <vector>

namespace tarvik::testing {

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
    long peakRssKb = 0;  // the program's peak resident memory
};

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args);

} // namespace tarvik::testing
