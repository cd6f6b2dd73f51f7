#include "host/CloseWatcher.h"

// A function-local static is constructed after the module's globals and so destroyed
// before them: the end-of-module run sees a live button registry.
CloseWatcher& CloseWatcher::Obtain() {
    static CloseWatcher watcher;
    return watcher;
}

CloseWatcher::~CloseWatcher() = default;
