// Browser threads for the concurrency runs: each with its own toolbar, site, frame and browser
// object, as each window of a browser has; and waits that answer the thread's messages.
#pragma once

#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testbed/HostSite.h"
#include "programs/hostile/Round.h"

namespace hostile {

// How long a concurrency run waits for a thread or a copy to come to the next point.
const DWORD WaitLimitMs = 60000;

// Waits for the handle (none: for limitMs), answering this thread's messages meanwhile: the
// module's threads send to the windows of every thread. WAIT_TIMEOUT after limitMs.
DWORD WaitPumping(HANDLE handle, DWORD limitMs);

// printf into a string, for failure messages.
std::string Printed(const char* format, ...);

// A user-interface thread of the browser: its own toolbar, site, frame and browser object, made
// and ended on the thread with COM initialised around them, as each browser window has. It
// waits for start, runs the body, then checks that the module left no dialog, window or
// reference of the thread's. What it found is read after Join.
class BrowserThread {
public:
    using Body = std::function<void(BrowserThread& self)>;

    BrowserThread(LONG id, HANDLE start, Body body)
        : id_(id), finished_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          thread_([this, start, body] { Run(start, body); }) {}
    ~BrowserThread() {
        if (thread_.joinable()) thread_.join();
        CloseHandle(finished_);
    }
    BrowserThread(const BrowserThread&) = delete;
    BrowserThread& operator=(const BrowserThread&) = delete;

    // Answers the calling thread's messages until the thread has ended.
    void Join() {
        WaitPumping(finished_, INFINITE);
        thread_.join();
    }
    LONG Id() const { return id_; }
    HostSite* Site() const { return site_; }
    HWND Frame() const { return frame_; }
    void Fail(int code, const std::string& message) {
        failures_.push_back({code, "thread " + std::to_string(id_) + ": " + message});
    }
    const std::vector<std::pair<int, std::string>>& Failures() const { return failures_; }

private:
    void Run(HANDLE start, const Body& body);

    LONG id_;
    HostSite* site_ = nullptr;
    HWND frame_ = nullptr;
    std::vector<std::pair<int, std::string>> failures_;
    HANDLE finished_;
    std::thread thread_; // last: it starts once everything else is made
};

// Joins the threads and counts what they found as the round's failures.
void JoinAll(std::vector<std::unique_ptr<BrowserThread>>& threads, Round& round);

} // namespace hostile
