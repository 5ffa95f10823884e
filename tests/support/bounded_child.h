#pragma once
// Runs a piece of a test in a forked child under an address-space limit and a
// time limit, so that a file that makes the code exhaust memory or loop fails
// the test instead of the machine. The child's verdict comes back as its exit
// status: 0 when the body returned true, 1 when it returned false, 2 when it
// ran out of memory (std::bad_alloc), and a signal (SIGKILL after the time
// limit, SIGABRT ...) otherwise.
//
// Sanitizer builds reserve terabytes of address space for their shadow memory:
// there only the time limit applies.

#include <csignal>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARVIK_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TARVIK_TEST_SANITIZED 1
#endif
#endif

namespace tarvik::testing {

inline constexpr std::size_t kChildMemoryLimit = std::size_t{512} << 20;

// "ok", or what went wrong in words, for the test's failure message.
inline std::string runBounded(const std::function<bool()>& body, unsigned seconds = 20,
                              std::size_t memory = kChildMemoryLimit) {
    const pid_t child = ::fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
#ifndef TARVIK_TEST_SANITIZED
        rlimit limit{memory, memory};
        ::setrlimit(RLIMIT_AS, &limit);
#else
        (void)memory;
#endif
        rlimit cpu{seconds, seconds + 1};
        ::setrlimit(RLIMIT_CPU, &cpu);
        ::alarm(seconds * 2);  // also when it waits rather than computes
        int status = 1;
        try {
            status = body() ? 0 : 1;
        } catch (const std::bad_alloc&) {
            status = 2;
        }
        std::fflush(nullptr);
        ::_exit(status);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
        case 0: return "ok";
        case 1: return "the check in the child failed";
        case 2: return "ran out of memory";
        default: return "exit status " + std::to_string(WEXITSTATUS(status));
        }
    }
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXCPU || sig == SIGALRM || sig == SIGKILL) return "ran out of time";
        return "killed by signal " + std::to_string(sig);
    }
    return "ended oddly";
}

} // namespace tarvik::testing
