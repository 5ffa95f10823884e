#pragma once
// Wall-clock times of whole commands, for the benchmarks that set a program
// beside `check` or `cat`.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// The wall time of one run of a program started directly (no shell: a
// shell's own start would be most of a short command's time), its output
// thrown away. Negative when it cannot be started or ends with a status
// other than `status` (any status when `status` is negative).
inline double spawnedSeconds(const std::vector<std::string>& argv, int status = 0) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int ended = 0;
    const bool ran = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0 &&
                     waitpid(pid, &ended, 0) == pid && WIFEXITED(ended) &&
                     (status < 0 || WEXITSTATUS(ended) == status);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return ran ? elapsed : -1;
}

inline double median(std::vector<double> times) {
    if (times.empty()) return -1;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The median wall time of `runs` spawned runs (see spawnedSeconds), after
// one run that warms the caches. Negative when a run fails.
inline double medianSpawned(const std::vector<std::string>& argv, int runs, int status = 0) {
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        const double t = spawnedSeconds(argv, status);
        if (t < 0) return -1;
        if (i > 0) times.push_back(t);
    }
    return median(std::move(times));
}

// The arguments of the benchmarks that time tarvik-cli on a generated record
// file: --frames=N (default 1,000,000) and --dir=PATH (default the temporary
// folder), and the tarvik-cli beside the benchmark.
struct GeneratedFileArgs {
    std::size_t frames = 1'000'000;
    std::string dir = std::filesystem::temp_directory_path().string();
    std::string cli;

    GeneratedFileArgs(int argc, char** argv)
        : cli((std::filesystem::path(argv[0]).parent_path() / "tarvik-cli").string()) {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            if (a.starts_with("--frames=")) frames = std::strtoull(a.c_str() + 9, nullptr, 10);
            else if (a.starts_with("--dir=")) dir = a.substr(6);
        }
    }
    // dir + "/tarvik-<name>-bench-<frames><suffix>.vxr"
    std::string file(const std::string& name, const std::string& suffix = {}) const {
        return dir + "/tarvik-" + name + "-bench-" + std::to_string(frames) + suffix + ".vxr";
    }
};

} // namespace tarvik::bench
