#pragma once
// Reloading the layout definitions while the program runs: the folders a
// user's layout files live in are watched, and a burst of changes (an editor
// that writes a file in several steps, a thousand saves a second) gives one
// reload. The watching itself is the desktop's (LayoutWatcher); the decision
// when to reload is made here, on the view's timer, so that it can be tested
// without a desktop.

#include <functional>
#include <string>
#include <vector>

namespace tarvik {

// The view's timer of the reload.
inline constexpr int kLayoutReloadTimer = 19192;

// What the desktop watches for the view. The Qt shell implements it with a
// file-system watcher and calls LayoutWatch::changed() for every change.
class LayoutWatcher {
public:
    virtual ~LayoutWatcher() = default;
    // Watch exactly these folders and files from now on.
    virtual void watchPaths(const std::vector<std::string>& paths) = 0;
};

// The folders and files to watch for layout folders `folders`: each existing
// folder and its "*.yaml"/"*.yml" files; for a folder that does not exist (yet,
// or any more), its nearest existing parent, so that its coming back is seen.
std::vector<std::string> layoutWatchPaths(const std::vector<std::string>& folders);

class LayoutWatch {
public:
    // `startTimer(ms)` / `stopTimer()` run the one timer of the watch (the
    // view's port); `reload` reloads the definitions.
    LayoutWatch(std::function<void(unsigned)> startTimer, std::function<void()> stopTimer, std::function<void()> reload)
        : startTimer_(std::move(startTimer)), stopTimer_(std::move(stopTimer)), reload_(std::move(reload)) {}

    // The quiet time after a change before the reload, in milliseconds.
    unsigned coalesceMs = 50;
    // However long changes go on, a reload comes after at most this many quiet times.
    unsigned maxDeferrals = 4;

    // A watched file or folder changed.
    void changed();
    // The watch's timer fired.
    void timerFired();
    bool pending() const { return pending_; }
    // Reloads asked for so far (by changes or by hand).
    unsigned long reloads() const { return reloads_; }
    // Reloads now, whatever is pending.
    void reloadNow();

private:
    std::function<void(unsigned)> startTimer_;
    std::function<void()> stopTimer_;
    std::function<void()> reload_;
    bool pending_ = false;
    bool changedAgain_ = false;
    unsigned deferrals_ = 0;
    unsigned long reloads_ = 0;
};

} // namespace tarvik
