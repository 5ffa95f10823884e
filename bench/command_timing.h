#pragma once
// Wall-clock times of whole commands, for the benchmarks that set a program
// beside `check` or `cat`.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarvik::bench {

inline double seconds(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) == -1) std::fprintf(stderr, "cannot run %s\n", command.c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of three runs.
inline double best(const std::string& command) {
    double t = seconds(command);
    for (int i = 0; i < 2; ++i) t = std::min(t, seconds(command));
    return t;
}

} // namespace tarvik::bench
