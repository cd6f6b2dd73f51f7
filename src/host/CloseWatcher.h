// Watches for the browser closing so the stored selection can be cleaned automatically.
// One instance per process, created with the first button, run at module termination.
#pragma once

#include <windows.h>

class CloseWatcher {
public:
    // The first call constructs the watcher and schedules its end-of-module run; later
    // calls return the same instance.
    static CloseWatcher& Obtain();

    CloseWatcher(const CloseWatcher&) = delete;
    CloseWatcher& operator=(const CloseWatcher&) = delete;

private:
    CloseWatcher() = default;
    ~CloseWatcher();
};
