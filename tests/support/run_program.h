#pragma once
// Runs a program with arguments and collects its exit status, stdout and stderr.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvik::testing {

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
    long peakRssKb = 0;  // the program's peak resident memory
    bool timedOut = false;  // killed at the wall-clock limit
};

// Limits a program runs under; 0 is no limit. Memory is the address space
// (RLIMIT_AS), a file written past fileSizeBytes fails (RLIMIT_FSIZE), and a
// program still running after wallSeconds is killed.
struct ProgramLimits {
    std::uint64_t memoryBytes = 0;
    std::uint64_t fileSizeBytes = 0;
    unsigned wallSeconds = 0;
};

// Where `program` is found on PATH ("/usr/bin:/bin" when unset); empty when it
// is not: tests of optional tools skip then.
std::string onPath(const std::string& program);

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args);
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args, const ProgramLimits& limits);

// Runs `body` in a forked child under the memory and wall-clock limits (the
// file size limit too); true when it returned true in time. Sanitizer builds
// reserve far more address space than any limit worth testing, so there the
// memory limit is left out.
bool runLimited(const std::function<bool()>& body, const ProgramLimits& limits);

} // namespace tarvik::testing
