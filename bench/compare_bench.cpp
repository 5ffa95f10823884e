// tarvik-cli diff of two record files of N frames (default 1,000,000) that
// differ in 1 % of their records, against `check` of one of them, warm cache,
// with the peak memory of each. Run once with --frames=10000000 as well: the
// peak of diff must stay about the same, since it holds a window of records
// and never an index of the files. A plain timed program that runs the console
// program, so that the figures are what a user waits for.
//
//   build/bin/bench_compare [--frames=N] [--dir=PATH] [--keep]

#include "compare/frame_stream.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "tools/synth/sample_records.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run {
    double seconds = 0;
    double cpu = 0;  // user and system time: steadier than the wall clock on a busy machine
    long peakKiB = 0;
    int status = -1;
};

// Runs the program with its output thrown away; its time and peak resident memory.
Run run(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Run r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Run best(const std::vector<std::string>& args, int times) {
    Run b = run(args);
    for (int i = 1; i < times; ++i) {
        const Run r = run(args);
        if (r.seconds < b.seconds) b = r;
    }
    return b;
}

// B: a copy of A in which every 100th record has one byte of its data changed
// (its checksum made anew).
bool writeChangedCopy(const std::string& a, const std::string& b) {
    std::filesystem::copy_file(a, b, std::filesystem::copy_options::overwrite_existing);
    auto stream = tarvik::compare::FrameStream::open(a);
    if (!stream) return false;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> changed;
    while (auto f = (*stream)->next()) {
        const tarvik::FrameView h(f->bytes);
        if (f->position % 100 == 50 && h.recordType() != tarvik::kFileCatalogRecordType && f->bytes.size() > 80)
            changed.emplace_back(f->offset, static_cast<std::uint32_t>(f->bytes.size()));
    }
    const int fd = ::open(b.c_str(), O_RDWR);
    if (fd < 0) return false;
    for (const auto& [offset, size] : changed) {
        tarvik::Bytes frame = (*stream)->reread(offset, size);
        frame[tarvik::kFrameHeaderSize + 12] ^= 0x5A;
        tarvik::finishFrame(frame);
        if (::pwrite(fd, frame.data(), frame.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(frame.size())) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    std::printf("B: %zu records changed\n", changed.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t frames = 1'000'000;
    std::string dir = std::filesystem::temp_directory_path().string();
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.starts_with("--frames=")) frames = std::strtoull(a.c_str() + 9, nullptr, 10);
        else if (a.starts_with("--dir=")) dir = a.substr(6);
        else if (a == "--keep") keep = true;
    }
    const std::string cli = (std::filesystem::path(argv[0]).parent_path() / "tarvik-cli").string();
    const std::string a = dir + "/tarvik-compare-bench-" + std::to_string(frames) + "-a.vxr";
    const std::string b = dir + "/tarvik-compare-bench-" + std::to_string(frames) + "-b.vxr";
    if (!std::filesystem::exists(a) || !std::filesystem::exists(b)) {
        tarvik::synth::SampleOptions o;
        o.frames = frames;
        if (!tarvik::synth::writeSampleFile(a, o) || !writeChangedCopy(a, b)) {
            std::fprintf(stderr, "cannot write the files in %s\n", dir.c_str());
            return 1;
        }
    }
    const double mb = static_cast<double>(std::filesystem::file_size(a)) / 1e6;
    run({"/bin/cat", a, b});  // warm the cache
    const int times = frames > 2'000'000 ? 1 : 3;
    const Run check = best({cli, "check", "--jobs", "1", a}, times);
    const Run diff = best({cli, "diff", a, b}, times);
    const Run same = best({cli, "diff", a, a}, times);
    std::printf("%zu frames, %.0f MB a file\n", frames, mb);
    std::printf("               wall      cpu     peak\n");
    auto line = [&](const char* what, const Run& r) {
        std::printf("%-10s %7.2f s %6.2f s %6.1f MiB  (cpu %.2fx check, exit %d)\n", what, r.seconds, r.cpu,
                    r.peakKiB / 1024.0, r.cpu / check.cpu, r.status);
    };
    line("check A", check);
    line("diff A B", diff);
    line("diff A A", same);
    if (!keep) {
        std::filesystem::remove(a);
        std::filesystem::remove(b);
    }
    return 0;
}
