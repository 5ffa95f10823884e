#pragma once
// vxcenter-sim run in the background for one test: started on a port the
// system chooses, ended when the test ends.

#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace tarvik::testing {

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        const std::string portFile = dir_.file("port"), log = dir_.file("log");
        args.insert(args.begin(), {VXCENTER_SIM, "--port", "0", "--port-file", portFile, "--exit-after", "60"});
        pid_ = fork();
        if (pid_ == 0) {
            std::FILE* out = std::fopen(log.c_str(), "w");
            if (out) dup2(fileno(out), 1);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        for (int i = 0; i < 500 && port_.empty(); ++i) {  // at most 5 s
            std::ifstream in(portFile);
            if (!(in >> port_)) port_.clear();
            if (port_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& port() const { return port_; }
    // What the simulator printed so far (its log lines).
    std::string log() const {
        return slurp(dir_.file("log"));
    }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    std::string port_;
};

} // namespace tarvik::testing
