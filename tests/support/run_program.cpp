#include "tests/support/run_program.h"

#include "tests/support/sanitized.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik::testing {

namespace {

// In a child before it runs: the limits of memory and file size.
void applyLimits(const ProgramLimits& limits) {
    if (limits.memoryBytes > 0 && !kSanitized) {
        const rlimit memory{limits.memoryBytes, limits.memoryBytes};
        setrlimit(RLIMIT_AS, &memory);
    }
    if (limits.fileSizeBytes > 0) {
        const rlimit size{limits.fileSizeBytes, limits.fileSizeBytes};
        setrlimit(RLIMIT_FSIZE, &size);
    }
}

} // namespace

std::string onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (std::filesystem::exists(folder + "/" + program)) return folder + "/" + program;
    return {};
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args) {
    return runProgram(program, args, ProgramLimits{});
}

bool runLimited(const std::function<bool()>& body, const ProgramLimits& limits) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        applyLimits(limits);
        if (limits.wallSeconds > 0) alarm(limits.wallSeconds);  // SIGALRM ends the child
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args, const ProgramLimits& limits) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        applyLimits(limits);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ProgramResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.wallSeconds);
    while (open > 0) {
        int timeout = -1;
        if (limits.wallSeconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            timeout = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        const int ready = poll(fds, 2, timeout);
        if (ready == 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            for (auto& fd : fds)
                if (fd.fd >= 0) close(fd.fd);
            break;
        }
        if (ready < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.peakRssKb = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace tarvik::testing
