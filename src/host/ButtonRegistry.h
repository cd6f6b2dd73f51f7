// The process-wide map from the host's button id to the live button object.
#pragma once

#include <windows.h>

class ToolbarButton;

class ButtonRegistry {
public:
    ButtonRegistry();
    ~ButtonRegistry();
    ButtonRegistry(const ButtonRegistry&) = delete;
    ButtonRegistry& operator=(const ButtonRegistry&) = delete;

    ToolbarButton* Find(LONG id);
    // 1 when appended, 0 when memory is not available. Does not look for an equal key.
    int Add(LONG id, ToolbarButton* button);
    // 1 when an entry was removed, 0 when id is absent.
    int Remove(LONG id);

    int Count();
    LONG KeyAt(int index);

private:
    CRITICAL_SECTION lock_;
    LONG* keys_ = nullptr;
    ToolbarButton** values_ = nullptr;
    int count_ = 0;
};

// The one registry of the process, built by the module's static initialisation.
ButtonRegistry& TheButtonRegistry();
